#include "user_dlg.h"

#include <os/text.h>

#include <windows.h>

namespace setupdesk
{
namespace
{
enum : int
{
    IDC_USER_NAME_LABEL = 1300,
    IDC_USER_DOMAIN_LABEL,
    IDC_USER_PASSWORD_LABEL,
    IDC_USER_CONFIRM_LABEL,
};

void addField(ui::Dialog& dialog, int labelId, const char* label, int id, bool password, size_t limit = 0)
{
    dialog.addLabel(labelId, label);
    auto& field = dialog.addEdit(id, ui::EditStyle{password, false});
    field.setNewLine(false);
    field.setLimitText(limit);
}

// The device's single-byte code page; characters it lacks become "?".
std::string singleByte(const std::string& utf8)
{
    const std::u16string wide = os::toUtf16(utf8);
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
}
} // namespace

CFtpUserDlg::CFtpUserDlg(std::string fixedName)
    : ui::Dialog(IDD_FTP_USER, "Dialog"), m_fixedName(std::move(fixedName))
{
    addField(*this, IDC_USER_NAME_LABEL, "User Name", IDC_USER_NAME, false, kMaxName);
    addField(*this, IDC_USER_PASSWORD_LABEL, "Password", IDC_USER_PASSWORD, true, kMaxPassword);
    addField(*this, IDC_USER_CONFIRM_LABEL, "Confirm Password", IDC_USER_CONFIRM, true, kMaxPassword);
    addButton(IDOK, "OK");
    addButton(IDCANCEL, "Cancel").setNewLine(false);
}

void CFtpUserDlg::onInit()
{
    if (m_fixedName.empty())
        return;
    setItemText(IDC_USER_NAME, m_fixedName);
    enableItem(IDC_USER_NAME, false);
}

void CFtpUserDlg::onOk()
{
    const std::string name = itemText(IDC_USER_NAME);
    const std::string password = itemText(IDC_USER_PASSWORD);
    if (password != itemText(IDC_USER_CONFIRM))
    {
        messageBox("The password was not confirmed correctly.");
        setItemText(IDC_USER_PASSWORD, {});
        setItemText(IDC_USER_CONFIRM, {});
        return;
    }
    // The FTP user list separates names by ";" and marks disabled ones with a leading "-".
    const char* refusal = nullptr;
    if (name.empty())
        refusal = "Please enter a user name.";
    else if (name.find(';') != std::string::npos)
        refusal = "A user name must not contain \";\".";
    else if (name.front() == '-')
        refusal = "A user name must not begin with \"-\".";
    else if (os::toUtf16(password).size() > kMaxPassword)
        refusal = "A password has at most 16 characters.";
    if (refusal)
    {
        messageBox(refusal, {}, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    m_name = name;
    m_password = password;
    endDialog(IDOK);
}

CRasUserDlg::CRasUserDlg() : ui::Dialog(IDD_RAS_USER, "Dialog")
{
    addField(*this, IDC_USER_NAME_LABEL, "User Name", IDC_USER_NAME, false);
    addField(*this, IDC_USER_DOMAIN_LABEL, "Domain", IDC_USER_DOMAIN, false);
    addField(*this, IDC_USER_PASSWORD_LABEL, "Password", IDC_USER_PASSWORD, true);
    addField(*this, IDC_USER_CONFIRM_LABEL, "Confirm Password", IDC_USER_CONFIRM, true);
    addButton(IDOK, "OK");
    addButton(IDCANCEL, "Cancel").setNewLine(false);
}

void CRasUserDlg::onOk()
{
    if (itemText(IDC_USER_PASSWORD) != itemText(IDC_USER_CONFIRM))
    {
        messageBox("Password not confirmed correctly");
        return;
    }
    const std::u16string name = os::toUtf16(itemText(IDC_USER_NAME));
    const std::u16string domain = os::toUtf16(itemText(IDC_USER_DOMAIN));
    const std::string password = singleByte(itemText(IDC_USER_PASSWORD));
    // The credentials record holds no more than this; cutting would store another password.
    const char* refusal = nullptr;
    if (name.empty())
        refusal = "Please enter a user name.";
    else if (name.size() > kMaxName)
        refusal = "A user name has at most 256 characters.";
    else if (domain.size() > kMaxDomain)
        refusal = "A domain has at most 15 characters.";
    else if (password.size() > kMaxPassword)
        refusal = "A password has at most 256 characters.";
    if (refusal)
    {
        messageBox(refusal, {}, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    m_name = name;
    m_domain = domain;
    m_password = password;
    endDialog(IDOK);
}
} // namespace setupdesk
