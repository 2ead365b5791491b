// The shared warning dialog: a text of the string table, OK and "Don't prompt again".
// A warning the user turned off closes at once, as if OK had been pressed.
#pragma once

#include <ui/dialog.h>

namespace setupdesk
{
enum : int
{
    IDC_WARNING_TEXT = 1046,
    IDC_DONT_PROMPT = 1047,
};

class CWarningDlg final : public ui::Dialog
{
public:
    explicit CWarningDlg(int stringId);
    void onInit() override;
    void onOk() override;

private:
    int m_stringId;
};

// Runs the warning as a modal dialog over the owner.
void showWarning(ui::Dialog& owner, int stringId);
} // namespace setupdesk
