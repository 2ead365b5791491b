#include "nc_log.h"

#include <cstdio>

namespace
{
std::string render(char conversion, const NcLogArg& arg)
{
    char text[64];
    if (const auto* i = std::get_if<long long>(&arg))
    {
        if (conversion == 'x')
            std::snprintf(text, sizeof(text), "%llx", static_cast<unsigned long long>(*i));
        else if (conversion == 'f')
            std::snprintf(text, sizeof(text), "%f", static_cast<double>(*i));
        else
            std::snprintf(text, sizeof(text), "%lld", *i);
        return text;
    }
    if (const auto* d = std::get_if<double>(&arg))
    {
        if (conversion == 'd' || conversion == 'x')
            std::snprintf(text, sizeof(text), "%lld", static_cast<long long>(*d));
        else
            std::snprintf(text, sizeof(text), "%f", *d);
        return text;
    }
    return std::get<std::string>(arg);
}
} // namespace

NcLogMessage makeNcLogMessage(std::uint32_t category, std::uint32_t number, const char* format,
                              const std::vector<NcLogArg>& args)
{
    NcLogMessage message;
    message.category = category;
    message.number = number;
    message.format = format ? format : "";
    std::size_t next = 0;
    for (const char* p = message.format.c_str(); *p; ++p)
    {
        if (*p != '%' || p[1] == '\0')
            continue;
        ++p;
        if (next < args.size())
            message.args.push_back(render(*p, args[next++]));
    }
    return message;
}
