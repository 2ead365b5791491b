#include "description.h"

#include <description_text.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace gktsim
{

namespace
{

struct TypeName
{
    const char* name;
    uint16_t type;
};

constexpr TypeName kTypeNames[] = {
    {"BOOL", 1},    {"INT8", 2},    {"INT16", 3},   {"INT32", 4},   {"UINT8", 5},
    {"UINT16", 6},  {"UINT32", 7},  {"REAL32", 8},  {"VSTRING", 9}, {"OSTRING", 10},
    {"REAL64", 11}, {"UINT24", 22}, {"UINT40", 24}, {"UINT48", 25}, {"UINT56", 26},
    {"UINT64", 27}, {"DWORD", 40},  {"BIT1", 48},   {"BIT2", 49},   {"BIT3", 50},
    {"BIT4", 51},   {"BIT5", 52},   {"BIT6", 53},   {"BIT7", 54},   {"BIT8", 55},
};

using simdesc::parseUnsigned;
using simdesc::Token;

bool parseReal(const std::string& text, double& value)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && errno == 0 && end && *end == '\0';
}

bool parseType(const std::string& text, uint16_t& type)
{
    for (const auto& known : kTypeNames)
        if (text == known.name)
        {
            type = known.type;
            return true;
        }
    uint64_t number = 0;
    if (!parseUnsigned(text, number) || number > 0xFFFF || gktTypeSize(static_cast<uint16_t>(number)) == 0)
        return false;
    type = static_cast<uint16_t>(number);
    return true;
}

bool parseObjectCode(const std::string& text, uint8_t& code)
{
    if (text == "VAR")
        code = 7;
    else if (text == "ARRAY")
        code = 8;
    else if (text == "RECORD")
        code = 9;
    else
    {
        uint64_t number = 0;
        if (!parseUnsigned(text, number) || number > 0xFF)
            return false;
        code = static_cast<uint8_t>(number);
    }
    return true;
}

// "wave(a,b,c)" or "ramp(a,b)".
bool parseLive(const std::string& text, LiveValue& live)
{
    const size_t open = text.find('(');
    if (open == std::string::npos || text.back() != ')')
        return false;
    const std::string shape = text.substr(0, open);
    std::vector<double> numbers;
    std::stringstream args(text.substr(open + 1, text.size() - open - 2));
    std::string arg;
    while (std::getline(args, arg, ','))
    {
        double number = 0;
        if (!parseReal(arg, number))
            return false;
        numbers.push_back(number);
    }
    if (shape == "wave" && numbers.size() == 3 && numbers[2] > 0)
        live = {LiveValue::Shape::wave, numbers[0], numbers[1], numbers[2]};
    else if (shape == "ramp" && numbers.size() == 2)
        live = {LiveValue::Shape::ramp, numbers[0], numbers[1], 1};
    else
        return false;
    return true;
}

bool parseValue(const Token& token, Entry& entry, std::string& error)
{
    const std::string& text = token.text;
    const uint32_t size = gktTypeSize(entry.type);
    if (gktTypeIsString(entry.type))
    {
        if (!token.quoted || text.size() >= size || text.find('\0') != std::string::npos)
        {
            error = "a text value in quotes, shorter than " + std::to_string(size) + " bytes, is expected";
            return false;
        }
        entry.value.assign(text.begin(), text.end());
        entry.value.push_back(0);
        return true;
    }
    if (token.quoted)
    {
        // A one-byte character type may take a one-letter text.
        if (size == 1 && text.size() == 1)
        {
            entry.value.assign(1, static_cast<uint8_t>(text[0]));
            return true;
        }
        error = "a number is expected";
        return false;
    }
    if (text.rfind("hex:", 0) == 0)
    {
        if (!simdesc::parseHexBytes(text, entry.value) || entry.value.size() != size)
        {
            error = "hex: needs exactly " + std::to_string(size) + " bytes";
            return false;
        }
        return true;
    }
    if (text == "true" || text == "false")
        return encodeInteger(entry.type, false, text == "true" ? 1 : 0, entry.value) ||
               (error = "the type takes no truth value", false);
    if (text.find('(') != std::string::npos)
    {
        LiveValue live;
        if (!parseLive(text, live))
        {
            error = "bad live value (wave(low,high,period) or ramp(start,per_second))";
            return false;
        }
        entry.live = live;
        if (!encodeReal(entry.type, live.a, entry.value))
        {
            error = "live value does not fit the type";
            return false;
        }
        return true;
    }
    const bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (parseUnsigned(negative ? text.substr(1) : text, magnitude))
    {
        if (encodeInteger(entry.type, negative, magnitude, entry.value))
            return true;
        error = "value out of range for the type";
        return false;
    }
    double real = 0;
    if (parseReal(text, real) && (entry.type == 8 || entry.type == 11) &&
        encodeReal(entry.type, real, entry.value))
        return true;
    error = "bad value '" + text + "'";
    return false;
}

bool parseEntry(const std::vector<Token>& tokens, Entry& entry, std::string& error)
{
    if (tokens.size() != 5 || !tokens[4].quoted)
    {
        error = "entry lines are: subindex type access value \"name\"";
        return false;
    }
    uint64_t subindex = 0;
    if (!parseUnsigned(tokens[0].text, subindex) || subindex > 0xFF)
    {
        error = "bad subindex";
        return false;
    }
    entry.subindex = static_cast<uint8_t>(subindex);
    if (!parseType(tokens[1].text, entry.type))
    {
        error = "unknown type '" + tokens[1].text + "'";
        return false;
    }
    const std::string& access = tokens[2].text;
    if (access != "ro" && access != "rw" && access != "wo")
    {
        error = "access is ro, rw or wo";
        return false;
    }
    entry.readable = access != "wo";
    entry.writable = access != "ro";
    entry.name = tokens[4].text;
    if (!parseValue(tokens[3], entry, error))
        return false;
    if (entry.live && entry.writable)
    {
        error = "a live value is read-only";
        return false;
    }
    return true;
}

} // namespace

