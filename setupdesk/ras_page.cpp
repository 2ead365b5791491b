#include "ras_page.h"

#include "registry_values.h"
#include "resource.h"
#include "rule_dlg.h"
#include "user_dlg.h"

#include <os/debug.h>
#include <os/ntlm.h>
#include <os/text.h>
#include <ui/host.h>
#include <ui/text.h>

#include <cstdio>
#include <cstring>

namespace setupdesk
{
namespace
{
enum : int
{
    IDC_RAS_SERVER_GROUP = 1300,
    IDC_RAS_LINE_GROUP,
    IDC_RAS_USER_GROUP,
    IDC_RAS_ADDRESS_GROUP,
    IDC_RAS_SOURCE_LABEL,
    IDC_RAS_START_LABEL,
    IDC_RAS_COUNT_LABEL,
};

constexpr const char16_t* kUserKey = u"SOFTWARE\\Corvanta\\RasServer\\User";
constexpr const char16_t* kModemKey = u"ExtModems\\HayesCompat";
constexpr const char16_t* kPppKey = u"\\Comm\\ppp\\Server";
constexpr DWORD kSlowDelay = 500;
constexpr DWORD kFastDelay = 200;
constexpr const char* kActiveMark = "X";

// The server's line and user controls, which follow its enable switch.
constexpr int kServerControls[] = {IDC_RAS_LINES, IDC_RAS_ENABLE_LINE, IDC_RAS_DISABLE_LINE,
                                   IDC_RAS_USERS, IDC_RAS_ADD_USER,    IDC_RAS_REMOVE_USER};

template <size_t N> void copyText(WCHAR (&field)[N], const std::u16string& text)
{
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n * sizeof(WCHAR));
    field[n] = 0;
}

std::string addressText(DWORD address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%i.%i.%i.%i", static_cast<int>(address >> 24),
                  static_cast<int>((address >> 16) & 0xFF), static_cast<int>((address >> 8) & 0xFF),
                  static_cast<int>(address & 0xFF));
    return text;
}

DWORD parseAddress(const std::string& text)
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    return (a << 24) | (b << 16) | (c << 8) | d;
}

RegKey createUserKey()
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUserKey);
    RegKey key;
    key.create(kUserKey);
    return key;
}
} // namespace

CRasPage::CRasPage() : CSetupPage(IDD_RAS, "RAS Control")
{
    addGroupBox(IDC_RAS_SERVER_GROUP, "Server Settings");
    addCheckBox(IDC_RAS_ENABLE_SERVER, "Enable RAS Server").setGroup(IDC_RAS_SERVER_GROUP);
    auto& slow = addCheckBox(IDC_RAS_SLOW_CONNECTION, "Slow Connection");
    slow.setGroup(IDC_RAS_SERVER_GROUP);
    slow.setNewLine(false);

    addGroupBox(IDC_RAS_LINE_GROUP, "Line Settings");
    ui::ListView& lines = addListView(IDC_RAS_LINES);
    lines.setGroup(IDC_RAS_LINE_GROUP);
    lines.insertColumn(0, "Device", lines.clientWidth() - 75);
    lines.insertColumn(1, "Active", 72);
    addButton(IDC_RAS_ENABLE_LINE, "Enable Line").setGroup(IDC_RAS_LINE_GROUP);
    auto& disable = addButton(IDC_RAS_DISABLE_LINE, "Disable Line");
    disable.setGroup(IDC_RAS_LINE_GROUP);
    disable.setNewLine(false);

    addGroupBox(IDC_RAS_USER_GROUP, "User Settings");
    ui::ListView& users = addListView(IDC_RAS_USERS);
    users.setGroup(IDC_RAS_USER_GROUP);
    users.insertColumn(0, "User", users.clientWidth() - 3);
    addButton(IDC_RAS_ADD_USER, "Add User").setGroup(IDC_RAS_USER_GROUP);
    auto& remove = addButton(IDC_RAS_REMOVE_USER, "Remove User");
    remove.setGroup(IDC_RAS_USER_GROUP);
    remove.setNewLine(false);

    addGroupBox(IDC_RAS_ADDRESS_GROUP, "IP Addreses");
    addLabel(IDC_RAS_SOURCE_LABEL, "Get Addresses from").setGroup(IDC_RAS_ADDRESS_GROUP);
    ui::ComboBox& source = addCombo(IDC_RAS_ADDRESS_SOURCE);
    source.setGroup(IDC_RAS_ADDRESS_GROUP);
    source.setNewLine(false);
    for (const char* item : {"Dhcp", "AutoIp Pool", "Static Pool"})
        source.addString(item);
    addLabel(IDC_RAS_START_LABEL, "Static IP Addr Start").setGroup(IDC_RAS_ADDRESS_GROUP);
    auto& start = addEdit(IDC_RAS_ADDRESS_START);
    start.setGroup(IDC_RAS_ADDRESS_GROUP);
    start.setNewLine(false);
    addLabel(IDC_RAS_COUNT_LABEL, "Static IP Addr Count").setGroup(IDC_RAS_ADDRESS_GROUP);
    auto& count = addEdit(IDC_RAS_ADDRESS_COUNT, ui::EditStyle{false, true});
    count.setGroup(IDC_RAS_ADDRESS_GROUP);
    count.setNewLine(false);
}

