// The FTP page on a temporary device root: the user list against the NTLM user database,
// the user menu and dialog, and what Apply writes to "Comm\FTPD" and to the database.
#include "setupdesk_fixture.h"

#include <ftp_page.h>
#include <user_dlg.h>

#include <os/ntlm.h>
#include <os/text.h>

#include <fstream>
#include <sstream>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;

constexpr const char16_t* kFtpd = u"Comm\\FTPD";
using Page = StartedPage<CFtpPage>;

std::vector<std::string> databaseUsers()
{
    std::vector<std::string> users;
    WCHAR name[257];
    for (DWORD i = 0; NTLMEnumUser(i, name, 257); ++i)
        users.push_back(os::toUtf8(name));
    return users;
}

struct Row
{
    std::string name;
    std::string enabled;
    bool operator==(const Row&) const = default;
};

std::vector<Row> rows(const CFtpPage& page)
{
    const ui::ListView& list = page.listView(IDC_FTP_USERS);
    std::vector<Row> result;
    for (int row = 0; row < list.itemCount(); ++row)
        result.push_back({list.itemText(row, 0), list.itemText(row, 1)});
    return result;
}

class FtpPageTest : public SetupdeskTest
{
protected:
    FtpPageTest()
    {
        for (const char16_t* user : {u"anna", u"bob", u"carl"})
            NTLMSetUserInfo(user, u"secret");
        setString(kFtpd, u"UserList", "anna;-bob");
    }

    // Chooses a command of the user menu on a row, with the given rows selected.
    static void menu(Page& started, std::vector<int> selected, int command)
    {
        started.host.selectRows(started.page, IDC_FTP_USERS, selected,
                                selected.empty() ? -1 : selected.front());
        started.host.chooseMenu(command);
        ASSERT_TRUE(
            started.host.rightClick(started.page, IDC_FTP_USERS, selected.empty() ? -1 : selected.front())
                .accepted());
    }

    // The user dialog filled and confirmed.
    static void userDialog(Page& started, const std::string& name, const std::string& password,
                           const std::string& confirm)
    {
        started.host.onModal(IDD_FTP_USER,
                             [&started, name, password, confirm](ui::Dialog& dialog)
                             {
                                 if (!name.empty())
                                     started.host.type(dialog, IDC_USER_NAME, name);
                                 started.host.type(dialog, IDC_USER_PASSWORD, password);
                                 started.host.type(dialog, IDC_USER_CONFIRM, confirm);
                                 started.host.click(dialog, IDOK);
                                 if (dialog.isOpen())
                                     started.host.click(dialog, IDCANCEL);
                             });
    }
};

TEST_F(FtpPageTest, TheUserListMarksTheEnabledDatabaseUsers)
{
    setDword(kFtpd, u"IsEnabled", 1);
    setDword(kFtpd, u"AllowAnonymous", 7);
    setDword(kFtpd, u"AllowAnonymousUpload", 0);
    setString(kFtpd, u"DefaultDir", "\\Hard Disk\\ftp");
    Page started;
    EXPECT_EQ(rows(started.page), (std::vector<Row>{{"anna", "X"}, {"bob", ""}, {"carl", ""}}));
    EXPECT_TRUE(started.page.isChecked(IDC_FTP_SERVER_ACTIVE));
    EXPECT_FALSE(started.page.isChecked(IDC_FTP_USE_AUTHENTICATION));
    EXPECT_TRUE(started.page.isChecked(IDC_FTP_ANONYMOUS));
    EXPECT_FALSE(started.page.isChecked(IDC_FTP_ANONYMOUS_UPLOAD));
    EXPECT_EQ(started.page.itemText(IDC_FTP_DEFAULT_DIR), "\\Hard Disk\\ftp");
    EXPECT_FALSE(started.page.changed());
}

TEST_F(FtpPageTest, ApplyWritesTheRowsFromTheLastAndTheSwitches)
{
    NTLMDeleteUser(u"carl");
    Page started;
    ASSERT_EQ(rows(started.page), (std::vector<Row>{{"anna", "X"}, {"bob", ""}}));
    started.host.click(started.page, IDC_FTP_USE_AUTHENTICATION);
    started.host.type(started.page, IDC_FTP_DEFAULT_DIR, "\\Temp");
    EXPECT_TRUE(started.page.changed());
    EXPECT_FALSE(started.page.needsReset());
    started.page.apply();
    EXPECT_EQ(string(kFtpd, u"UserList"), "-bob;anna");
    EXPECT_EQ(dword(kFtpd, u"UseAuthentication"), 1u);
    for (const char16_t* name :
         {u"IsEnabled", u"AllowAnonymous", u"AllowAnonymousUpload", u"AllowAnonymousVroots"})
        EXPECT_EQ(dword(kFtpd, name), 0u);
    EXPECT_EQ(string(kFtpd, u"DefaultDir"), "\\Temp");
    EXPECT_FALSE(started.page.changed());

    started.host.click(started.page, IDC_FTP_SERVER_ACTIVE);
    EXPECT_TRUE(started.page.needsReset());
}

