#include <os/regscript.h>
#include <os/registry.h>
#include <os/text.h>

#include <optional>
#include <string>
#include <vector>

namespace
{
struct Token
{
    std::u16string text;
    bool quoted = false;
};

struct ScriptValue
{
    std::u16string name;
    DWORD type = REG_SZ;
    std::u16string text;
    DWORD number = 0;
};

struct ScriptKey
{
    enum class Mode
    {
        write,
        forceRemove,
        remove,
    } mode = Mode::write;
    std::u16string name;
    std::optional<ScriptValue> defaultValue;
    std::vector<ScriptValue> values;
    std::vector<ScriptKey> subkeys;
};

struct ScriptRoot
{
    HKEY root = nullptr;
    std::vector<ScriptKey> keys;
};

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Replaces %NAME% in a token; false for a name without a replacement or an open "%".
bool replaceNames(std::u16string& text, std::initializer_list<os::ScriptReplacement> replacements)
{
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != u'%')
        {
            out.push_back(text[i]);
            continue;
        }
        const size_t end = text.find(u'%', i + 1);
        if (end == std::u16string::npos)
            return false;
        const std::u16string_view name(text.data() + i + 1, end - i - 1);
        if (name.empty())
            out.push_back(u'%');
        else
        {
            const os::ScriptReplacement* found = nullptr;
            for (const auto& replacement : replacements)
                if (os::compareNoCase(replacement.name, name) == 0)
                    found = &replacement;
            if (!found)
                return false;
            out.append(found->value);
        }
        i = end;
    }
    text = std::move(out);
    return true;
}

bool tokenize(std::u16string_view script, std::initializer_list<os::ScriptReplacement> replacements,
              std::vector<Token>& tokens)
{
    size_t i = 0;
    while (i < script.size())
    {
        if (isBlank(script[i]))
        {
            ++i;
            continue;
        }
        Token token;
        if (script[i] == u'\'')
        {
            token.quoted = true;
            for (++i;; ++i)
            {
                if (i >= script.size())
                    return false;
                if (script[i] == u'\'')
                {
                    if (i + 1 < script.size() && script[i + 1] == u'\'')
                        ++i;
                    else
                        break;
                }
                token.text.push_back(script[i]);
            }
            ++i;
        }
        else
        {
            while (i < script.size() && !isBlank(script[i]))
                token.text.push_back(script[i++]);
        }
        if (!replaceNames(token.text, replacements))
            return false;
        tokens.push_back(std::move(token));
    }
    return true;
}

class Parser
{
public:
    explicit Parser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    bool script(std::vector<ScriptRoot>& roots)
    {
        while (m_next < m_tokens.size())
        {
            ScriptRoot root;
            const Token* name = take();
            if (!name || name->quoted || !(root.root = os::rootKeyNamed(name->text)) || !isMark(u"{"))
                return false;
            ++m_next;
            if (!keys(root.keys, nullptr))
                return false;
            roots.push_back(std::move(root));
        }
        return true;
    }

private:
    const Token* take() { return m_next < m_tokens.size() ? &m_tokens[m_next++] : nullptr; }

    bool isMark(std::u16string_view mark) const
    {
        return m_next < m_tokens.size() && !m_tokens[m_next].quoted && m_tokens[m_next].text == mark;
    }

    bool isWord(std::u16string_view word) const
    {
        return m_next < m_tokens.size() && !m_tokens[m_next].quoted &&
               os::compareNoCase(m_tokens[m_next].text, word) == 0;
    }

    // The keys (and, inside a key, the values) up to and including the closing "}".
    bool keys(std::vector<ScriptKey>& keys, std::vector<ScriptValue>* values)
    {
        for (;;)
        {
            if (m_next >= m_tokens.size())
                return false;
            if (isMark(u"}"))
            {
                ++m_next;
                return true;
            }
            if (values && isWord(u"val"))
            {
                ++m_next;
                const Token* name = take();
                if (!name || !isMark(u"="))
                    return false;
                ++m_next;
                ScriptValue value;
                if (!typedValue(value))
                    return false;
                value.name = name->text;
                values->push_back(std::move(value));
                continue;
            }
            ScriptKey key;
            if (!this->key(key))
                return false;
            keys.push_back(std::move(key));
        }
    }