DWORD CRasPage::request(DWORD code, void* record, DWORD size)
{
    DWORD returned = 0;
    auto* bytes = static_cast<PBYTE>(record);
    if (code == RASCNTL_SERVER_GET_PARAMETERS)
        return RasIOControl(nullptr, code, nullptr, 0, bytes, size, &returned);
    if (code == RASCNTL_SERVER_LINE_GET_PARAMETERS)
        return RasIOControl(nullptr, code, bytes, size, bytes, size, &returned);
    return RasIOControl(nullptr, code, bytes, size, nullptr, 0, &returned);
}

void CRasPage::initPage()
{
    m_parameters = {};
    m_installed = request(RASCNTL_SERVER_GET_PARAMETERS, &m_parameters, sizeof m_parameters) == ERROR_SUCCESS;
    setChecked(IDC_RAS_ENABLE_SERVER, m_installed && m_parameters.bEnable);
    combo(IDC_RAS_ADDRESS_SOURCE)
        .setCurSel(m_parameters.bUseDhcpAddresses     ? kRasDhcp
                   : m_parameters.bUseAutoIpAddresses ? kRasAutoIp
                                                      : kRasStaticPool);
    setItemText(IDC_RAS_ADDRESS_START, addressText(m_parameters.dwStaticIpAddrStart));
    setItemText(IDC_RAS_ADDRESS_COUNT, std::to_string(m_parameters.dwStaticIpAddrCount));
    showAddressSource();
    initLines();
    initUsers();
    m_removed.clear();

    RegKey modem;
    modem.open(kModemKey, KEY_READ);
    setChecked(IDC_RAS_SLOW_CONNECTION, readDword(modem.get(), u"CmdSendDelay").value_or(0) > 499);
    showServerState();
    setChanged(false);
}

void CRasPage::initLines()
{
    m_lines.clear();
    ui::ListView& list = listView(IDC_RAS_LINES);
    list.deleteAllItems();
    DWORD size = 0;
    DWORD count = 0;
    if (RasEnumDevices(nullptr, &size, &count) != ERROR_BUFFER_TOO_SMALL || size < sizeof(RASDEVINFOW))
        return;
    std::vector<RASDEVINFOW> devices(size / sizeof(RASDEVINFOW));
    devices[0].dwSize = sizeof(RASDEVINFOW);
    if (RasEnumDevices(devices.data(), &size, &count) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0; i < count && i < devices.size(); ++i)
    {
        Line line;
        copyText(line.record.szDeviceName, devices[i].szDeviceName);
        copyText(line.record.szDeviceType, devices[i].szDeviceType);
        if (request(RASCNTL_SERVER_LINE_GET_PARAMETERS, &line.record, sizeof line.record) == ERROR_SUCCESS)
            line.active = line.record.bEnable != FALSE;
        const int row = list.insertItem(list.itemCount(), os::toUtf8(devices[i].szDeviceName));
        list.setItemText(row, 1, line.active ? kActiveMark : "");
        m_lines.push_back(line);
    }
}

