#include <ui/snapshot.h>
#include <ui/text.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace ui
{
std::string format(const char* pattern, ...)
{
    va_list arguments;
    va_start(arguments, pattern);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, pattern, arguments);
    va_end(arguments);
    std::string text;
    if (length > 0)
    {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), pattern, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

std::optional<long long> wholeNumber(std::string_view text, bool* overflow)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (overflow)
        *overflow = false;
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || stop != end)
        return std::nullopt;
    if (error == std::errc::result_out_of_range)
    {
        if (overflow)
            *overflow = true;
        return text.front() == '-' ? LLONG_MIN : LLONG_MAX;
    }
    if (error != std::errc())
        return std::nullopt;
    return value;
}

std::string StringTable::load(int id) const
{
    const auto found = m_entries.find(id);
    return found == m_entries.end() ? std::string() : found->second;
}

const char* kindName(ControlKind kind)
{
    switch (kind)
    {
    case ControlKind::Label:
        return "label";
    case ControlKind::Button:
        return "button";
    case ControlKind::CheckBox:
        return "check";
    case ControlKind::Radio:
        return "radio";
    case ControlKind::GroupBox:
        return "group";
    case ControlKind::Picture:
        return "picture";
    case ControlKind::Edit:
        return "edit";
    case ControlKind::Combo:
        return "combo";
    case ControlKind::ListView:
        return "list";
    case ControlKind::Slider:
        return "slider";
    case ControlKind::UpDown:
        return "updown";
    case ControlKind::Tab:
        return "tab";
    }
    return "label";
}
} // namespace ui
