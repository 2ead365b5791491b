#include "test_support.h"

#include <os/ntlm.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

namespace
{
std::vector<std::u16string> users()
{
    std::vector<std::u16string> names;
    WCHAR name[os::ntlm::kMaxName + 1];
    for (DWORD i = 0; NTLMEnumUser(i, name, os::ntlm::kMaxName + 1); ++i)
        names.emplace_back(name);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    return names;
}

std::vector<std::u16string> members(const char16_t* group)
{
    DWORD size = 0;
    EXPECT_FALSE(NTLMGetUserList(group, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::u16string list(size, u'?');
    EXPECT_TRUE(NTLMGetUserList(group, list.data(), &size));
    EXPECT_EQ(size, list.size());
    std::vector<std::u16string> names;
    for (size_t start = 0; start < list.size() && list[start] != u'\0';)
    {
        const size_t end = list.find(u'\0', start);
        names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    EXPECT_EQ(list.back(), u'\0');
    return names;
}

std::string fileText()
{
    std::ifstream file(os::ntlm::databasePath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}
} // namespace

TEST(Ntlm, UsersAreCreatedUpdatedAndDeletedByName)
{
    ostest::TempDeviceRoot root;
    EXPECT_TRUE(users().empty());
    ASSERT_TRUE(NTLMSetUserInfo(u"anna", u"secret1"));
    ASSERT_TRUE(NTLMSetUserInfo(u"Bob", u"secret1"));
    ASSERT_TRUE(NTLMSetUserInfo(u"carl", u""));
    ASSERT_TRUE(NTLMSetUserInfo(u"ANNA", u"changed")); // the same user, in place
    EXPECT_EQ(users(), (std::vector<std::u16string>{u"anna", u"Bob", u"carl"}));

    struct Check
    {
        const char16_t* user;
        const char16_t* password;
        bool matches;
    };
    const Check checks[] = {
        {u"anna", u"changed", true}, {u"anna", u"secret1", false}, {u"bob", u"secret1", true},
        {u"Bob", u"Secret1", false}, {u"carl", u"", true},         {u"dora", u"", false},
    };
    for (const auto& row : checks)
        EXPECT_EQ(os::ntlm::checkPassword(row.user, row.password), row.matches)
            << os::toUtf8(row.user) << "/" << os::toUtf8(row.password);

    EXPECT_TRUE(NTLMDeleteUser(u"BOB"));
    SetLastError(0);
    EXPECT_FALSE(NTLMDeleteUser(u"bob"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
    EXPECT_EQ(users(), (std::vector<std::u16string>{u"anna", u"carl"}));
}

TEST(Ntlm, PasswordsAreStoredOnlyAsSaltedHashes)
{
    ostest::TempDeviceRoot root;
    ASSERT_TRUE(NTLMSetUserInfo(u"anna", u"Pa55word"));
    ASSERT_TRUE(NTLMSetUserInfo(u"bob", u"Pa55word"));
    const std::string text = fileText();
    EXPECT_EQ(text.find("Pa55word"), std::string::npos);
    const std::u16string wide = u"Pa55word";
    EXPECT_EQ(text.find(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2)),
              std::string::npos);
    // One salt each: the same password gives two different hashes.
    const size_t anna = text.find("user\tanna\t");
    const size_t bob = text.find("user\tbob\t");
    ASSERT_NE(anna, std::string::npos);
    ASSERT_NE(bob, std::string::npos);
    const std::string annaHash = text.substr(anna + 10, text.find('\n', anna) - anna - 10);
    const std::string bobHash = text.substr(bob + 9, text.find('\n', bob) - bob - 9);
    EXPECT_EQ(annaHash.rfind("pbkdf2-sha256$", 0), 0u);
    EXPECT_NE(annaHash, bobHash);
}

TEST(Ntlm, NamesAndPasswordsOutOfTheRulesAreRefused)
{
    ostest::TempDeviceRoot root;
    const std::u16string longName(os::ntlm::kMaxName + 1, u'n');
    const std::u16string longestName(os::ntlm::kMaxName, u'n');
    const std::u16string longPassword(os::ntlm::kMaxPassword + 1, u'p');
    const std::u16string longestPassword(os::ntlm::kMaxPassword, u'p');
    struct Case
    {
        const char* what;
        const char16_t* user;
        const char16_t* password;
        bool accepted;
    };
    const Case cases[] = {
        {"empty name", u"", u"x", false},
        {"no name", nullptr, u"x", false},
        {"tab in the name", u"a\tb", u"x", false},
        {"newline in the name", u"a\nb", u"x", false},
        {"name over 256", longName.c_str(), u"x", false},
        {"name of 256", longestName.c_str(), u"x", true},
        {"no password", u"dora", nullptr, false},
        {"password over 256", u"dora", longPassword.c_str(), false},
        {"password of 256", u"dora", longestPassword.c_str(), true},
        {"blank in the name", u"eva maria", u"x", true},
    };
    for (const auto& row : cases)
    {
        SetLastError(0);
        EXPECT_EQ(NTLMSetUserInfo(row.user, row.password), row.accepted ? TRUE : FALSE) << row.what;
        if (!row.accepted)
        {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << row.what;
        }
    }
    EXPECT_EQ(users(), (std::vector<std::u16string>{longestName, u"dora", u"eva maria"}));

    WCHAR small[4];
    SetLastError(0);
    EXPECT_FALSE(NTLMEnumUser(1, small, 4)); // "dora" needs 5
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Ntlm, GroupsListTheirMembers)
{
    ostest::TempDeviceRoot root;
    EXPECT_TRUE(members(u"RasUsers").empty());
    ASSERT_TRUE(NTLMSetUserInfo(u"anna", u"x"));
    ASSERT_TRUE(os::ntlm::addToGroup(u"RasUsers", u"anna"));
    ASSERT_TRUE(os::ntlm::addToGroup(u"rasusers", u"ANNA")); // already a member
    ASSERT_TRUE(os::ntlm::addToGroup(u"RasUsers", u"dial-in"));
    ASSERT_TRUE(os::ntlm::addToGroup(u"Other", u"anna"));
    EXPECT_EQ(members(u"RasUsers"), (std::vector<std::u16string>{u"anna", u"dial-in"}));

    // A buffer one character short gives only the size.
    DWORD size = 0;
    NTLMGetUserList(u"RasUsers", nullptr, &size);
    std::u16string shortList(size - 1, u'?');
    DWORD shortSize = size - 1;
    EXPECT_FALSE(NTLMGetUserList(u"RasUsers", shortList.data(), &shortSize));
    EXPECT_EQ(shortSize, size);
    EXPECT_EQ(shortList, std::u16string(size - 1, u'?'));

    // Deleting a user leaves the groups alone; removing a member does not delete the user.
    EXPECT_TRUE(NTLMDeleteUser(u"anna"));
    EXPECT_EQ(members(u"RasUsers"), (std::vector<std::u16string>{u"anna", u"dial-in"}));
    EXPECT_TRUE(os::ntlm::removeFromGroup(u"RasUsers", u"Anna"));
    EXPECT_TRUE(os::ntlm::removeFromGroup(u"RasUsers", u"nobody"));
    EXPECT_EQ(members(u"RasUsers"), (std::vector<std::u16string>{u"dial-in"}));
    EXPECT_EQ(members(u"Other"), (std::vector<std::u16string>{u"anna"}));
}

TEST(Ntlm, ConcurrentChangesLoseNothing)
{
    ostest::TempDeviceRoot root;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back(
            [t]
            {
                for (int i = 0; i < 5; ++i)
                {
                    const std::u16string name =
                        os::toUtf16("user" + std::to_string(t) + "-" + std::to_string(i));
                    EXPECT_TRUE(NTLMSetUserInfo(name.c_str(), u"pw"));
                    EXPECT_TRUE(os::ntlm::addToGroup(u"All", name));
                }
            });
    for (auto& writer : writers)
        writer.join();
    EXPECT_EQ(users().size(), 20u);
    EXPECT_EQ(members(u"All").size(), 20u);
}