void CRasPage::initUsers()
{
    m_users.clear();
    ui::ListView& list = listView(IDC_RAS_USERS);
    list.deleteAllItems();
    DWORD chars = 0;
    NTLMGetUserList(RAS_USERS_GROUP, nullptr, &chars);
    if (chars == 0)
        return;
    std::u16string names(chars, u'\0');
    if (!NTLMGetUserList(RAS_USERS_GROUP, names.data(), &chars))
        return;
    for (size_t start = 0; start < names.size() && names[start] != u'\0';)
    {
        const std::u16string name(names.c_str() + start);
        RASCNTL_SERVERUSERCREDENTIALS user{};
        copyText(user.tszUserName, name);
        user.cbPassword = kRasPasswordUnchanged;
        m_users.push_back(user);
        list.insertItem(list.itemCount(), os::toUtf8(name));
        start += name.size() + 1;
    }
}

void CRasPage::showServerState()
{
    const bool on = isChecked(IDC_RAS_ENABLE_SERVER);
    for (int id : kServerControls)
        enableItem(id, on);
}

void CRasPage::showAddressSource()
{
    const bool pool = combo(IDC_RAS_ADDRESS_SOURCE).curSel() == kRasStaticPool;
    enableItem(IDC_RAS_ADDRESS_START, pool);
    enableItem(IDC_RAS_ADDRESS_COUNT, pool);
}

void CRasPage::edited(bool reset)
{
    if (reset)
        setNeedsReset(true);
    setChanged(true);
}

void CRasPage::setLineActive(bool active)
{
    ui::ListView& list = listView(IDC_RAS_LINES);
    const int mark = list.selectionMark();
    if (mark < 0 || static_cast<size_t>(mark) >= m_lines.size())
        return;
    m_lines[static_cast<size_t>(mark)].active = active;
    list.setItemText(mark, 1, active ? kActiveMark : "");
    edited(false);
}

void CRasPage::addUser()
{
    CRasUserDlg dialog;
    if (host().runModal(dialog) != IDOK)
        return;
    RASCNTL_SERVERUSERCREDENTIALS user{};
    copyText(user.tszUserName, dialog.name());
    copyText(user.tszDomainName, dialog.domain());
    std::memcpy(user.password, dialog.password().data(), dialog.password().size());
    user.cbPassword = static_cast<DWORD>(dialog.password().size());
    m_users.push_back(user);
    ui::ListView& list = listView(IDC_RAS_USERS);
    list.insertItem(list.itemCount(), os::toUtf8(dialog.name()));
    edited(false);
}

void CRasPage::removeUser()
{
    ui::ListView& list = listView(IDC_RAS_USERS);
    const int mark = list.selectionMark();
    if (mark < 0 || static_cast<size_t>(mark) >= m_users.size())
        return;
    const auto user = m_users.begin() + mark;
    // Only a user the server knows has credentials to delete.
    if (user->cbPassword == kRasPasswordUnchanged)
        m_removed.push_back(*user);
    m_users.erase(user);
    list.deleteItem(mark);
    list.setSelectionMark(-1);
    edited(false);
}

void CRasPage::onCommand(int id, ui::Command code)
{
    if ((id == IDC_RAS_ADDRESS_START || id == IDC_RAS_ADDRESS_COUNT) && code == ui::Command::Changed)
        edited(true);
    if (id == IDC_RAS_ADDRESS_SOURCE && code == ui::Command::SelChange)
    {
        showAddressSource();
        edited(true);
    }
    if (code != ui::Command::Clicked)
        return;
    switch (id)
    {
    case IDC_RAS_ENABLE_SERVER:
        if (!m_installed)
        {
            setChecked(IDC_RAS_ENABLE_SERVER, false);
            messageBox("Ras Server not installed.");
            return;
        }
        m_parameters.bEnable = isChecked(IDC_RAS_ENABLE_SERVER);
        showServerState();
        edited(false);
        break;
    case IDC_RAS_SLOW_CONNECTION:
        edited(true);
        break;
    case IDC_RAS_ENABLE_LINE:
    case IDC_RAS_DISABLE_LINE:
        setLineActive(id == IDC_RAS_ENABLE_LINE);
        break;
    case IDC_RAS_ADD_USER:
        addUser();
        break;
    case IDC_RAS_REMOVE_USER:
        removeUser();
        break;
    default:
        break;
    }
}

