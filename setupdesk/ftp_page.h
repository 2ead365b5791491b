// The "FTP" page: the FTP server's switches in "Comm\FTPD" and its users, who are the
// users of the device's NTLM user database. Nothing reaches the database before Apply.
#pragma once

#include "setup_page.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace setupdesk
{
enum : int
{
    IDC_FTP_USE_AUTHENTICATION = 1034,
    IDC_FTP_SERVER_ACTIVE = 1035,
    IDC_FTP_ANONYMOUS_UPLOAD = 1036,
    IDC_FTP_ANONYMOUS = 1037,
    IDC_FTP_ANONYMOUS_VROOTS = 1038,
    IDC_FTP_DEFAULT_DIR = 1039,
    IDC_FTP_USERS = 1011,
};

// The user menu's commands.
enum : int
{
    ID_USER_DELETE = 32771,
    ID_USER_SET_PASSWORD = 32772,
    ID_USER_ADD = 32773,
    ID_USER_ENABLE = 32774,
    ID_USER_DISABLE = 32775,
};

class CFtpPage final : public CSetupPage
{
public:
    CFtpPage();

    void initPage() override;
    void onCommand(int id, ui::Command code) override;
    void onNotify(int id, ui::Notify& notify) override;
    void apply() override;

    // A user menu command, as chosen from the menu.
    void userCommand(int command);

private:
    // What a row holds besides its cells: a password still to be set.
    struct PendingUser
    {
        std::u16string password;
        bool pending = false;
    };

    void addRow(const std::string& name, bool enabled, std::u16string password, bool pending);
    PendingUser& record(int row) const;
    void deleteRow(int row);
    void setEnabled(bool enabled);
    void edited();
    void applyUserList(HKEY ftpd);
    void applyUserDatabase();

    std::vector<std::unique_ptr<PendingUser>> m_records;
};
} // namespace setupdesk
