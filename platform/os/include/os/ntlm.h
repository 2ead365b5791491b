// The device's NTLM user database: user names with their passwords, and named groups
// of user names. It is the file "ntlmusers.txt" in the device root (never the host's
// users); passwords are kept only as salted PBKDF2-HMAC-SHA256 hashes.
//
// Names compare ignoring case and keep the case they were created with. A name is 1 to
// 256 characters without control characters; a password at most 256 characters. Groups
// are lists of names: a member need not be a user of the database, and deleting a user
// leaves the groups as they are.
#pragma once

#include <os/types.h>

#include <string>
#include <string_view>

namespace os::ntlm
{
constexpr size_t kMaxName = 256;
constexpr size_t kMaxPassword = 256;

// The host path of the database file of the current device root.
std::string databasePath();
// The user exists and the password is theirs.
bool checkPassword(std::u16string_view user, std::u16string_view password);
// Adds the name to the group (made when missing); adding it twice keeps one entry.
bool addToGroup(std::u16string_view group, std::u16string_view user);
// Removes the name from the group; true also when it was not a member.
bool removeFromGroup(std::u16string_view group, std::u16string_view user);
} // namespace os::ntlm

extern "C"
{
    // The name of the user at a position (0, 1, 2, ... in the order they were created)
    // into a buffer of `nameChars` characters with the terminator. Fails with
    // ERROR_NO_MORE_ITEMS past the last user, ERROR_INSUFFICIENT_BUFFER when it does not fit.
    BOOL NTLMEnumUser(DWORD index, LPWSTR name, DWORD nameChars);
    // The members of a group as a list of terminated names ended by one more terminator
    // (a group without members gives only that one). `listChars` gives the buffer's size
    // in characters and gets the size of the list; without a buffer, or with one too
    // small, the call fails with ERROR_INSUFFICIENT_BUFFER and gives only the size.
    BOOL NTLMGetUserList(LPCWSTR group, LPWSTR list, LPDWORD listChars);
    // Creates the user or sets a new password. ERROR_INVALID_PARAMETER for a name or
    // password out of the rules above.
    BOOL NTLMSetUserInfo(LPCWSTR user, LPCWSTR password);
    // ERROR_NOT_FOUND when there is no such user.
    BOOL NTLMDeleteUser(LPCWSTR user);
}
