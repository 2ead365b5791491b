#ifndef UABASE_UALIKEPATTERN_H
#define UABASE_UALIKEPATTERN_H

#include <cstddef>
#include <string>
#include <vector>

// A compiled pattern of the Like filter operator.
class UaLikePattern
{
public:
    enum Kind
    {
        Literal = 0,
        AnySequence = 1,
        AnyCharacter = 2,
        CharacterSet = 3,
        NegatedCharacterSet = 4
    };
    struct Element
    {
        Kind kind;
        std::string text;
    };

    UaLikePattern(const char* pattern, std::size_t size);

    bool isValid() const { return m_valid; }
    const std::vector<Element>& elements() const { return m_elements; }
    bool matches(const char* text, std::size_t size) const;

private:
    void compile(const char* pattern, std::size_t size);
    bool m_valid = false;
    bool m_empty = true;
    std::vector<Element> m_elements;
};

#endif
