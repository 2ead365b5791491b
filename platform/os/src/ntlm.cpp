#include <os/deviceroot.h>
#include <os/ntlm.h>
#include <os/text.h>

#include "password_hash.h"
#include "shared_file.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sstream>
#include <vector>

namespace
{
using os::detail::readSharedFile;
using os::detail::updateSharedFile;

// The file: one line per user ("user", name, stored password) and per group ("group",
// name, members), fields separated by tabs, which names never hold.
constexpr const char* kFileName = "ntlmusers.txt";
constexpr const char* kHeader = "# The device's NTLM user database. Lines: user<TAB>name<TAB>password hash, "
                                "group<TAB>name<TAB>members...\n";

struct User
{
    std::u16string name;
    std::string password; // the stored hash
};

struct Group
{
    std::u16string name;
    std::vector<std::u16string> members;
};

struct Database
{
    std::vector<User> users;
    std::vector<Group> groups;
};

bool sameName(std::u16string_view a, std::u16string_view b)
{
    return os::compareNoCase(a, b) == 0;
}

bool validName(std::u16string_view name)
{
    return !name.empty() && name.size() <= os::ntlm::kMaxName &&
           std::none_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

Database parse(const std::string& text)
{
    Database database;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);)
    {
        if (line.empty() || line[0] == '#')
            continue;
        const auto parts = os::detail::tabFields(line);
        if (parts.size() == 3 && parts[0] == "user" && validName(os::toUtf16(parts[1])))
            database.users.push_back({os::toUtf16(parts[1]), parts[2]});
        else if (parts.size() >= 2 && parts[0] == "group" && validName(os::toUtf16(parts[1])))
        {
            Group group{os::toUtf16(parts[1]), {}};
            for (size_t i = 2; i < parts.size(); ++i)
                group.members.push_back(os::toUtf16(parts[i]));
            database.groups.push_back(std::move(group));
        }
        else
            std::fprintf(stderr, "ntlm: unreadable line in %s skipped\n", kFileName);
    }
    return database;
}

std::string format(const Database& database)
{
    std::string text = kHeader;
    for (const auto& user : database.users)
        text += "user\t" + os::toUtf8(user.name) + "\t" + user.password + "\n";
    for (const auto& group : database.groups)
    {
        text += "group\t" + os::toUtf8(group.name);
        for (const auto& member : group.members)
            text += "\t" + os::toUtf8(member);
        text += "\n";
    }
    return text;
}

// Reads the database; false (last error set) when the file cannot be read.
bool load(Database& database)
{
    std::string text;
    bool exists = false;
    if (!readSharedFile(os::ntlm::databasePath(), text, exists))
    {
        SetLastError(ERROR_CANTREAD);
        return false;
    }
    database = parse(text);
    return true;
}

// Changes the database under its lock; the change gives its error or ERROR_SUCCESS
// and says whether anything changed.
BOOL change(const std::function<DWORD(Database&, bool&)>& operation)
{
    const DWORD result = updateSharedFile(os::ntlm::databasePath(),
                                          [&](std::string& text, bool, bool& changed) -> DWORD
                                          {
                                              Database database = parse(text);
                                              const DWORD error = operation(database, changed);
                                              if (changed)
                                                  text = format(database);
                                              return error;
                                          });
    SetLastError(result);
    return result == ERROR_SUCCESS;
}

Group* findGroup(Database& database, std::u16string_view name)
{
    for (auto& group : database.groups)
        if (sameName(group.name, name))
            return &group;
    return nullptr;
}
} // namespace

namespace os::ntlm
{
std::string databasePath()
{
    return deviceRoot() + "/" + kFileName;
}

bool checkPassword(std::u16string_view user, std::u16string_view password)
{
    Database database;
    if (!load(database))
        return false;
    for (const auto& entry : database.users)
        if (sameName(entry.name, user))
            return os::detail::verifyPassword(entry.password, toUtf8(password));
    return false;
}

bool addToGroup(std::u16string_view group, std::u16string_view user)
{
    if (!validName(group) || !validName(user))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return change(
        [&](Database& database, bool& changed) -> DWORD
        {
            Group* entry = findGroup(database, group);
            if (!entry)
            {
                database.groups.push_back({std::u16string(group), {}});
                entry = &database.groups.back();
            }
            const bool member = std::any_of(entry->members.begin(), entry->members.end(),
                                            [&](const auto& name) { return sameName(name, user); });
            if (!member)
                entry->members.emplace_back(user);
            changed = !member;
            return ERROR_SUCCESS;
        });
}

bool removeFromGroup(std::u16string_view group, std::u16string_view user)
{
    return change(
        [&](Database& database, bool& changed) -> DWORD
        {
            if (Group* entry = findGroup(database, group))
            {
                const size_t before = entry->members.size();
                std::erase_if(entry->members, [&](const auto& name) { return sameName(name, user); });
                changed = entry->members.size() != before;
            }
            return ERROR_SUCCESS;
        });
}
} // namespace os::ntlm

extern "C" BOOL NTLMEnumUser(DWORD index, LPWSTR name, DWORD nameChars)
{
    Database database;
    if (!load(database))
        return FALSE;
    if (index >= database.users.size())
    {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    const std::u16string& user = database.users[index].name;
    if (!name || nameChars < user.size() + 1)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::copy(user.begin(), user.end(), name);
    name[user.size()] = u'\0';
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

extern "C" BOOL NTLMGetUserList(LPCWSTR group, LPWSTR list, LPDWORD listChars)
{
    if (!group || !listChars)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Database database;
    if (!load(database))
        return FALSE;
    std::u16string joined;
    if (const Group* entry = findGroup(database, group))
        for (const auto& member : entry->members)
            joined += member + u'\0';
    joined.push_back(u'\0');
    const DWORD capacity = *listChars;
    *listChars = static_cast<DWORD>(joined.size());
    if (!list || capacity < joined.size())
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::copy(joined.begin(), joined.end(), list);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

extern "C" BOOL NTLMSetUserInfo(LPCWSTR user, LPCWSTR password)
{
    const std::u16string name = user ? std::u16string(user) : std::u16string();
    if (!validName(name) || !password || os::wideLength(password) > os::ntlm::kMaxPassword)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string stored = os::detail::hashPassword(os::toUtf8(password));
    if (stored.empty())
    {
        SetLastError(ERROR_INTERNAL_ERROR);
        return FALSE;
    }
    return change(
        [&](Database& database, bool& changed) -> DWORD
        {
            changed = true;
            for (auto& entry : database.users)
            {
                if (sameName(entry.name, name))
                {
                    entry.password = stored;
                    return ERROR_SUCCESS;
                }
            }
            database.users.push_back({name, stored});
            return ERROR_SUCCESS;
        });
}

extern "C" BOOL NTLMDeleteUser(LPCWSTR user)
{
    const std::u16string name = user ? std::u16string(user) : std::u16string();
    return change(
        [&](Database& database, bool& changed) -> DWORD
        {
            const size_t before = database.users.size();
            std::erase_if(database.users, [&](const User& entry) { return sameName(entry.name, name); });
            changed = database.users.size() != before;
            return changed ? ERROR_SUCCESS : ERROR_NOT_FOUND;
        });
}
