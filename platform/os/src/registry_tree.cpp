#include "registry_tree.h"

#include <os/registry.h>
#include <os/text.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace os::detail
{
namespace
{
constexpr const char* kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                  "HKEY_USERS"};
constexpr size_t kHexBytesPerLine = 24;
constexpr const char* kProtectedLine = "!protected";

// ---- data encodings ----------------------------------------------------------

std::vector<uint8_t> utf16Bytes(std::u16string_view text)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text)
    {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

std::u16string utf16Text(const std::vector<uint8_t>& bytes)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

std::vector<uint8_t> stringData(std::u16string_view text)
{
    std::u16string terminated(text);
    terminated.push_back(u'\0');
    return utf16Bytes(terminated);
}

std::vector<uint8_t> multiStringData(const std::vector<std::u16string>& items)
{
    std::u16string joined;
    for (const auto& item : items)
    {
        joined += item;
        joined.push_back(u'\0');
    }
    joined.push_back(u'\0');
    return utf16Bytes(joined);
}

// Text a line of the file can carry: no control characters, valid UTF-16.
bool isPlainText(std::u16string_view text)
{
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7F)
            return false;
    return toUtf16(toUtf8(text)) == text;
}

std::string quoted(std::u16string_view text)
{
    std::string out = "\"";
    for (char c : toUtf8(text))
    {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// The readable form of a string value when the data is exactly that string.
bool readableString(const std::vector<uint8_t>& data, std::string& out)
{
    std::u16string text = utf16Text(data);
    if (text.empty() || text.back() != u'\0')
        return false;
    text.pop_back();
    if (!isPlainText(text) || stringData(text) != data)
        return false;
    out = quoted(text);
    return true;
}

bool readableMultiString(const std::vector<uint8_t>& data, std::string& out)
{
    const std::u16string text = utf16Text(data);
    std::vector<std::u16string> items;
    std::u16string current;
    for (size_t i = 0; i + 1 < text.size(); ++i)
    {
        if (text[i] == u'\0')
        {
            items.push_back(current);
            current.clear();
        }
        else
        {
            current.push_back(text[i]);
        }
    }
    if (multiStringData(items) != data)
        return false;
    std::string list;
    for (const auto& item : items)
    {
        if (!isPlainText(item) || item.empty())
            return false;
        if (!list.empty())
            list += ',';
        list += quoted(item);
    }
    out = "multi:" + list;
    return true;
}

std::string hexData(const std::vector<uint8_t>& data)
{
    std::string out;
    for (size_t i = 0; i < data.size(); ++i)
    {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        out += byte;
        if (i + 1 < data.size())
        {
            out += ",";
            if ((i + 1) % kHexBytesPerLine == 0)
                out += "\\\n  ";
        }
    }
    return out;
}

std::string formatData(const RegistryValue& value)
{
    std::string readable;
    switch (value.type)
    {
    case REG_SZ:
        if (readableString(value.data, readable))
            return readable;
        break;
    case REG_EXPAND_SZ:
        if (readableString(value.data, readable))
            return "expand:" + readable;
        break;
    case REG_MULTI_SZ:
        if (readableMultiString(value.data, readable))
            return readable;
        break;
    case REG_DWORD:
        if (value.data.size() == 4)
        {
            char text[16];
            const uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                    (static_cast<uint32_t>(value.data[3]) << 24);
            std::snprintf(text, sizeof text, "%08x", number);
            return std::string("dword:") + text;
        }
        break;
    case REG_BINARY:
        return "hex:" + hexData(value.data);
    default:
        break;
    }
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    return prefix + hexData(value.data);
}

void formatKey(const RegistryKey& key, const std::string& path, std::string& out)
{
    out += "[" + path + "]\n";
    if (key.isProtected())
        out += std::string(kProtectedLine) + "\n";
    for (const auto& value : key.values())
        out += (value.name.empty() ? std::string("@") : quoted(value.name)) + "=" + formatData(value) + "\n";
    out += "\n";
    for (const auto& subkey : key.subkeys())
        formatKey(*subkey, path + "\\" + toUtf8(subkey->name()), out);
}

// ---- reading -------------------------------------------------------------------

class Cursor
{
public:
    explicit Cursor(std::string_view text) : m_text(text) {}
    bool atEnd() const { return m_pos >= m_text.size(); }
    bool take(std::string_view prefix)
    {
        if (m_text.substr(m_pos, prefix.size()) != prefix)
            return false;
        m_pos += prefix.size();
        return true;
    }
    bool quotedText(std::string& out)
    {
        if (!take("\""))
            return false;
        out.clear();
        while (m_pos < m_text.size())
        {
            char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (c == '\\')
            {
                if (m_pos >= m_text.size())
                    return false;
                c = m_text[m_pos++];
            }
            out.push_back(c);
        }
        return false;
    }
    bool hexBytes(std::vector<uint8_t>& out)
    {
        out.clear();
        while (!atEnd())
        {
            unsigned value = 0;
            int digits = 0;
            while (!atEnd() && std::isxdigit(static_cast<unsigned char>(m_text[m_pos])) && digits < 2)
            {
                const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(m_text[m_pos++])));
                value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
                ++digits;
            }
            if (digits == 0)
                return false;
            out.push_back(static_cast<uint8_t>(value));
            if (!take(","))
                break;
        }
        return atEnd();
    }
    bool number(uint32_t& out, int base)
    {
        const std::string rest(m_text.substr(m_pos));
        if (rest.empty())
            return false;
        char* end = nullptr;
        const unsigned long value = std::strtoul(rest.c_str(), &end, base);
        if (end == rest.c_str() || value > 0xFFFFFFFFul)
            return false;
        m_pos += static_cast<size_t>(end - rest.c_str());
        out = static_cast<uint32_t>(value);
        return true;
    }

private:
    std::string_view m_text;
    size_t m_pos = 0;
};

