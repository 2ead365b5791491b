#include "warning_dlg.h"

#include "registry_values.h"
#include "resource.h"

#include <ui/host.h>

#include <cstring>

namespace setupdesk
{
namespace
{
constexpr const char16_t* kDisableWarnings = u"SOFTWARE\\Corvanta\\Setupdesk\\DisableWarnings";
} // namespace

CWarningDlg::CWarningDlg(int stringId) : ui::Dialog(IDD_WARNING, "Warning"), m_stringId(stringId)
{
    addLabel(IDC_WARNING_TEXT, "");
    addCheckBox(IDC_DONT_PROMPT, "Don't prompt again");
    addButton(IDOK, "OK");
}

void CWarningDlg::onInit()
{
    setItemText(IDC_WARNING_TEXT, strings().load(m_stringId));
    RegKey key;
    if (!key.open(kDisableWarnings, KEY_READ))
        return;
    // Whatever the type: four bytes that read as 1 turn the warning off.
    const auto value = readRaw(key.get(), os::toUtf16(std::to_string(m_stringId)).c_str());
    DWORD number = 0;
    if (value && value->bytes.size() == sizeof number)
    {
        std::memcpy(&number, value->bytes.data(), sizeof number);
        if (number == 1)
            endDialog(IDOK);
    }
}

void CWarningDlg::onOk()
{
    if (isChecked(IDC_DONT_PROMPT))
    {
        RegKey key;
        if (key.create(kDisableWarnings))
            writeDword(key.get(), os::toUtf16(std::to_string(m_stringId)).c_str(), 1);
    }
    endDialog(IDOK);
}

void showWarning(ui::Dialog& owner, int stringId)
{
    CWarningDlg warning(stringId);
    owner.host().runModal(warning);
}
} // namespace setupdesk
