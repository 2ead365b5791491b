// Registry access of the configuration program: keys closed when they go out of scope,
// and the value shapes the pages read and write.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace setupdesk
{
class RegKey
{
public:
    RegKey() = default;
    ~RegKey() { close(); }
    RegKey(RegKey&& other) noexcept : m_key(other.m_key) { other.m_key = nullptr; }
    RegKey& operator=(RegKey&& other) noexcept;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // An existing key of HKLM; false (and the key closed) when it cannot be opened.
    bool open(const char16_t* path, REGSAM access = KEY_ALL_ACCESS);
    // The key, made when it is missing.
    bool create(const char16_t* path);
    void close();
    HKEY get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

private:
    HKEY m_key = nullptr;
};

// A value as it is stored: its type and bytes.
struct RawValue
{
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

bool keyExists(const char16_t* path);

// A REG_DWORD of 4 bytes; nothing for a missing value or one of another shape.
std::optional<DWORD> readDword(HKEY key, const char16_t* name);
// A REG_SZ (or REG_EXPAND_SZ) of at most maxChars characters, as UTF-8; nothing otherwise.
std::optional<std::string> readString(HKEY key, const char16_t* name, size_t maxChars = MAX_PATH);
// For readString: the value however long it is. What a page shows in a field and writes
// back on Apply is read whole, so that a value longer than the field takes is kept.
constexpr size_t kWholeValue = static_cast<size_t>(-1);
// The most characters typed into a field of a path or name stored as REG_SZ.
constexpr size_t kPathChars = MAX_PATH;
std::optional<RawValue> readRaw(HKEY key, const char16_t* name);

// A driver the device manager runs: its device name ("NAME") and its key below HKLM ("Key").
struct ActiveDriver
{
    std::string name;
    std::string key;
};
// The subkeys of HKLM "Drivers\Active", as far as they can be read.
std::vector<ActiveDriver> activeDrivers();

bool writeDword(HKEY key, const char16_t* name, DWORD value);
// REG_SZ with its terminator.
bool writeString(HKEY key, const char16_t* name, const std::string& value);
bool writeRaw(HKEY key, const char16_t* name, const RawValue& value);
} // namespace setupdesk