bool parseData(Cursor& cursor, RegistryValue& value)
{
    std::string text;
    if (cursor.quotedText(text))
    {
        value.type = REG_SZ;
        value.data = stringData(toUtf16(text));
        return cursor.atEnd();
    }
    if (cursor.take("expand:"))
    {
        value.type = REG_EXPAND_SZ;
        if (!cursor.quotedText(text))
            return false;
        value.data = stringData(toUtf16(text));
        return cursor.atEnd();
    }
    if (cursor.take("multi:"))
    {
        value.type = REG_MULTI_SZ;
        std::vector<std::u16string> items;
        while (!cursor.atEnd())
        {
            if (!cursor.quotedText(text))
                return false;
            items.push_back(toUtf16(text));
            if (!cursor.take(","))
                break;
        }
        value.data = multiStringData(items);
        return cursor.atEnd();
    }
    if (cursor.take("dword:"))
    {
        uint32_t number = 0;
        if (!cursor.number(number, 16) || !cursor.atEnd())
            return false;
        value.type = REG_DWORD;
        value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                      static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        return true;
    }
    if (cursor.take("hex:"))
    {
        value.type = REG_BINARY;
        return cursor.atEnd() || cursor.hexBytes(value.data);
    }
    if (cursor.take("hex("))
    {
        uint32_t type = 0;
        if (!cursor.number(type, 16) || !cursor.take("):"))
            return false;
        value.type = type;
        return cursor.atEnd() || cursor.hexBytes(value.data);
    }
    return false;
}

std::string_view trimmed(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    return line;
}

struct LogicalLine
{
    std::string text;
    bool broken = false; // ended in "\" but nothing continued it
};

// Logical lines: a line ending in "\" continues on the next one. A key header
// neither continues nor is continued: a continuation that meets one (or the end of
// the text) is broken.
std::vector<LogicalLine> logicalLines(std::string_view text)
{
    std::vector<LogicalLine> lines;
    LogicalLine current;
    bool continuing = false;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = trimmed(text.substr(start, end - start));
        start = end + 1;
        const bool header = !line.empty() && line.front() == '[';
        if (continuing && header)
        {
            current.broken = true;
            lines.push_back(std::move(current));
            current = LogicalLine{};
        }
        continuing = !header && !line.empty() && line.back() == '\\';
        if (continuing)
            line.remove_suffix(1);
        current.text += line;
        if (!continuing)
        {
            lines.push_back(std::move(current));
            current = LogicalLine{};
        }
    }
    if (continuing)
    {
        current.broken = true;
        lines.push_back(std::move(current));
    }
    return lines;
}
} // namespace

RegistryKey* RegistryKey::findSubkey(std::u16string_view name) const
{
    for (const auto& subkey : m_subkeys)
        if (compareNoCase(subkey->name(), name) == 0)
            return subkey.get();
    return nullptr;
}

RegistryKey& RegistryKey::createSubkey(std::u16string_view name, bool& created)
{
    if (RegistryKey* existing = findSubkey(name))
    {
        created = false;
        return *existing;
    }
    created = true;
    m_subkeys.push_back(std::make_unique<RegistryKey>(std::u16string(name)));
    return *m_subkeys.back();
}