TEST_F(FtpPageTest, MenuCommandsChangeRowsAndOnlyApplyReachesTheDatabase)
{
    Page started;
    menu(started, {1, 2}, ID_USER_ENABLE);
    EXPECT_EQ(rows(started.page), (std::vector<Row>{{"anna", "X"}, {"bob", "X"}, {"carl", "X"}}));
    menu(started, {0}, ID_USER_DISABLE);
    // Deleting two neighbours: enumerating by position while deleting would skip the second.
    menu(started, {0, 1}, ID_USER_DELETE);
    EXPECT_EQ(rows(started.page), (std::vector<Row>{{"carl", "X"}}));
    EXPECT_EQ(databaseUsers(), (std::vector<std::string>{"anna", "bob", "carl"}));
    EXPECT_TRUE(started.page.changed());
    started.page.apply();
    EXPECT_EQ(databaseUsers(), (std::vector<std::string>{"carl"}));
    EXPECT_EQ(string(kFtpd, u"UserList"), "carl");
}

TEST_F(FtpPageTest, MenuOffersRowCommandsOnlyWithASelection)
{
    Page started;
    started.host.chooseMenu(0);
    started.host.rightClick(started.page, IDC_FTP_USERS, -1);
    started.host.chooseMenu(0);
    started.host.selectRows(started.page, IDC_FTP_USERS, {0}, 0);
    started.host.doubleClick(started.page, IDC_FTP_USERS, 0);
    EXPECT_EQ(started.host.menuPoints().size(), 2u);
    EXPECT_FALSE(started.page.changed()); // a dismissed menu changes nothing
    EXPECT_EQ(started.host.unusedScript(), 0u);
}

