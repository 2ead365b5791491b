#include "ftp_page.h"

#include "registry_values.h"
#include "resource.h"
#include "user_dlg.h"

#include <os/ntlm.h>
#include <os/text.h>
#include <ui/host.h>

#include <algorithm>
#include <set>

namespace setupdesk
{
namespace
{
enum : int
{
    IDC_FTP_DEFAULT_DIR_LABEL = 1300,
};

constexpr const char16_t* kFtpdKey = u"Comm\\FTPD";
constexpr const char* kEnabledMark = "X";

struct Switch
{
    int control;
    const char16_t* value;
};
constexpr Switch kSwitches[] = {
    {IDC_FTP_SERVER_ACTIVE, u"IsEnabled"},
    {IDC_FTP_USE_AUTHENTICATION, u"UseAuthentication"},
    {IDC_FTP_ANONYMOUS, u"AllowAnonymous"},
    {IDC_FTP_ANONYMOUS_UPLOAD, u"AllowAnonymousUpload"},
    {IDC_FTP_ANONYMOUS_VROOTS, u"AllowAnonymousVroots"},
};

// The database's users by position, as NTLMEnumUser gives them. A name longer than the
// buffer is asked for again with a larger one: a user left out would hide every later one.
std::vector<std::string> ntlmUsers()
{
    constexpr size_t kLargestBuffer = 1 << 16;
    std::vector<std::string> users;
    std::vector<WCHAR> name(256);
    for (DWORD index = 0;;)
    {
        if (NTLMEnumUser(index, name.data(), static_cast<DWORD>(name.size())))
        {
            users.push_back(os::toUtf8(name.data()));
            ++index;
        }
        else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && name.size() < kLargestBuffer)
            name.resize(name.size() * 2);
        else
            return users;
    }
}
} // namespace

CFtpPage::CFtpPage() : CSetupPage(IDD_FTP, "FTP")
{
    addCheckBox(IDC_FTP_SERVER_ACTIVE, "Server active");
    addCheckBox(IDC_FTP_USE_AUTHENTICATION, "Use Authentication");
    addCheckBox(IDC_FTP_ANONYMOUS, "Allow anonymous");
    addCheckBox(IDC_FTP_ANONYMOUS_UPLOAD, "Allow anonymous upload");
    addCheckBox(IDC_FTP_ANONYMOUS_VROOTS, "Allow anonymous Vroots");
    addLabel(IDC_FTP_DEFAULT_DIR_LABEL, "Default Directory :");
    auto& directory = addEdit(IDC_FTP_DEFAULT_DIR);
    directory.setNewLine(false);
    directory.setLimitText(kPathChars);
    ui::ListView& users = addListView(IDC_FTP_USERS);
    users.insertColumn(0, "NTLM User", users.clientWidth() - 75);
    users.insertColumn(1, "Enabled", 72);
}

void CFtpPage::initPage()
{
    RegKey ftpd;
    ftpd.open(kFtpdKey);
    std::set<std::string> enabled;
    const std::string list = readString(ftpd.get(), u"UserList", 0xFFFF).value_or("");
    for (size_t start = 0; start <= list.size();)
    {
        const size_t end = std::min(list.find(';', start), list.size());
        const std::string name = list.substr(start, end - start);
        if (!name.empty() && name.front() != '-')
            enabled.insert(name);
        start = end + 1;
    }
    listView(IDC_FTP_USERS).deleteAllItems();
    m_records.clear();
    for (const std::string& user : ntlmUsers())
        addRow(user, enabled.count(user) > 0, {}, false);

    for (const Switch& s : kSwitches)
        setChecked(s.control, readDword(ftpd.get(), s.value).value_or(0) != 0);
    setItemText(IDC_FTP_DEFAULT_DIR, readString(ftpd.get(), u"DefaultDir", kWholeValue).value_or(""));
    setChanged(false);
}

void CFtpPage::addRow(const std::string& name, bool enabled, std::u16string password, bool pending)
{
    ui::ListView& users = listView(IDC_FTP_USERS);
    const int row = users.insertItem(users.itemCount(), name);
    users.setItemText(row, 1, enabled ? kEnabledMark : "");
    m_records.push_back(std::make_unique<PendingUser>(PendingUser{std::move(password), pending}));
    users.setItemData(row, reinterpret_cast<intptr_t>(m_records.back().get()));
}

CFtpPage::PendingUser& CFtpPage::record(int row) const
{
    return *reinterpret_cast<PendingUser*>(listView(IDC_FTP_USERS).itemData(row));
}

void CFtpPage::deleteRow(int row)
{
    PendingUser* gone = &record(row);
    listView(IDC_FTP_USERS).deleteItem(row);
    std::erase_if(m_records, [gone](const auto& r) { return r.get() == gone; });
}