void CRasPage::applyUsers()
{
    for (RASCNTL_SERVERUSERCREDENTIALS& user : m_removed)
        request(RASCNTL_SERVER_USER_DELETE_CREDENTIALS, &user, sizeof user);
    m_removed.clear();
    RegKey key = createUserKey();
    if (!key)
        messageBox("Error creating registry for user list");
    for (RASCNTL_SERVERUSERCREDENTIALS& user : m_users)
    {
        if (user.cbPassword != kRasPasswordUnchanged)
        {
            if (request(RASCNTL_SERVER_USER_SET_CREDENTIALS, &user, sizeof user) != ERROR_SUCCESS)
                messageBox("Error adding user to RAS server");
            // Sent once; the server keeps it.
            std::memset(user.password, 0, sizeof user.password);
            user.cbPassword = kRasPasswordUnchanged;
        }
        if (key)
            writeString(key.get(), user.tszUserName, os::toUtf8(user.tszUserName));
    }
}

void CRasPage::applyParameters()
{
    const std::string start = itemText(IDC_RAS_ADDRESS_START);
    const auto count = ui::wholeNumber(itemText(IDC_RAS_ADDRESS_COUNT));
    if (!isDottedIpv4(start))
    {
        messageBox("The static start address is not an IP address (a.b.c.d).", {},
                   MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!count || *count < 0 || *count > 0xFFFFFFFFll)
    {
        messageBox("The static address count is not a number.", {}, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const int source = combo(IDC_RAS_ADDRESS_SOURCE).curSel();
    m_parameters.bUseDhcpAddresses = source == kRasDhcp;
    m_parameters.bUseAutoIpAddresses = source == kRasAutoIp;
    m_parameters.dwStaticIpAddrStart = parseAddress(start);
    m_parameters.dwStaticIpAddrCount = static_cast<DWORD>(*count);
    if (request(RASCNTL_SERVER_SET_PARAMETERS, &m_parameters, sizeof m_parameters) != ERROR_SUCCESS)
        messageBox("Error setting server parameters");
}

void CRasPage::applyLines()
{
    bool failed = false;
    for (Line& line : m_lines)
    {
        if (const DWORD error = request(RASCNTL_SERVER_LINE_ADD, &line.record, sizeof line.record))
        {
            char text[80];
            std::snprintf(text, sizeof text, "RASCNTL_SERVER_LINE_ADD failed, error = %d\n",
                          static_cast<int>(error));
            OutputDebugStringA(text);
            failed = true;
        }
        const DWORD code = line.active ? RASCNTL_SERVER_LINE_ENABLE : RASCNTL_SERVER_LINE_DISABLE;
        if (const DWORD error = request(code, &line.record, sizeof line.record))
        {
            char text[80];
            std::snprintf(text, sizeof text,
                          line.active ? "RASCNTL_SERVER_LINE_ENABLE failed, error = %d\n"
                                      : "RASCNTL_SERVER_LINE_DISABLE failed, error = %d\n",
                          static_cast<int>(error));
            OutputDebugStringA(text);
            failed = true;
        }
    }
    if (failed)
        messageBox("Error setting RAS lines");
}

void CRasPage::apply()
{
    if (!changed() || !m_installed)
        return;
    applyUsers();
    applyParameters();
    const DWORD serverCode =
        isChecked(IDC_RAS_ENABLE_SERVER) ? RASCNTL_SERVER_ENABLE : RASCNTL_SERVER_DISABLE;
    if (request(serverCode, nullptr, 0) != ERROR_SUCCESS)
        messageBox("Error enabling the RAS server");
    applyLines();

    for (const char16_t* path : {kPppKey, kUserKey})
    {
        RegKey key;
        if (key.open(path))
            RegFlushKey(key.get());
    }
    RegKey modem;
    if (modem.create(kModemKey))
    {
        writeDword(modem.get(), u"CmdSendDelay",
                   isChecked(IDC_RAS_SLOW_CONNECTION) ? kSlowDelay : kFastDelay);
        RegFlushKey(modem.get());
    }
    setChanged(false);
}
} // namespace setupdesk
