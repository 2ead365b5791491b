// The user dialogs of the FTP and RAS pages: a name and a password typed twice.
#pragma once

#include <ui/dialog.h>

#include <string>

namespace setupdesk
{
enum : int
{
    IDD_FTP_USER = 130,
    IDD_RAS_USER = 137,
    IDC_USER_NAME = 1013,
    IDC_USER_PASSWORD = 1014,
    IDC_USER_DOMAIN = 1015,
    IDC_USER_CONFIRM = 1016,
};

// The FTP page's user dialog. Opened with a name, the name is fixed ("Set password").
class CFtpUserDlg final : public ui::Dialog
{
public:
    static constexpr size_t kMaxName = 256;    // what the user database holds and lists
    static constexpr size_t kMaxPassword = 16; // what a row's record holds

    explicit CFtpUserDlg(std::string fixedName = {});
    void onInit() override;
    void onOk() override;

    const std::string& name() const { return m_name; }
    const std::string& password() const { return m_password; }

private:
    std::string m_fixedName;
    std::string m_name;
    std::string m_password;
};

// The RAS page's user dialog, with the domain.
class CRasUserDlg final : public ui::Dialog
{
public:
    static constexpr size_t kMaxName = 256;
    static constexpr size_t kMaxDomain = 15;
    static constexpr size_t kMaxPassword = 256; // bytes of the single-byte password

    CRasUserDlg();
    void onOk() override;

    const std::u16string& name() const { return m_name; }
    const std::u16string& domain() const { return m_domain; }
    const std::string& password() const { return m_password; }

private:
    std::u16string m_name;
    std::u16string m_domain;
    std::string m_password;
};
} // namespace setupdesk
