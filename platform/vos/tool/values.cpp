#include "values.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vostool
{

namespace
{

struct TypeInfo
{
    const char* name;
    size_t size;
    bool isSigned;
    bool isFloat;
};

constexpr TypeInfo TYPES[] = {
    {"i8", 1, true, false},  {"u8", 1, false, false},  {"i16", 2, true, false}, {"u16", 2, false, false},
    {"i32", 4, true, false}, {"u32", 4, false, false}, {"i64", 8, true, false}, {"u64", 8, false, false},
    {"f32", 4, false, true}, {"f64", 8, false, true},
};

const TypeInfo* FindType(const std::string& name)
{
    for (const auto& t : TYPES)
        if (name == t.name)
            return &t;
    return nullptr;
}

void Append(std::vector<uint8_t>& out, const void* p, size_t n)
{
    const uint8_t* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& out)
{
    if (text.empty() || text.size() % 2)
        return false;
    for (size_t i = 0; i < text.size(); i += 2)
    {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

bool ParseNumber(const TypeInfo& t, const std::string& text, std::vector<uint8_t>& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    if (t.isFloat)
    {
        double v = std::strtod(text.c_str(), &end);
        if (*end || errno)
            return false;
        if (t.size == 4)
        {
            float f = static_cast<float>(v);
            Append(out, &f, 4);
        }
        else
            Append(out, &v, 8);
        return true;
    }
    const unsigned bits = static_cast<unsigned>(t.size * 8);
    if (t.isSigned)
    {
        long long v = std::strtoll(text.c_str(), &end, 0);
        if (*end || errno)
            return false;
        if (bits < 64)
        {
            long long lim = 1LL << (bits - 1);
            if (v < -lim || v >= lim)
                return false;
        }
        Append(out, &v, t.size); // little-endian: the low bytes come first
        return true;
    }
    if (text[0] == '-')
        return false;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end || errno || (bits < 64 && v >> bits))
        return false;
    Append(out, &v, t.size);
    return true;
}

} // namespace

std::optional<uint32_t> ParseU32(const std::string& text)
{
    if (text.empty() || text[0] == '-')
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end || errno || v > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<uint32_t>(v);
}

std::optional<std::vector<uint8_t>> ParseValues(const std::vector<std::string>& items, std::string& error)
{
    std::vector<uint8_t> out;
    for (const auto& item : items)
    {
        auto colon = item.find(':');
        std::string kind = colon == std::string::npos ? "" : item.substr(0, colon);
        std::string text = colon == std::string::npos ? item : item.substr(colon + 1);
        bool ok = false;
        if (kind == "hex")
            ok = ParseHex(text, out);
        else if (kind == "str")
        {
            out.insert(out.end(), text.begin(), text.end());
            out.push_back(0);
            ok = true;
        }
        else if (const TypeInfo* t = FindType(kind))
            ok = ParseNumber(*t, text, out);
        if (!ok)
        {
            error = "bad value: " + item;
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> FormatValues(const std::vector<uint8_t>& bytes, const std::string& type)
{
    std::string s;
    char buf[64];
    if (type.empty() || type == "hex")
    {
        for (size_t i = 0; i < bytes.size(); ++i)
        {
            std::snprintf(buf, sizeof buf, i ? " %02x" : "%02x", bytes[i]);
            s += buf;
        }
        return s + "\n";
    }
    if (type == "str")
    {
        size_t n = 0;
        while (n < bytes.size() && bytes[n])
            ++n;
        return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)) + "\n";
    }
    const TypeInfo* t = FindType(type);
    if (!t || bytes.size() % t->size)
        return std::nullopt;
    for (size_t i = 0; i < bytes.size(); i += t->size)
    {
        const uint8_t* p = bytes.data() + i;
        if (t->isFloat && t->size == 4)
        {
            float f;
            std::memcpy(&f, p, 4);
            std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(f));
        }
        else if (t->isFloat)
        {
            double d;
            std::memcpy(&d, p, 8);
            std::snprintf(buf, sizeof buf, "%.17g", d);
        }
        else
        {
            uint64_t u = 0;
            std::memcpy(&u, p, t->size);
            if (t->isSigned)
            {
                unsigned shift = static_cast<unsigned>(64 - t->size * 8);
                int64_t v = static_cast<int64_t>(u << shift) >> shift; // sign-extend
                std::snprintf(buf, sizeof buf, "%" PRId64, v);
            }
            else
                std::snprintf(buf, sizeof buf, "%" PRIu64, u);
        }
        s += buf;
        s += "\n";
    }
    return s;
}

} // namespace vostool
