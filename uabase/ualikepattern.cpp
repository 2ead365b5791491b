#include "ualikepattern.h"
#include "utf8walk.h"

#include <cstring>

namespace
{
bool sameClass(char a, char b)
{
    auto inRange = [](char c, char lo, char hi) { return c >= lo && c <= hi; };
    return (inRange(a, '0', '9') && inRange(b, '0', '9')) || (inRange(a, 'a', 'z') && inRange(b, 'a', 'z')) ||
           (inRange(a, 'A', 'Z') && inRange(b, 'A', 'Z'));
}

// Byte length of the last character of a set text.
std::size_t lastCharacterLength(const std::string& text)
{
    std::size_t pos = 0;
    std::size_t last = 0;
    while (pos < text.size())
    {
        last = Utf8Walk::step(text.data() + pos, text.size() - pos);
        pos += last;
    }
    return last;
}

bool setContains(const std::string& set, const char* ch, std::size_t len)
{
    std::size_t pos = 0;
    while (pos < set.size())
    {
        std::size_t step = Utf8Walk::step(set.data() + pos, set.size() - pos);
        if (step == len && std::memcmp(set.data() + pos, ch, len) == 0)
            return true;
        pos += step;
    }
    return false;
}
} // namespace

UaLikePattern::UaLikePattern(const char* pattern, std::size_t size)
{
    m_empty = size == 0;
    compile(pattern, size);
}

void UaLikePattern::compile(const char* pattern, std::size_t size)
{
    bool escape = false;
    bool setOpen = false;
    bool negated = false;
    std::string literal;
    std::string set;
    auto current = [&]() -> std::string& { return setOpen ? set : literal; };
    auto closeLiteral = [&]()
    {
        if (!literal.empty())
            m_elements.push_back({Literal, literal});
        literal.clear();
    };

    std::size_t pos = 0;
    while (pos < size)
    {
        std::size_t len = Utf8Walk::step(pattern + pos, size - pos);
        const char* ch = pattern + pos;
        pos += len;
        char c = len == 1 ? ch[0] : 0;
        bool wasEscaped = escape;
        escape = false;

        if (len == 1 && c == '\\')
        {
            if (wasEscaped)
                current() += '\\';
            else
                escape = true;
        }
        else if (len == 1 && (c == '%' || c == '_'))
        {
            if (wasEscaped || setOpen)
            {
                current() += c;
            }
            else
            {
                closeLiteral();
                m_elements.push_back({c == '%' ? AnySequence : AnyCharacter, std::string()});
            }
        }
        else if (len == 1 && c == '[')
        {
            if (wasEscaped)
            {
                current() += '[';
                continue;
            }
            if (setOpen)
                return;
            closeLiteral();
            setOpen = true;
            negated = false;
            set.clear();
            if (pos < size && pattern[pos] == '^')
            {
                negated = true;
                ++pos;
                if (pos >= size)
                    return;
            }
        }
        else if (len == 1 && c == ']')
        {
            if (wasEscaped)
            {
                current() += ']';
                continue;
            }
            if (!setOpen || set.empty())
                return;
            m_elements.push_back({negated ? NegatedCharacterSet : CharacterSet, set});
            setOpen = false;
        }
        else if (len == 1 && c == '-')
        {
            if (wasEscaped || !setOpen || set.empty())
            {
                current() += '-';
                continue;
            }
            if (pos >= size || lastCharacterLength(set) != 1)
                return;
            char first = set.back();
            std::size_t nextLen = Utf8Walk::step(pattern + pos, size - pos);
            char second = pattern[pos];
            if (nextLen != 1 || !sameClass(first, second) || first >= second)
                return;
            for (char r = static_cast<char>(first + 1); r <= second; ++r)
                set += r;
            pos += 1;
        }
        else
        {
            if (wasEscaped)
                return;
            current().append(ch, len);
        }
    }
    if (escape || setOpen)
        return;
    closeLiteral();
    m_valid = true;
}

bool UaLikePattern::matches(const char* text, std::size_t size) const
{
    if (!m_valid)
        return false;
    if (m_empty)
        return size == 0;

    const std::size_t count = m_elements.size();
    std::size_t pos = 0;
    std::size_t e = 0;
    bool haveStar = false;
    std::size_t starElement = 0;
    std::size_t restart = 0;

    for (;;)
    {
        bool ok = true;
        if (e == count)
        {
            if (pos == size)
                return true;
            ok = false;
        }
        else
        {
            const Element& el = m_elements[e];
            switch (el.kind)
            {
            case AnySequence:
                if (e + 1 == count)
                    return true;
                haveStar = true;
                starElement = e;
                restart = pos;
                ++e;
                continue;
            case Literal:
                ok = size - pos >= el.text.size() &&
                     std::memcmp(text + pos, el.text.data(), el.text.size()) == 0;
                if (ok)
                    pos += el.text.size();
                break;
            case AnyCharacter:
                ok = pos < size;
                if (ok)
                    pos += Utf8Walk::step(text + pos, size - pos);
                break;
            case CharacterSet:
            case NegatedCharacterSet:
                ok = pos < size;
                if (ok)
                {
                    std::size_t len = Utf8Walk::step(text + pos, size - pos);
                    bool inSet = setContains(el.text, text + pos, len);
                    ok = (el.kind == CharacterSet) == inSet;
                    pos += len;
                }
                break;
            }
            if (ok)
            {
                ++e;
                continue;
            }
        }
        // Mismatch: retry after the remembered any-sequence, one character further on.
        if (!haveStar || restart >= size)
            return false;
        restart += Utf8Walk::step(text + restart, size - restart);
        pos = restart;
        e = starElement + 1;
    }
}