bool RegistryKey::deleteSubkey(std::u16string_view name)
{
    const auto it =
        std::find_if(m_subkeys.begin(), m_subkeys.end(),
                     [&](const auto& subkey) { return compareNoCase(subkey->name(), name) == 0; });
    if (it == m_subkeys.end())
        return false;
    m_subkeys.erase(it);
    return true;
}

bool RegistryKey::holdsProtected() const
{
    return m_protected || std::any_of(m_subkeys.begin(), m_subkeys.end(),
                                      [](const auto& subkey) { return subkey->holdsProtected(); });
}

const RegistryValue* RegistryKey::findValue(std::u16string_view name) const
{
    for (const auto& value : m_values)
        if (compareNoCase(value.name, name) == 0)
            return &value;
    return nullptr;
}

void RegistryKey::setValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data)
{
    for (auto& value : m_values)
    {
        if (compareNoCase(value.name, name) == 0)
        {
            value.type = type;
            value.data = std::move(data);
            return;
        }
    }
    m_values.push_back(RegistryValue{std::u16string(name), type, std::move(data)});
}

bool RegistryKey::deleteValue(std::u16string_view name)
{
    const auto it =
        std::find_if(m_values.begin(), m_values.end(),
                     [&](const RegistryValue& value) { return compareNoCase(value.name, name) == 0; });
    if (it == m_values.end())
        return false;
    m_values.erase(it);
    return true;
}

std::vector<std::u16string> splitKeyPath(std::u16string_view path)
{
    std::vector<std::u16string> elements;
    size_t start = 0;
    while (start <= path.size())
    {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = path.size();
        if (end > start)
            elements.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return elements;
}

RegistryTree::RegistryTree() : m_top(u"")
{
    for (const char* root : kRoots)
    {
        bool created = false;
        m_top.createSubkey(toUtf16(root), created);
    }
}

size_t RegistryTree::merge(std::string_view text)
{
    size_t badLines = 0;
    // The key that value lines go to. After an unreadable line it is none until the
    // next good key header: the line may have been a damaged header, and the values
    // below it belong to that key, not to the one before.
    RegistryKey* current = nullptr;
    auto unreadable = [&]
    {
        ++badLines;
        current = nullptr;
    };
    for (const LogicalLine& logical : logicalLines(text))
    {
        const std::string& line = logical.text;
        if (logical.broken)
        {
            unreadable();
            continue;
        }
        if (line.empty() || line[0] == ';' || line == "REGEDIT4" ||
            line.rfind("Windows Registry Editor", 0) == 0)
            continue;
        if (line.front() == '[')
        {
            current = nullptr;
            const bool remove = line.size() > 2 && line[1] == '-';
            const auto elements =
                line.back() == ']' && line.size() > 2
                    ? splitKeyPath(toUtf16(line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2))))
                    : std::vector<std::u16string>{};
            if (elements.empty() || !m_top.findSubkey(elements[0]))
            {
                unreadable(); // no closing "]", or not below one of the roots
                continue;
            }
            RegistryKey* key = &m_top;
            for (size_t i = 0; i < elements.size(); ++i)
            {
                if (remove && i + 1 == elements.size())
                {
                    key->deleteSubkey(elements[i]);
                    break;
                }
                bool created = false;
                key = remove ? key->findSubkey(elements[i]) : &key->createSubkey(elements[i], created);
                if (!key)
                    break;
            }
            if (!remove)
                current = key;
            continue;
        }
        if (line == kProtectedLine)
        {
            if (current)
                current->setProtected(true);
            else
                unreadable();
            continue;
        }
        Cursor cursor(line);
        RegistryValue value;
        std::string name;
        const bool named = cursor.quotedText(name);
        if (!current || (!named && !cursor.take("@")) || !cursor.take("="))
        {
            unreadable();
            continue;
        }
        value.name = toUtf16(name);
        if (cursor.take("-") && cursor.atEnd())
        {
            current->deleteValue(value.name);
            continue;
        }
        if (!parseData(cursor, value))
        {
            unreadable();
            continue;
        }
        current->setValue(value.name, value.type, std::move(value.data));
    }
    return badLines;
}

std::string RegistryTree::format() const
{
    std::string out = "REGEDIT4\n\n";
    for (const auto& root : m_top.subkeys())
        formatKey(*root, toUtf8(root->name()), out);
    return out;
}
} // namespace os::detail