    bool key(ScriptKey& key)
    {
        if (isWord(u"ForceRemove"))
            key.mode = ScriptKey::Mode::forceRemove;
        else if (isWord(u"Delete"))
            key.mode = ScriptKey::Mode::remove;
        if (isWord(u"NoRemove") || isWord(u"ForceRemove") || isWord(u"Delete"))
            ++m_next;
        const Token* name = take();
        if (!name || name->text.empty() ||
            (!name->quoted && (name->text == u"{" || name->text == u"}" || name->text == u"=")))
            return false;
        key.name = name->text;
        if (isMark(u"="))
        {
            ++m_next;
            ScriptValue value;
            if (!typedValue(value))
                return false;
            key.defaultValue = std::move(value);
        }
        if (isMark(u"{"))
        {
            ++m_next;
            return keys(key.subkeys, &key.values);
        }
        return true;
    }

    bool typedValue(ScriptValue& value)
    {
        const Token* type = take();
        const Token* data = take();
        if (!type || type->quoted || !data)
            return false;
        if (os::compareNoCase(type->text, u"s") == 0)
        {
            value.type = REG_SZ;
            value.text = data->text;
            return true;
        }
        if (os::compareNoCase(type->text, u"d") != 0)
            return false;
        value.type = REG_DWORD;
        return number(data->text, value.number);
    }

    static bool number(const std::u16string& text, DWORD& number)
    {
        const bool hex = text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
        const unsigned base = hex ? 16 : 10;
        uint64_t value = 0;
        if (text.empty() || (hex && text.size() == 2))
            return false;
        for (size_t i = hex ? 2 : 0; i < text.size(); ++i)
        {
            const char16_t c = text[i];
            unsigned digit = 0;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (hex && c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else if (hex && c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            else
                return false;
            value = value * base + digit;
            if (value > 0xFFFFFFFFu)
                return false;
        }
        number = static_cast<DWORD>(value);
        return true;
    }

    std::vector<Token> m_tokens;
    size_t m_next = 0;
};

LONG setValue(HKEY key, const std::u16string& name, const ScriptValue& value)
{
    return value.type == REG_DWORD ? os::setRegistryDword(key, name.c_str(), value.number)
                                   : os::setRegistryString(key, name.c_str(), value.text);
}

LONG writeKey(HKEY parent, const ScriptKey& key)
{
    if (key.mode != ScriptKey::Mode::write)
    {
        const LONG removed = RegDeleteKeyW(parent, key.name.c_str());
        if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
            return removed;
        if (key.mode == ScriptKey::Mode::remove)
            return ERROR_SUCCESS;
    }
    HKEY opened = nullptr;
    LONG result = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &opened, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    if (key.defaultValue)
        result = setValue(opened, u"", *key.defaultValue);
    for (size_t i = 0; result == ERROR_SUCCESS && i < key.values.size(); ++i)
        result = setValue(opened, key.values[i].name, key.values[i]);
    for (size_t i = 0; result == ERROR_SUCCESS && i < key.subkeys.size(); ++i)
        result = writeKey(opened, key.subkeys[i]);
    RegCloseKey(opened);
    return result;
}
} // namespace

namespace os
{
HRESULT registerScript(std::u16string_view script, std::initializer_list<ScriptReplacement> replacements)
{
    std::vector<Token> tokens;
    std::vector<ScriptRoot> roots;
    if (!tokenize(script, replacements, tokens) || !Parser(std::move(tokens)).script(roots))
        return E_INVALIDARG;
    for (const ScriptRoot& root : roots)
        for (const ScriptKey& key : root.keys)
            if (const LONG result = writeKey(root.root, key); result != ERROR_SUCCESS)
                return HRESULT_FROM_WIN32(result);
    return S_OK;
}
} // namespace os