TEST_F(FtpPageTest, AddedUserAndNewPasswordAreSetOnApplyAndKeptHashed)
{
    Page started;
    userDialog(started, "dora", "Dora-pw1", "Dora-pw1");
    menu(started, {}, ID_USER_ADD);
    userDialog(started, "", "new-anna", "new-anna");
    menu(started, {0}, ID_USER_SET_PASSWORD);
    EXPECT_EQ(rows(started.page).back(), (Row{"dora", ""}));
    EXPECT_FALSE(os::ntlm::checkPassword(u"dora", u"Dora-pw1"));
    EXPECT_TRUE(os::ntlm::checkPassword(u"anna", u"secret"));
    started.page.apply();
    EXPECT_TRUE(os::ntlm::checkPassword(u"dora", u"Dora-pw1"));
    EXPECT_TRUE(os::ntlm::checkPassword(u"anna", u"new-anna"));
    EXPECT_TRUE(os::ntlm::checkPassword(u"bob", u"secret"));
    EXPECT_EQ(string(kFtpd, u"UserList"), "-dora;-carl;-bob;anna");

    std::ifstream file(os::ntlm::databasePath(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("dora"), std::string::npos);
    for (const char* password : {"Dora-pw1", "new-anna", "secret"})
        EXPECT_EQ(text.str().find(password), std::string::npos) << password;
    EXPECT_EQ(started.host.unusedScript(), 0u);
}

TEST_F(FtpPageTest, UserDialogRefusesBadNamesAndPasswords)
{
    struct Case
    {
        const char* name;
        const char* password;
        const char* confirm;
        const char* message;
    } cases[] = {
        {"eve", "one", "two", "The password was not confirmed correctly."},
        {"", "pw", "pw", "Please enter a user name."},
        {"eve;mallory", "pw", "pw", "A user name must not contain \";\"."},
        {"-eve", "pw", "pw", "A user name must not begin with \"-\"."},
    };
    for (const Case& c : cases)
    {
        ui::testing::ScriptedHost host;
        CFtpUserDlg dialog;
        host.start(dialog);
        host.type(dialog, IDC_USER_NAME, c.name);
        host.type(dialog, IDC_USER_PASSWORD, c.password);
        host.type(dialog, IDC_USER_CONFIRM, c.confirm);
        host.answer(IDOK, std::string(c.message));
        host.click(dialog, IDOK);
        EXPECT_TRUE(dialog.isOpen()) << c.message;
        const bool mismatch = std::string(c.password) != c.confirm;
        EXPECT_EQ(dialog.itemText(IDC_USER_PASSWORD).empty(), mismatch) << c.message;
        EXPECT_EQ(dialog.itemText(IDC_USER_CONFIRM).empty(), mismatch) << c.message;
        EXPECT_EQ(host.unusedScript(), 0u) << c.message;
    }
    // Sixteen characters are taken, and a fixed name cannot be edited.
    ui::testing::ScriptedHost host;
    CFtpUserDlg dialog("anna");
    host.start(dialog);
    EXPECT_FALSE(dialog.control(IDC_USER_NAME).enabled());
    host.type(dialog, IDC_USER_PASSWORD, "1234567890123456");
    host.type(dialog, IDC_USER_CONFIRM, "1234567890123456");
    host.click(dialog, IDOK);
    EXPECT_FALSE(dialog.isOpen());
    EXPECT_EQ(dialog.name(), "anna");
    EXPECT_EQ(dialog.password(), "1234567890123456");
}

TEST_F(FtpPageTest, LongStoredValuesAreShownWholeAndKeptByApply)
{
    const std::string directory = "\\" + std::string(299, 'd');
    setString(kFtpd, u"DefaultDir", directory);
    const std::string longest(CFtpUserDlg::kMaxName, 'n');
    NTLMSetUserInfo(os::toUtf16(longest).c_str(), u"secret");
    NTLMSetUserInfo(u"dora", u"secret");
    Page started;
    EXPECT_EQ(started.page.itemText(IDC_FTP_DEFAULT_DIR), directory);
    EXPECT_EQ(rows(started.page),
              (std::vector<Row>{{"anna", "X"}, {"bob", ""}, {"carl", ""}, {longest, ""}, {"dora", ""}}));
    // An Apply for something else keeps both.
    started.host.click(started.page, IDC_FTP_USE_AUTHENTICATION);
    started.page.apply();
    EXPECT_EQ(string(kFtpd, u"DefaultDir"), directory);
    EXPECT_EQ(databaseUsers(), (std::vector<std::string>{"anna", "bob", "carl", longest, "dora"}));
}

TEST_F(FtpPageTest, FieldsRefuseAtInputWhatCannotBeStoredAndReadBack)
{
    Page started;
    ui::testing::ScriptedHost userHost;
    CFtpUserDlg user;
    userHost.start(user);
    struct Field
    {
        const char* what;
        bool inUserDialog;
        int control;
        size_t limit;
    };
    const Field fields[] = {
        {"default directory", false, IDC_FTP_DEFAULT_DIR, 260},
        {"user name", true, IDC_USER_NAME, 256},
        {"password", true, IDC_USER_PASSWORD, 16},
        {"confirmed password", true, IDC_USER_CONFIRM, 16},
    };
    for (const Field& field : fields)
    {
        SCOPED_TRACE(field.what);
        ui::testing::ScriptedHost& host = field.inUserDialog ? userHost : started.host;
        ui::Dialog& dialog = field.inUserDialog ? static_cast<ui::Dialog&>(user) : started.page;
        const std::string most(field.limit, 'a');
        EXPECT_TRUE(host.type(dialog, field.control, most).accepted());
        const ui::InputResult over = host.type(dialog, field.control, most + "b");
        EXPECT_EQ(over.status, ui::InputStatus::Refused);
        EXPECT_EQ(over.error, "The field takes at most " + std::to_string(field.limit) + " characters.");
        EXPECT_EQ(dialog.itemText(field.control), most);
    }

    // The longest name the dialog takes is added, stored and listed again.
    userHost.click(user, IDOK);
    ASSERT_FALSE(user.isOpen());
    userDialog(started, user.name(), "pw", "pw");
    menu(started, {}, ID_USER_ADD);
    started.page.apply();
    Page again;
    EXPECT_EQ(rows(again.page).back(), (Row{user.name(), ""}));
}

TEST_F(FtpPageTest, WithoutTheServerKeyApplyMakesItAndStoresEverything)
{
    // A device root as a first start makes it: no "Comm\FTPD" yet.
    deleteKey(kFtpd);
    Page started;
    EXPECT_EQ(rows(started.page), (std::vector<Row>{{"anna", ""}, {"bob", ""}, {"carl", ""}}));
    menu(started, {2}, ID_USER_DELETE);
    started.host.click(started.page, IDC_FTP_USE_AUTHENTICATION);
    started.host.type(started.page, IDC_FTP_DEFAULT_DIR, "\\Hard Disk\\ftp");
    started.page.apply();
    EXPECT_EQ(databaseUsers(), (std::vector<std::string>{"anna", "bob"}));
    EXPECT_EQ(string(kFtpd, u"UserList"), "-bob;-anna");
    EXPECT_EQ(dword(kFtpd, u"UseAuthentication"), 1u);
    EXPECT_EQ(dword(kFtpd, u"IsEnabled"), 0u);
    EXPECT_EQ(string(kFtpd, u"DefaultDir"), "\\Hard Disk\\ftp");
}
} // namespace
