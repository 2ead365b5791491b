#include "setup_page.h"

#include "resource.h"

namespace setupdesk
{
void CSetupPage::attach(ui::Dialog& mainDialog)
{
    m_mainDialog = &mainDialog;
    m_changed = false;
    m_needsReset = false;
    m_needsServiceRestart = false;
}

void CSetupPage::setChanged(bool changed)
{
    m_changed = changed;
    if (m_mainDialog)
        m_mainDialog->send(kPageChangedMessage, changed ? 1 : 0);
}
} // namespace setupdesk
