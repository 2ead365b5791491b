// Text helpers of the dialog programs: printf-style formatting as the device's
// programs format their texts, and string tables by id.
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace ui
{
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// The text as a whole signed number, blanks around it allowed; nothing for other text.
// A number beyond 64 bits gives the nearest 64-bit value and sets overflow.
std::optional<long long> wholeNumber(std::string_view text, bool* overflow = nullptr);

// A program's string table.
class StringTable
{
public:
    StringTable() = default;
    StringTable(std::initializer_list<std::pair<const int, std::string>> entries) : m_entries(entries) {}
    // Empty for an id the table does not hold, as a failed load leaves its buffer.
    std::string load(int id) const;
    bool contains(int id) const { return m_entries.count(id) != 0; }

private:
    std::map<int, std::string> m_entries;
};
} // namespace ui
