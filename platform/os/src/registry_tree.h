// The registry's keys and values in memory, and their .reg text form.
#pragma once

#include <os/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace os::detail
{
struct RegistryValue
{
    std::u16string name; // empty: the key's default value
    DWORD type = 0;
    std::vector<uint8_t> data;
};

// Names are kept as first written and found ignoring case; keys and values keep
// the order in which they were created.
class RegistryKey
{
public:
    explicit RegistryKey(std::u16string name) : m_name(std::move(name)) {}

    const std::u16string& name() const { return m_name; }
    const std::vector<std::unique_ptr<RegistryKey>>& subkeys() const { return m_subkeys; }
    const std::vector<RegistryValue>& values() const { return m_values; }

    RegistryKey* findSubkey(std::u16string_view name) const;
    RegistryKey& createSubkey(std::u16string_view name, bool& created);
    bool deleteSubkey(std::u16string_view name);

    // A protected key, or one with a protected key below it, is not deleted by a program.
    bool isProtected() const { return m_protected; }
    void setProtected(bool isProtected) { m_protected = isProtected; }
    bool holdsProtected() const;

    const RegistryValue* findValue(std::u16string_view name) const;
    void setValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data);
    bool deleteValue(std::u16string_view name);

private:
    std::u16string m_name;
    std::vector<std::unique_ptr<RegistryKey>> m_subkeys;
    std::vector<RegistryValue> m_values;
    bool m_protected = false;
};

// Splits a key path at "\", dropping empty elements (a leading "\" is ignored).
std::vector<std::u16string> splitKeyPath(std::u16string_view path);

// The whole registry: the top-level keys are the roots ("HKEY_LOCAL_MACHINE", ...).
class RegistryTree
{
public:
    RegistryTree();
    RegistryKey& top() { return m_top; }
    const RegistryKey& top() const { return m_top; }

    // Merges a .reg text into the tree ("[-key]" and "name"=- delete; a line "!protected"
    // below a key header protects that key). Returns the number of lines that could not
    // be read; those lines are skipped, and so are the values after one of them up to
    // the next good key header.
    size_t merge(std::string_view text);
    std::string format() const;

private:
    RegistryKey m_top;
};
} // namespace os::detail