void CFtpPage::edited()
{
    setChanged(true);
}

void CFtpPage::onCommand(int id, ui::Command code)
{
    if (id == IDC_FTP_DEFAULT_DIR && code == ui::Command::Changed)
        edited();
    if (code != ui::Command::Clicked)
        return;
    if (id == IDC_FTP_SERVER_ACTIVE)
    {
        setNeedsReset(true);
        edited();
    }
    else if (std::any_of(std::begin(kSwitches), std::end(kSwitches),
                         [id](const Switch& s) { return s.control == id; }))
        edited();
}

void CFtpPage::onNotify(int id, ui::Notify& notify)
{
    if (id != IDC_FTP_USERS ||
        (notify.code != ui::NotifyCode::RightClick && notify.code != ui::NotifyCode::DoubleClick))
        return;
    const bool selection = listView(IDC_FTP_USERS).selectedCount() > 0;
    ui::Menu menu;
    menu.append(ID_USER_ADD, "Add user")
        .append(ID_USER_SET_PASSWORD, "Set password", selection)
        .append(ID_USER_DELETE, "Delete user", selection)
        .append(ID_USER_ENABLE, "Enable user", selection)
        .append(ID_USER_DISABLE, "Disable user", selection);
    userCommand(host().trackPopupMenu(menu, notify.point));
}

void CFtpPage::setEnabled(bool enabled)
{
    ui::ListView& users = listView(IDC_FTP_USERS);
    for (int row : users.selectedRows())
        users.setItemText(row, 1, enabled ? kEnabledMark : "");
}

void CFtpPage::userCommand(int command)
{
    ui::ListView& users = listView(IDC_FTP_USERS);
    switch (command)
    {
    case ID_USER_ADD:
    {
        CFtpUserDlg dialog;
        if (host().runModal(dialog) != IDOK)
            return;
        addRow(dialog.name(), false, os::toUtf16(dialog.password()), true);
        break;
    }
    case ID_USER_SET_PASSWORD:
    {
        const int mark = users.selectionMark();
        if (mark < 0 || mark >= users.itemCount())
            return;
        CFtpUserDlg dialog(users.itemText(mark, 0));
        if (host().runModal(dialog) != IDOK)
            return;
        record(mark) = PendingUser{os::toUtf16(dialog.password()), true};
        break;
    }
    case ID_USER_DELETE:
    {
        const std::vector<int> rows = users.selectedRows();
        if (rows.empty())
            return;
        for (auto row = rows.rbegin(); row != rows.rend(); ++row)
            deleteRow(*row);
        break;
    }
    case ID_USER_ENABLE:
    case ID_USER_DISABLE:
        if (users.selectedCount() == 0)
            return;
        setEnabled(command == ID_USER_ENABLE);
        break;
    default:
        return;
    }
    edited();
}

void CFtpPage::applyUserList(HKEY ftpd)
{
    const ui::ListView& users = listView(IDC_FTP_USERS);
    RegDeleteValueW(ftpd, u"UserList");
    std::string list;
    for (int row = users.itemCount() - 1; row >= 0; --row)
    {
        if (!list.empty())
            list += ';';
        if (users.itemText(row, 1).empty())
            list += '-';
        list += users.itemText(row, 0);
    }
    writeString(ftpd, u"UserList", list);
}

void CFtpPage::applyUserDatabase()
{
    const ui::ListView& users = listView(IDC_FTP_USERS);
    std::set<std::u16string> kept;
    for (int row = 0; row < users.itemCount(); ++row)
        kept.insert(os::toUtf16(users.itemText(row, 0)));
    // All names first: deleting while enumerating by position would skip the user after each one deleted.
    for (const std::string& user : ntlmUsers())
    {
        const std::u16string name = os::toUtf16(user);
        if (!kept.count(name))
            NTLMDeleteUser(name.c_str());
    }
    for (int row = users.itemCount() - 1; row >= 0; --row)
    {
        PendingUser& user = record(row);
        if (!user.pending)
            continue;
        NTLMSetUserInfo(os::toUtf16(users.itemText(row, 0)).c_str(), user.password.c_str());
        user = PendingUser{};
    }
}

void CFtpPage::apply()
{
    if (!changed())
        return;
    // A device root starts without the server's key: what the user applied is stored all the same.
    RegKey ftpd;
    ftpd.create(kFtpdKey);
    if (ftpd)
        applyUserList(ftpd.get());
    applyUserDatabase();
    if (ftpd)
    {
        for (const Switch& s : kSwitches)
            writeDword(ftpd.get(), s.value, isChecked(s.control) ? 1 : 0);
        writeString(ftpd.get(), u"DefaultDir", itemText(IDC_FTP_DEFAULT_DIR));
        RegFlushKey(ftpd.get());
    }
    setChanged(false);
}
} // namespace setupdesk
