// The "RAS Control" page: the device's dial-in server, its lines, the users allowed to
// dial in, where clients get their addresses, and the modem's command delay. Changes
// stay in working copies until Apply sends them to the server.
#pragma once

#include "setup_page.h"

#include <os/ras.h>
#include <windows.h>

#include <string>
#include <vector>

namespace setupdesk
{
enum : int
{
    IDC_RAS_LINES = 1005,
    IDC_RAS_ENABLE_LINE = 1008,
    IDC_RAS_ENABLE_SERVER = 1009,
    IDC_RAS_DISABLE_LINE = 1010,
    IDC_RAS_USERS = 1011,
    IDC_RAS_ADD_USER = 1012,
    IDC_RAS_REMOVE_USER = 1013,
    IDC_RAS_SLOW_CONNECTION = 1015,
    IDC_RAS_ADDRESS_START = 1043,
    IDC_RAS_ADDRESS_COUNT = 1044,
    IDC_RAS_ADDRESS_SOURCE = 1045,
};

// The items of the address source box.
enum : int
{
    kRasDhcp = 0,
    kRasAutoIp = 1,
    kRasStaticPool = 2,
};

// The length a user read from the server carries: no password was entered for it.
constexpr DWORD kRasPasswordUnchanged = 0xFFFFFFFFu;

class CRasPage final : public CSetupPage
{
public:
    CRasPage();

    void initPage() override;
    void onCommand(int id, ui::Command code) override;
    void apply() override;

    bool installed() const { return m_installed; }

private:
    struct Line
    {
        RASCNTL_SERVERLINE record{};
        bool active = false;
    };

    void initLines();
    void initUsers();
    void showServerState();
    void showAddressSource();
    void setLineActive(bool active);
    void addUser();
    void removeUser();
    void edited(bool reset);
    void applyUsers();
    void applyParameters();
    void applyLines();
    DWORD request(DWORD code, void* record, DWORD size);

    bool m_installed = false;
    RASCNTL_SERVERSTATUS m_parameters{};
    std::vector<Line> m_lines;
    std::vector<RASCNTL_SERVERUSERCREDENTIALS> m_users;
    std::vector<RASCNTL_SERVERUSERCREDENTIALS> m_removed;
};
} // namespace setupdesk
