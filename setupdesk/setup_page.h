// A configuration page: a child dialog on the main dialog's tab control, with the three
// flags the main dialog reads when it applies the pages.
#pragma once

#include <ui/dialog.h>

namespace setupdesk
{
class CSetupPage : public ui::Dialog
{
public:
    using ui::Dialog::Dialog;

    // The main dialog, given when the tab control is set up (all flags cleared), before
    // initPage runs.
    void attach(ui::Dialog& mainDialog);
    ui::Dialog* mainDialog() const { return m_mainDialog; }

    // The page's own initialisation, once it is attached.
    virtual void initPage() {}
    // Apply (and OK before the dialog ends) calls every page's apply in tab order.
    virtual void apply() {}
    // The main dialog's Cancel.
    virtual void cancel() {}

    // Something on the page differs from the stored state. Setting or clearing it tells
    // the main dialog to enable or disable Apply.
    bool changed() const { return m_changed; }
    void setChanged(bool changed);
    // A setting applied takes effect only after the device restarts.
    bool needsReset() const { return m_needsReset; }
    void setNeedsReset(bool needsReset) { m_needsReset = needsReset; }
    // A setting applied takes effect only after the Quberon system service restarts.
    bool needsServiceRestart() const { return m_needsServiceRestart; }
    void setNeedsServiceRestart(bool needsServiceRestart) { m_needsServiceRestart = needsServiceRestart; }

private:
    ui::Dialog* m_mainDialog = nullptr;
    bool m_changed = false;
    bool m_needsReset = false;
    bool m_needsServiceRestart = false;
};
} // namespace setupdesk
