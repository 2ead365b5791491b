// Building numbered log messages: each conversion of the format ("%d", "%x",
// "%f", "%s") renders one argument.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "interpreter_channel.h"

using NcLogArg = std::variant<long long, double, std::string>;

NcLogMessage makeNcLogMessage(std::uint32_t category, std::uint32_t number, const char* format,
                              const std::vector<NcLogArg>& args);
