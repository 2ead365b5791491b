#include "store.h"

#include <zrconfigcore/zrconfig.h>

#include <os/replace_file.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zrconfig
{
namespace
{
constexpr const char* kPersistentFile = "\\Windows\\ZrFirewall.txt";
constexpr const char* kVolatileFile = "\\Temp\\ZrFirewallVolatile.txt";

std::optional<std::string> readFile(const char* devicePath)
{
    const auto host = os::toHostPath(devicePath);
    if (!host)
        return std::nullopt;
    std::ifstream file(*host, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

bool writeFile(const char* devicePath, const std::string& contents)
{
    const auto host = os::toHostPath(devicePath);
    if (!host)
        return false;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(*host).parent_path(), ignored);
    return os::replaceFileContents(*host, contents) == ERROR_SUCCESS;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<RuleRecord> parseRule(const std::string& hex)
{
    RuleRecord record{};
    if (hex.size() != record.size() * 2)
        return std::nullopt;
    for (size_t i = 0; i < record.size(); ++i)
    {
        const int high = hexDigit(hex[2 * i]);
        const int low = hexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        record[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return record;
}

// The display text the record carries at offset 216, for a reader of the file.
std::string displayText(const RuleRecord& record)
{
    std::u16string text;
    for (size_t offset = 216; offset + 1 < record.size() && text.size() < 63; offset += 2)
    {
        const char16_t c = static_cast<char16_t>(record[offset] | (record[offset + 1] << 8));
        if (c == 0)
            break;
        text.push_back(c < 0x20 ? u'?' : c);
    }
    return os::toUtf8(text);
}
} // namespace

std::string formatState(const FirewallState& state)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text = "# Firewall settings of ZrConfigCore\n";
    text += "enabled " + std::string(state.enabled ? "1" : "0") + "\n";
    text += "persistent " + std::string(state.persistent ? "1" : "0") + "\n";
    for (const RuleRecord& record : state.rules)
    {
        text += "# " + displayText(record) + "\nrule ";
        for (uint8_t byte : record)
        {
            text.push_back(kDigits[byte >> 4]);
            text.push_back(kDigits[byte & 0x0F]);
        }
        text += "\n";
    }
    return text;
}

FirewallState parseState(const std::string& text)
{
    FirewallState state;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
    {
        std::istringstream words(line);
        std::string word, value, extra;
        if (!(words >> word >> value) || (words >> extra) || word.front() == '#')
            continue;
        if ((word == "enabled" || word == "persistent") && (value == "0" || value == "1"))
            (word == "enabled" ? state.enabled : state.persistent) = value == "1";
        else if (word == "rule" && state.rules.size() < ZRCONFIG_MAX_RULES)
        {
            if (const auto record = parseRule(value))
                state.rules.push_back(*record);
        }
    }
    return state;
}

FirewallState loadState()
{
    if (const auto text = readFile(kVolatileFile))
        return parseState(*text);
    if (const auto text = readFile(kPersistentFile))
        return parseState(*text);
    return {};
}

bool storeState(const FirewallState& state)
{
    if (!state.persistent)
        return writeFile(kVolatileFile, formatState(state));
    if (!writeFile(kPersistentFile, formatState(state)))
        return false;
    forgetVolatileState();
    return true;
}

void forgetVolatileState()
{
    if (const auto host = os::toHostPath(kVolatileFile))
    {
        std::error_code ignored;
        std::filesystem::remove(*host, ignored);
    }
}
} // namespace zrconfig
