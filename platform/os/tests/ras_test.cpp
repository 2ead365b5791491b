#include "test_support.h"

#include <os/ntlm.h>
#include <os/ras.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace
{
void writeState(const std::string& text)
{
    std::ofstream(os::ras::statePath(), std::ios::binary) << text;
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The request record: "code subject result" per request.
std::vector<std::string> requests()
{
    std::vector<std::string> lines;
    std::stringstream stream(readFile(os::ras::logPath()));
    for (std::string line; std::getline(stream, line);)
    {
        std::replace(line.begin(), line.end(), '\t', ' ');
        lines.push_back(line);
    }
    return lines;
}

DWORD serverCall(DWORD code, RASCNTL_SERVERSTATUS* status = nullptr)
{
    DWORD returned = 0;
    auto* bytes = reinterpret_cast<BYTE*>(status);
    const DWORD size = status ? sizeof *status : 0;
    return RasIOControl(nullptr, code, code == RASCNTL_SERVER_SET_PARAMETERS ? bytes : nullptr,
                        code == RASCNTL_SERVER_SET_PARAMETERS ? size : 0,
                        code == RASCNTL_SERVER_GET_PARAMETERS ? bytes : nullptr,
                        code == RASCNTL_SERVER_GET_PARAMETERS ? size : 0, &returned);
}

DWORD lineCall(DWORD code, const std::u16string& device, RASCNTL_SERVERLINE* reply = nullptr,
               BOOL enable = FALSE)
{
    RASCNTL_SERVERLINE line{};
    std::copy(device.begin(), device.end(), line.szDeviceName);
    line.bEnable = enable;
    DWORD returned = 0;
    return RasIOControl(nullptr, code, reinterpret_cast<BYTE*>(&line), sizeof line,
                        reinterpret_cast<BYTE*>(reply), reply ? sizeof *reply : 0, &returned);
}

RASCNTL_SERVERUSERCREDENTIALS credentials(const std::u16string& user, const std::string& password)
{
    RASCNTL_SERVERUSERCREDENTIALS record{};
    std::copy(user.begin(), user.end(), record.tszUserName);
    std::memcpy(record.password, password.data(), password.size());
    record.cbPassword = static_cast<DWORD>(password.size());
    return record;
}

DWORD userCall(DWORD code, RASCNTL_SERVERUSERCREDENTIALS record)
{
    DWORD returned = 0;
    return RasIOControl(nullptr, code, reinterpret_cast<BYTE*>(&record), sizeof record, nullptr, 0,
                        &returned);
}

std::vector<std::u16string> rasUsers()
{
    WCHAR list[1024];
    DWORD size = 1024;
    EXPECT_TRUE(NTLMGetUserList(RAS_USERS_GROUP, list, &size));
    std::vector<std::u16string> names;
    for (const WCHAR* p = list; *p; p += os::wideLength(p) + 1)
        names.emplace_back(p);
    return names;
}

const char kInstalled[] = "# a dial-in server with two devices\n"
                          "server\t0\n"
                          "addresses\tstatic\n"
                          "static\t192.168.10.20\t5\n"
                          "device\tSerial Cable on COM1:\tdirect\n"
                          "device\tHayes Compatible on COM2:\tmodem\n";
} // namespace

TEST(RasControl, WithoutTheStateFileTheServerIsNotInstalled)
{
    ostest::TempDeviceRoot root;
    RASCNTL_SERVERSTATUS status{};
    EXPECT_EQ(serverCall(RASCNTL_SERVER_GET_PARAMETERS, &status),
              static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(serverCall(RASCNTL_SERVER_ENABLE), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    DWORD size = 0, count = 7;
    EXPECT_EQ(RasEnumDevices(nullptr, &size, &count), static_cast<DWORD>(ERROR_BUFFER_TOO_SMALL));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(requests(), (std::vector<std::string>{"11  1060", "9  1060"}));
}

TEST(RasControl, ServerParametersAndState)
{
    ostest::TempDeviceRoot root;
    writeState(kInstalled);
    RASCNTL_SERVERSTATUS status{};
    ASSERT_EQ(serverCall(RASCNTL_SERVER_GET_PARAMETERS, &status), 0u);
    EXPECT_FALSE(status.bEnable);
    EXPECT_FALSE(status.bUseDhcpAddresses);
    EXPECT_FALSE(status.bUseAutoIpAddresses);
    EXPECT_EQ(status.dwStaticIpAddrStart, 0xC0A80A14u);
    EXPECT_EQ(status.dwStaticIpAddrCount, 5u);

    struct Case
    {
        BOOL dhcp;
        BOOL autoIp;
        const char* line;
    };
    const Case cases[] = {{TRUE, TRUE, "addresses\tdhcp"},
                          {FALSE, TRUE, "addresses\tautoip"},
                          {FALSE, FALSE, "addresses\tstatic"}};
    for (const auto& row : cases)
    {
        status.bUseDhcpAddresses = row.dhcp;
        status.bUseAutoIpAddresses = row.autoIp;
        status.dwStaticIpAddrStart = 0x0A000001;
        status.dwStaticIpAddrCount = 12;
        status.bEnable = TRUE; // not taken from this request
        ASSERT_EQ(serverCall(RASCNTL_SERVER_SET_PARAMETERS, &status), 0u);
        const std::string state = readFile(os::ras::statePath());
        EXPECT_NE(state.find(std::string(row.line) + "\n"), std::string::npos) << row.line;
        EXPECT_NE(state.find("static\t10.0.0.1\t12\n"), std::string::npos);
        EXPECT_NE(state.find("server\t0\n"), std::string::npos);
        EXPECT_NE(state.find("# a dial-in server with two devices\n"), std::string::npos);
    }
    ASSERT_EQ(serverCall(RASCNTL_SERVER_ENABLE), 0u);
    ASSERT_EQ(serverCall(RASCNTL_SERVER_GET_PARAMETERS, &status), 0u);
    EXPECT_TRUE(status.bEnable);
    ASSERT_EQ(serverCall(RASCNTL_SERVER_DISABLE), 0u);
    ASSERT_EQ(serverCall(RASCNTL_SERVER_GET_PARAMETERS, &status), 0u);
    EXPECT_FALSE(status.bEnable);

    // Records of the wrong size.
    BYTE small[100];
    DWORD returned = 0;
    EXPECT_EQ(
        RasIOControl(nullptr, RASCNTL_SERVER_GET_PARAMETERS, nullptr, 0, small, sizeof small, &returned),
        static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(
        RasIOControl(nullptr, RASCNTL_SERVER_SET_PARAMETERS, small, sizeof small, nullptr, 0, &returned),
        static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RasIOControl(nullptr, 21, nullptr, 0, nullptr, 0, &returned),
              static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(RasIOControl(nullptr, 8, nullptr, 0, nullptr, 0, &returned),
              static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST(RasControl, LinesAreAddedEnabledAndDisabled)
{
    ostest::TempDeviceRoot root;
    writeState(kInstalled);
    RASDEVINFOW devices[4]{};
    devices[0].dwSize = sizeof devices[0];
    DWORD size = sizeof devices[0], count = 0;
    EXPECT_EQ(RasEnumDevices(devices, &size, &count), static_cast<DWORD>(ERROR_BUFFER_TOO_SMALL));
    EXPECT_EQ(size, 2 * sizeof(RASDEVINFOW));
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(RasEnumDevices(devices, &size, &count), 0u);
    EXPECT_EQ(std::u16string(devices[0].szDeviceName), u"Serial Cable on COM1:");
    EXPECT_EQ(std::u16string(devices[1].szDeviceType), u"modem");

    const std::u16string cable = u"Serial Cable on COM1:";
    RASCNTL_SERVERLINE line{};
    line.bEnable = TRUE;
    ASSERT_EQ(lineCall(RASCNTL_SERVER_LINE_GET_PARAMETERS, cable, &line), 0u);
    EXPECT_FALSE(line.bEnable); // a device not yet added
    EXPECT_EQ(std::u16string(line.szDeviceType), u"direct");

    struct Step
    {
        DWORD code;
        const char16_t* device;
        DWORD result;
        bool enabledAfter;
    };
    const Step steps[] = {
        {RASCNTL_SERVER_LINE_ENABLE, u"Serial Cable on COM1:", ERROR_NOT_FOUND, false},
        {RASCNTL_SERVER_LINE_ADD, u"No Such Device", ERROR_DEV_NOT_EXIST, false},
        {RASCNTL_SERVER_LINE_ADD, u"serial cable on com1:", 0, false},
        {RASCNTL_SERVER_LINE_ENABLE, u"Serial Cable on COM1:", 0, true},
        {RASCNTL_SERVER_LINE_ADD, u"Serial Cable on COM1:", 0, true}, // added again: kept as it is
        {RASCNTL_SERVER_LINE_DISABLE, u"Serial Cable on COM1:", 0, false},
        {RASCNTL_SERVER_LINE_REMOVE, u"Serial Cable on COM1:", 0, false},
        {RASCNTL_SERVER_LINE_DISABLE, u"Serial Cable on COM1:", ERROR_NOT_FOUND, false},
    };
    for (const auto& step : steps)
    {
        EXPECT_EQ(lineCall(step.code, step.device), step.result) << step.code;
        ASSERT_EQ(lineCall(RASCNTL_SERVER_LINE_GET_PARAMETERS, cable, &line), 0u);
        EXPECT_EQ(line.bEnable != FALSE, step.enabledAfter) << step.code;
    }
    ASSERT_EQ(lineCall(RASCNTL_SERVER_LINE_ADD, cable), 0u);
    ASSERT_EQ(lineCall(RASCNTL_SERVER_LINE_SET_PARAMETERS, cable, nullptr, TRUE), 0u);
    EXPECT_NE(readFile(os::ras::statePath()).find("line\tSerial Cable on COM1:\tdirect\t1\n"),
              std::string::npos);

    // An unterminated device name is refused.
    RASCNTL_SERVERLINE unterminated{};
    std::fill(std::begin(unterminated.szDeviceName), std::end(unterminated.szDeviceName), u'x');
    DWORD returned = 0;
    EXPECT_EQ(RasIOControl(nullptr, RASCNTL_SERVER_LINE_ADD, reinterpret_cast<BYTE*>(&unterminated),
                           sizeof unterminated, nullptr, 0, &returned),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(RasControl, CredentialsGoToTheStoreAndTheRasUsersGroup)
{
    ostest::TempDeviceRoot root;
    writeState(kInstalled);
    ASSERT_EQ(userCall(RASCNTL_SERVER_USER_SET_CREDENTIALS, credentials(u"anna", "dial-1n")), 0u);
    ASSERT_EQ(userCall(RASCNTL_SERVER_USER_SET_CREDENTIALS, credentials(u"bob", "")), 0u);
    ASSERT_EQ(userCall(RASCNTL_SERVER_USER_SET_CREDENTIALS, credentials(u"ANNA", "again")), 0u);
    EXPECT_EQ(rasUsers(), (std::vector<std::u16string>{u"anna", u"bob"}));
    EXPECT_TRUE(os::ras::checkCredential(u"anna", "again"));
    EXPECT_FALSE(os::ras::checkCredential(u"anna", "dial-1n"));
    EXPECT_TRUE(os::ras::checkCredential(u"bob", ""));
    EXPECT_EQ(readFile(os::ras::statePath()).find("again"), std::string::npos);
    // The credential is the dial-in server's own: no user of the database is made.
    WCHAR name[300];
    EXPECT_FALSE(NTLMEnumUser(0, name, 300));

    EXPECT_EQ(userCall(RASCNTL_SERVER_USER_DELETE_CREDENTIALS, credentials(u"Anna", "")), 0u);
    EXPECT_EQ(userCall(RASCNTL_SERVER_USER_DELETE_CREDENTIALS, credentials(u"anna", "")),
              static_cast<DWORD>(ERROR_NOT_FOUND));
    EXPECT_EQ(rasUsers(), (std::vector<std::u16string>{u"bob"}));
    EXPECT_FALSE(os::ras::checkCredential(u"anna", "again"));

    auto tooLong = credentials(u"carl", "");
    tooLong.cbPassword = 257;
    auto noName = credentials(u"", "x");
    auto unterminated = credentials(u"", "x");
    std::fill(std::begin(unterminated.tszUserName), std::end(unterminated.tszUserName), u'u');
    auto badDomain = credentials(u"dora", "x");
    std::fill(std::begin(badDomain.tszDomainName), std::end(badDomain.tszDomainName), u'd');
    for (const auto& record : {tooLong, noName, unterminated, badDomain})
        EXPECT_EQ(userCall(RASCNTL_SERVER_USER_SET_CREDENTIALS, record),
                  static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(rasUsers(), (std::vector<std::u16string>{u"bob"}));
}

TEST(RasControl, FailuresPerCodeAndTheRecordOfRequests)
{
    ostest::TempDeviceRoot root;
    writeState(std::string(kInstalled) + "fail\t12\t31\nfail\t19\t5\n");
    RASCNTL_SERVERSTATUS status{};
    status.bUseDhcpAddresses = TRUE;
    EXPECT_EQ(userCall(RASCNTL_SERVER_USER_SET_CREDENTIALS, credentials(u"anna", "pw")), 5u);
    EXPECT_EQ(serverCall(RASCNTL_SERVER_SET_PARAMETERS, &status), 31u);
    EXPECT_EQ(serverCall(RASCNTL_SERVER_ENABLE), 0u);
    EXPECT_EQ(lineCall(RASCNTL_SERVER_LINE_ADD, u"Hayes Compatible on COM2:"), 0u);
    EXPECT_EQ(lineCall(RASCNTL_SERVER_LINE_ENABLE, u"Hayes Compatible on COM2:"), 0u);
    // A failed request changes nothing.
    EXPECT_NE(readFile(os::ras::statePath()).find("addresses\tstatic\n"), std::string::npos);
    EXPECT_TRUE(rasUsers().empty());
    EXPECT_EQ(requests(),
              (std::vector<std::string>{"19 anna 5", "12  31", "9  0", "13 Hayes Compatible on COM2: 0",
                                        "15 Hayes Compatible on COM2: 0"}));
}