bool parseDescription(const std::string& text, Dictionary& dictionary, std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    std::optional<Object> current;
    auto fail = [&](const std::string& message)
    {
        error = "line " + std::to_string(lineNumber) + ": " + message;
        return false;
    };
    auto finish = [&]()
    {
        if (!current)
            return true;
        Object object = std::move(*current);
        current.reset();
        if (object.code == 7 && !object.entries.empty())
            object.dataType = object.entries[0].type;
        else if (object.code == 8 && object.entries.size() > 1)
            object.dataType = object.entries[1].type;
        const uint16_t index = object.index;
        if (!dictionary.addObject(std::move(object)))
        {
            error = "object " + std::to_string(index) + " is defined twice";
            return false;
        }
        return true;
    };
    while (std::getline(lines, line))
    {
        ++lineNumber;
        std::vector<Token> tokens;
        std::string tokenError;
        if (!simdesc::tokenize(line, tokens, tokenError))
            return fail(tokenError);
        if (tokens.empty())
            continue;
        if (!tokens[0].quoted && tokens[0].text == "object")
        {
            if (!finish())
                return fail(error);
            uint64_t index = 0;
            Object object;
            if (tokens.size() != 4 || !tokens[3].quoted)
                return fail("object lines are: object index kind \"name\"");
            if (!parseUnsigned(tokens[1].text, index) || index > 0xFFFF)
                return fail("bad object index");
            if (!parseObjectCode(tokens[2].text, object.code))
                return fail("object kind is VAR, ARRAY, RECORD or a number");
            object.index = static_cast<uint16_t>(index);
            object.name = tokens[3].text;
            current = std::move(object);
            continue;
        }
        if (!current)
            return fail("entry before the first object");
        Entry entry;
        std::string entryError;
        if (!parseEntry(tokens, entry, entryError))
            return fail(entryError);
        if (entry.subindex != current->entries.size())
            return fail("subindices must follow 0, 1, 2, ... in order");
        current->entries.push_back(std::move(entry));
    }
    ++lineNumber;
    return finish() || fail(error);
}

} // namespace gktsim
