#include "xml_schema.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace setupdesk::xml
{
namespace
{
constexpr size_t kNumberLimit = 40;
constexpr size_t kDoubleLimit = 80;
constexpr size_t kChoiceLimit = 80;

size_t kindLimit(int kind)
{
    switch (kind)
    {
    case kValueInt32:
    case kValueUInt32:
    case kValueFloat:
    case kValueBool:
        return kNumberLimit;
    case kValueDouble:
        return kDoubleLimit;
    case kValueEnum:
        return kChoiceLimit;
    default:
        return CXmlStream::kScratchSize - 1;
    }
}

size_t textLimit(const ElementDescriptor* descriptor)
{
    if (!descriptor)
        return CXmlStream::kScratchSize - 1;
    const size_t own = kindLimit(descriptor->kind);
    return descriptor->limit ? std::min(descriptor->limit, own) : own;
}

std::string trimmed(const std::string& text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t first = 0;
    size_t last = text.size();
    while (first < last && blank(text[first]))
        ++first;
    while (last > first && blank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

bool equalsNoCase(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b,
                                                    [](char x, char y) {
                                                        return std::tolower(static_cast<unsigned char>(x)) ==
                                                               std::tolower(static_cast<unsigned char>(y));
                                                    });
}

// Whole-text conversions; false for text that is no such number.
bool toInteger(const std::string& text, bool isSigned, long long& value)
{
    if (text.empty() || (!isSigned && text[0] == '-'))
        return false;
    errno = 0;
    char* end = nullptr;
    if (isSigned)
    {
        value = std::strtoll(text.c_str(), &end, 10);
        if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
            return false;
    }
    else
    {
        const unsigned long long number = std::strtoull(text.c_str(), &end, 10);
        if (number > std::numeric_limits<uint32_t>::max())
            return false;
        value = static_cast<long long>(number);
    }
    return errno == 0 && end && *end == '\0';
}

bool toReal(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

void storeUnsigned(void* where, size_t size, uint32_t value)
{
    if (size == 1)
    {
        const auto narrow = static_cast<uint8_t>(value);
        std::memcpy(where, &narrow, 1);
    }
    else if (size == 2)
    {
        const auto narrow = static_cast<uint16_t>(value);
        std::memcpy(where, &narrow, 2);
    }
    else
    {
        std::memcpy(where, &value, 4);
    }
}
} // namespace

ElementDescriptor nestedElement(const char* name, std::span<const ElementDescriptor> children)
{
    ElementDescriptor descriptor;
    descriptor.name = name;
    descriptor.kind = kValueNested;
    descriptor.nested = children;
    return descriptor;
}

ElementDescriptor handlerElement(int token, const char* name, ElementHandler handler, size_t limit)
{
    ElementDescriptor descriptor;
    descriptor.token = token;
    descriptor.name = name;
    descriptor.kind = kValueHandler;
    descriptor.handler = handler;
    descriptor.limit = limit;
    return descriptor;
}

ElementDescriptor valueElement(const char* name, int kind, size_t offset, size_t size)
{
    ElementDescriptor descriptor;
    descriptor.name = name;
    descriptor.kind = kind;
    descriptor.offset = offset;
    descriptor.size = size;
    return descriptor;
}

const ElementDescriptor* findDescriptor(std::span<const ElementDescriptor> table, int token,
                                        const std::string& name)
{
    for (const auto& descriptor : table)
    {
        if (descriptor.kind == kValueNested && !descriptor.name)
        {
            if (const auto* inner = findDescriptor(descriptor.nested, token, name))
                return inner;
            continue;
        }
        if (descriptor.token != token)
            continue;
        if (token != kTokenStartTag && token != kTokenPiStart)
            return &descriptor; // comments, CDATA and document types have no name
        if (descriptor.name && name == descriptor.name)
            return &descriptor;
    }
    return nullptr;
}

CXmlParser::CXmlParser(CXmlStream& stream, std::span<const ElementDescriptor> schema, void* record)
    : m_stream(stream), m_schema(schema), m_record(record)
{
}

std::span<const ElementDescriptor> CXmlParser::currentTable() const
{
    return m_current < 0 ? m_schema : m_slots[static_cast<size_t>(m_current)].children;
}

int CXmlParser::parse()
{
    int stop = kStopNone;
    while (stop == kStopNone && !m_finished)
    {
        const int token = m_stream.nextToken();
        switch (token)
        {
        case kTokenEnd:
            // Input that ends inside an element is a document cut off.
            return m_current < 0 ? kStopNone : kStopMalformed;
        case kTokenStartTag:
            stop = startElement();
            break;
        case kTokenAttribute:
        case kTokenTagClose:
            break;
        case kTokenEmptyEnd:
            stop = endElement(false);
            break;
        case kTokenEndTag:
            stop = endElement(true);
            break;
        case kTokenText:
        case kTokenNewline:
        case kTokenBlanks:
            stop = addText();
            break;
        case kTokenPiStart:
            stop = equalsNoCase(m_stream.name(), "xml") ? header() : special(token, "?>");
            break;
        case kTokenCommentStart:
            stop = special(token, "-->");
            break;
        case kTokenCdataStart:
            stop = special(token, "]]>");
            break;
        case kTokenDoctype:
            stop = special(token, ">");
            m_finished = true;
            if (stop == kStopNone && !findDescriptor(currentTable(), token, {}))
                stop = kStopMalformed;
            break;
        default:
            stop = m_stream.overflowed() ? kStopTooLong : kStopMalformed;
            break;
        }
    }
    return stop;
}

int CXmlParser::startElement()
{
    if (m_used >= static_cast<int>(kNodeSlots))
        return kStopTooDeep;
    const auto* descriptor = findDescriptor(currentTable(), kTokenStartTag, m_stream.name());
    Node& node = m_slots[static_cast<size_t>(m_used)];
    node.descriptor = descriptor;
    node.children = descriptor && descriptor->kind == kValueNested ? descriptor->nested
                                                                   : std::span<const ElementDescriptor>{};
    node.name = m_stream.name();
    node.text.clear();
    node.limit = textLimit(descriptor);
    node.parent = m_current;
    m_current = m_used++;
    return kStopNone;
}

int CXmlParser::endElement(bool checkName)
{
    if (m_current < 0)
        return kStopMalformed;
    Node& node = m_slots[static_cast<size_t>(m_current)];
    if (checkName && node.name != m_stream.name())
        return kStopMalformed;
    int stop = kStopNone;
    if (node.descriptor && node.descriptor->kind != kValueNested && node.descriptor->kind != kValueNone)
        stop = store(*node.descriptor, node.text);
    m_current = node.parent;
    --m_used;
    if (m_current < 0 && stop == kStopNone)
        m_finished = true; // the outermost element ends the document
    return stop;
}

int CXmlParser::addText()
{
    if (m_current < 0)
        return kStopNone; // blanks between the declaration and the root
    Node& node = m_slots[static_cast<size_t>(m_current)];
    if (!node.descriptor || node.descriptor->kind == kValueNested || node.descriptor->kind == kValueNone)
        return kStopNone;
    const std::string piece = m_stream.text();
    if (node.text.size() + piece.size() > node.limit)
        return kStopTooLong;
    node.text += piece;
    return kStopNone;
}

int CXmlParser::header()
{
    for (;;)
    {
        const int token = m_stream.nextToken();
        if (token == kTokenAttribute || token == kTokenBlanks || token == kTokenNewline)
            continue;
        if (token == kTokenPiEnd)
            return kStopNone;
        return m_stream.overflowed() ? kStopTooLong : kStopMalformed;
    }
}

int CXmlParser::special(int token, const char* endMarker)
{
    const auto* descriptor = findDescriptor(currentTable(), token, m_stream.name());
    std::string content;
    if (!m_stream.skipPast(endMarker, descriptor && descriptor->handler ? &content : nullptr))
        return m_stream.overflowed() ? kStopTooLong : kStopMalformed;
    if (descriptor && descriptor->handler)
        return descriptor->handler(content, m_record);
    return kStopNone;
}

int CXmlParser::store(const ElementDescriptor& descriptor, const std::string& text)
{
    if (descriptor.kind == kValueHandler)
        return descriptor.handler ? descriptor.handler(text, m_record) : kStopNone;
    if (!descriptor.target && !m_record)
        return kStopNone;
    void* where = descriptor.target ? descriptor.target : static_cast<char*>(m_record) + descriptor.offset;
    const std::string value = descriptor.kind == kValueText ? text : trimmed(text);
    const bool bounded = descriptor.minimum != 0 || descriptor.maximum != 0;
    switch (descriptor.kind)
    {
    case kValueInt32:
    case kValueUInt32:
    {
        long long number = 0;
        if (!toInteger(value, descriptor.kind == kValueInt32, number))
            return kStopBadValue;
        if (bounded)
            number = std::min(std::max(number, static_cast<long long>(descriptor.minimum)),
                              static_cast<long long>(descriptor.maximum));
        if (descriptor.kind == kValueInt32)
        {
            const auto stored = static_cast<int32_t>(number);
            std::memcpy(where, &stored, sizeof stored);
        }
        else
        {
            const auto stored = static_cast<uint32_t>(number);
            std::memcpy(where, &stored, sizeof stored);
        }
        return kStopNone;
    }
    case kValueFloat:
    case kValueDouble:
    {
        double number = 0;
        if (!toReal(value, number))
            return kStopBadValue;
        if (descriptor.kind == kValueFloat)
        {
            if (bounded)
                number = std::min(std::max(number, descriptor.minimum), descriptor.maximum);
            if (std::fabs(number) > std::numeric_limits<float>::max())
                return kStopBadValue;
            const auto stored = static_cast<float>(number);
            std::memcpy(where, &stored, sizeof stored);
            return kStopNone;
        }
        if (descriptor.minimum != 0 && number < descriptor.minimum)
            number = descriptor.minimum;
        if (descriptor.maximum != 0 && number > descriptor.maximum)
            number = descriptor.maximum;
        std::memcpy(where, &number, sizeof number);
        return kStopNone;
    }
    case kValueBool:
        storeUnsigned(where, descriptor.size, value == "True" || value == "true" ? 1 : 0);
        return kStopNone;
    case kValueText:
    {
        if (descriptor.size == 0)
            return kStopNone;
        const size_t length = std::min(value.size(), descriptor.size - 1);
        std::memcpy(where, value.data(), length);
        static_cast<char*>(where)[length] = '\0';
        return kStopNone;
    }
    case kValueEnum:
        for (size_t i = 0; i < descriptor.choices.size(); ++i)
        {
            if (descriptor.choices[i] && value == descriptor.choices[i])
            {
                storeUnsigned(where, descriptor.size, static_cast<uint32_t>(i));
                return kStopNone;
            }
        }
        return kStopBadValue;
    default:
        return kStopNone;
    }
}
} // namespace setupdesk::xml
