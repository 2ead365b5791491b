// The RAS control page on the platform's RAS server control, whose state file and request
// record live in the temporary device root: what the page shows, and the requests Apply
// sends, in order, with failures injected per request code.
#include "setupdesk_fixture.h"

#include <ras_page.h>
#include <user_dlg.h>

#include <os/ntlm.h>
#include <os/ras.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;

constexpr const char16_t* kModem = u"ExtModems\\HayesCompat";
constexpr const char16_t* kUsers = u"SOFTWARE\\Corvanta\\RasServer\\User";
using Page = StartedPage<CRasPage>;

constexpr const char* kServer = "server\t0\naddresses\tstatic\nstatic\t192.168.10.20\t5\n"
                                "device\tmodem1\tmodem\ndevice\tcom2\tdirect\nline\tmodem1\tmodem\t1\n";

void writeState(const std::string& text)
{
    std::ofstream(os::ras::statePath(), std::ios::binary) << text;
}

// The request record as "code subject" lines; with results when asked.
std::vector<std::string> requests(bool withResults = false)
{
    std::ifstream file(os::ras::logPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
    {
        if (!withResults)
            line = line.substr(0, line.rfind('\t'));
        std::replace(line.begin(), line.end(), '\t', ' ');
        lines.push_back(line);
    }
    return lines;
}

void clearRequests()
{
    std::remove(os::ras::logPath().c_str());
}

std::vector<std::string> cells(const ui::ListView& list, int column)
{
    std::vector<std::string> result;
    for (int row = 0; row < list.itemCount(); ++row)
        result.push_back(list.itemText(row, column));
    return result;
}

void setCredential(const char16_t* user, const char* password)
{
    RASCNTL_SERVERUSERCREDENTIALS record{};
    std::copy(user, user + std::char_traits<char16_t>::length(user), record.tszUserName);
    record.cbPassword = static_cast<DWORD>(std::strlen(password));
    std::memcpy(record.password, password, record.cbPassword);
    DWORD returned = 0;
    ASSERT_EQ(RasIOControl(nullptr, RASCNTL_SERVER_USER_SET_CREDENTIALS, reinterpret_cast<BYTE*>(&record),
                           sizeof record, nullptr, 0, &returned),
              0u);
}

class RasPageTest : public SetupdeskTest
{
protected:
    RasPageTest()
    {
        writeState(kServer);
        setCredential(u"anna", "anna-pw");
        setCredential(u"bob", "bob-pw");
        setDword(kModem, u"CmdSendDelay", 200);
        clearRequests();
    }

    static void addUser(Page& started, const std::string& name, const std::string& password)
    {
        started.host.onModal(IDD_RAS_USER,
                             [&started, name, password](ui::Dialog& dialog)
                             {
                                 started.host.type(dialog, IDC_USER_NAME, name);
                                 started.host.type(dialog, IDC_USER_PASSWORD, password);
                                 started.host.type(dialog, IDC_USER_CONFIRM, password);
                                 started.host.click(dialog, IDOK);
                             });
        started.host.click(started.page, IDC_RAS_ADD_USER);
    }
};

TEST_F(RasPageTest, ShowsTheServerItsLinesAndUsers)
{
    Page started;
    const CRasPage& page = started.page;
    EXPECT_TRUE(page.installed());
    EXPECT_FALSE(page.isChecked(IDC_RAS_ENABLE_SERVER));
    EXPECT_FALSE(page.control(IDC_RAS_ADD_USER).enabled());
    EXPECT_EQ(page.combo(IDC_RAS_ADDRESS_SOURCE).curSel(), kRasStaticPool);
    EXPECT_EQ(page.itemText(IDC_RAS_ADDRESS_START), "192.168.10.20");
    EXPECT_EQ(page.itemText(IDC_RAS_ADDRESS_COUNT), "5");
    EXPECT_TRUE(page.control(IDC_RAS_ADDRESS_START).enabled());
    EXPECT_EQ(cells(page.listView(IDC_RAS_LINES), 0), (std::vector<std::string>{"modem1", "com2"}));
    EXPECT_EQ(cells(page.listView(IDC_RAS_LINES), 1), (std::vector<std::string>{"X", ""}));
    EXPECT_EQ(cells(page.listView(IDC_RAS_USERS), 0), (std::vector<std::string>{"anna", "bob"}));
    EXPECT_FALSE(page.changed());
    // Reading sends only the parameter and line requests.
    EXPECT_EQ(requests(), (std::vector<std::string>{"11 ", "17 modem1", "17 com2"}));

    started.host.click(started.page, IDC_RAS_ENABLE_SERVER);
    EXPECT_TRUE(page.control(IDC_RAS_ADD_USER).enabled());
    EXPECT_TRUE(page.changed());
    EXPECT_FALSE(page.needsReset());
    started.host.select(started.page, IDC_RAS_ADDRESS_SOURCE, kRasDhcp);
    EXPECT_FALSE(page.control(IDC_RAS_ADDRESS_START).enabled());
    EXPECT_TRUE(page.needsReset());
}

TEST_F(RasPageTest, WithoutTheServerTheSwitchIsClearedAgain)
{
    std::remove(os::ras::statePath().c_str());
    Page started;
    EXPECT_FALSE(started.page.installed());
    started.host.answer(IDOK, std::string("Ras Server not installed."));
    started.host.click(started.page, IDC_RAS_ENABLE_SERVER);
    EXPECT_FALSE(started.page.isChecked(IDC_RAS_ENABLE_SERVER));
    EXPECT_EQ(started.host.unusedScript(), 0u);
    started.host.click(started.page, IDC_RAS_SLOW_CONNECTION);
    started.page.apply();
    EXPECT_EQ(dword(kModem, u"CmdSendDelay"), 200u); // nothing applied
}

TEST_F(RasPageTest, SlowConnectionFollowsTheCommandDelay)
{
    for (DWORD stored : {499u, 500u, 501u})
    {
        setDword(kModem, u"CmdSendDelay", stored);
        Page started;
        const bool slow = stored > 499;
        EXPECT_EQ(started.page.isChecked(IDC_RAS_SLOW_CONNECTION), slow) << stored;
        started.host.type(started.page, IDC_RAS_ADDRESS_COUNT, "6");
        started.page.apply();
        EXPECT_EQ(dword(kModem, u"CmdSendDelay"), slow ? 500u : 200u) << stored;
    }
}

TEST_F(RasPageTest, ApplySendsUsersParametersServerAndLinesInOrder)
{
    Page started;
    started.host.click(started.page, IDC_RAS_ENABLE_SERVER);
    started.host.selectRows(started.page, IDC_RAS_USERS, {1}, 1);
    started.host.click(started.page, IDC_RAS_REMOVE_USER);
    addUser(started, "dora", "dora-pw");
    started.host.selectRows(started.page, IDC_RAS_LINES, {1}, 1);
    started.host.click(started.page, IDC_RAS_ENABLE_LINE);
    started.host.selectRows(started.page, IDC_RAS_LINES, {0}, 0);
    started.host.click(started.page, IDC_RAS_DISABLE_LINE);
    started.host.select(started.page, IDC_RAS_ADDRESS_SOURCE, kRasAutoIp);
    clearRequests();
    started.page.apply();
    EXPECT_EQ(requests(), (std::vector<std::string>{"20 bob", "19 dora", "12 ", "9 ", "13 modem1",
                                                    "16 modem1", "13 com2", "15 com2"}));
    EXPECT_TRUE(started.host.messages().empty());
    EXPECT_TRUE(os::ras::checkCredential(u"dora", "dora-pw"));
    EXPECT_FALSE(os::ras::checkCredential(u"bob", "bob-pw"));
    EXPECT_EQ(string(kUsers, u"anna"), "anna");
    EXPECT_EQ(string(kUsers, u"dora"), "dora");
    EXPECT_FALSE(value(kUsers, u"bob"));
    EXPECT_FALSE(started.page.changed());

    // What the server now holds is what a new page shows; no password is sent again.
    Page again;
    EXPECT_TRUE(again.page.isChecked(IDC_RAS_ENABLE_SERVER));
    EXPECT_EQ(again.page.combo(IDC_RAS_ADDRESS_SOURCE).curSel(), kRasAutoIp);
    EXPECT_EQ(cells(again.page.listView(IDC_RAS_LINES), 1), (std::vector<std::string>{"", "X"}));
    EXPECT_EQ(cells(again.page.listView(IDC_RAS_USERS), 0), (std::vector<std::string>{"anna", "dora"}));
    again.host.click(again.page, IDC_RAS_SLOW_CONNECTION);
    clearRequests();
    again.page.apply();
    EXPECT_EQ(requests(),
              (std::vector<std::string>{"12 ", "9 ", "13 modem1", "16 modem1", "13 com2", "15 com2"}));
}

TEST_F(RasPageTest, AFailingRequestShowsItsMessageAndTheRestRuns)
{
    struct Case
    {
        int code;
        const char* message;
    } cases[] = {
        {19, "Error adding user to RAS server"}, {12, "Error setting server parameters"},
        {9, "Error enabling the RAS server"},    {13, "Error setting RAS lines"},
        {16, "Error setting RAS lines"},
    };
    for (const Case& c : cases)
    {
        writeState(std::string(kServer) + "fail\t" + std::to_string(c.code) + "\t31\n");
        Page started;
        started.host.click(started.page, IDC_RAS_ENABLE_SERVER);
        addUser(started, "dora", "dora-pw");
        clearRequests();
        started.host.answer(IDOK, std::string(c.message));
        started.page.apply();
        std::vector<std::string> sent;
        for (const std::string& line : requests())
            sent.push_back(line.substr(0, line.find(' ')));
        EXPECT_EQ(sent, (std::vector<std::string>{"19", "12", "9", "13", "15", "13", "16"})) << c.code;
        EXPECT_EQ(started.host.unusedScript(), 0u) << c.code;
        EXPECT_EQ(started.host.messages().size(), 1u) << c.code;
        EXPECT_EQ(dword(kModem, u"CmdSendDelay"), 200u) << c.code;
    }
}

TEST_F(RasPageTest, BadAddressFieldsSkipOnlyTheParameters)
{
    struct Case
    {
        const char* start;
        const char* count;
        const char* message;
    } cases[] = {
        {"192.168.10", "5", "The static start address is not an IP address (a.b.c.d)."},
        {"192.168.10.256", "5", "The static start address is not an IP address (a.b.c.d)."},
        {"10.0.0.1", "", "The static address count is not a number."},
    };
    for (const Case& c : cases)
    {
        Page started;
        started.host.type(started.page, IDC_RAS_ADDRESS_START, c.start);
        started.host.type(started.page, IDC_RAS_ADDRESS_COUNT, c.count);
        clearRequests();
        started.host.answer(IDOK, std::string(c.message));
        started.page.apply();
        EXPECT_EQ(requests(),
                  (std::vector<std::string>{"10 ", "13 modem1", "15 modem1", "13 com2", "16 com2"}))
            << c.start;
        EXPECT_EQ(started.host.unusedScript(), 0u) << c.start;
    }
}

TEST_F(RasPageTest, UserDialogKeepsTheRecordsLimits)
{
    struct Case
    {
        std::string name;
        std::string domain;
        std::string password;
        std::string confirm;
        const char* message; // null: taken
    } cases[] = {
        {"eve", "", "one", "two", "Password not confirmed correctly"},
        {"", "", "pw", "pw", "Please enter a user name."},
        {std::string(257, 'e'), "", "pw", "pw", "A user name has at most 256 characters."},
        {"eve", std::string(16, 'd'), "pw", "pw", "A domain has at most 15 characters."},
        {"eve", "", std::string(257, 'p'), std::string(257, 'p'), "A password has at most 256 characters."},
        {std::string(256, 'e'), std::string(15, 'd'), std::string(256, 'p'), std::string(256, 'p'), nullptr},
        {"eve", "", "gr\xC3\xBC\xC3\x9F", "gr\xC3\xBC\xC3\x9F", nullptr},
    };
    for (const Case& c : cases)
    {
        ui::testing::ScriptedHost host;
        CRasUserDlg dialog;
        host.start(dialog);
        host.type(dialog, IDC_USER_NAME, c.name);
        host.type(dialog, IDC_USER_DOMAIN, c.domain);
        host.type(dialog, IDC_USER_PASSWORD, c.password);
        host.type(dialog, IDC_USER_CONFIRM, c.confirm);
        if (c.message)
            host.answer(IDOK, std::string(c.message));
        host.click(dialog, IDOK);
        EXPECT_EQ(dialog.isOpen(), c.message != nullptr) << c.name.substr(0, 8);
        EXPECT_EQ(host.unusedScript(), 0u);
    }
    // The password goes to the record as single-byte text.
    ui::testing::ScriptedHost host;
    CRasUserDlg dialog;
    host.start(dialog);
    host.type(dialog, IDC_USER_NAME, "eve");
    host.type(dialog, IDC_USER_PASSWORD, "gr\xC3\xBC\xC3\x9F");
    host.type(dialog, IDC_USER_CONFIRM, "gr\xC3\xBC\xC3\x9F");
    host.click(dialog, IDOK);
    EXPECT_EQ(dialog.password(), "gr\xFC\xDF");
}
} // namespace
