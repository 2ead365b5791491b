#include "description.h"

#include <description_text.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace boardsim
{

namespace
{

using simdesc::Token;
using Arguments = std::vector<Token>;

// Reads argument `i` as an unsigned number of at most `maximum`.
bool number(const Arguments& args, size_t i, uint64_t maximum, uint64_t& value, std::string& error)
{
    if (i >= args.size() || args[i].quoted || !simdesc::parseUnsigned(args[i].text, value) || value > maximum)
    {
        error = "argument " + std::to_string(i + 1) + " must be a number up to " + std::to_string(maximum);
        return false;
    }
    return true;
}

template <class T> bool number32(const Arguments& args, size_t i, T& value, std::string& error)
{
    uint64_t wide = 0;
    if (!number(args, i, 0xFFFFFFFFu, wide, error))
        return false;
    value = static_cast<T>(wide);
    return true;
}

bool bytes(const Arguments& args, size_t i, std::vector<uint8_t>& value, std::string& error)
{
    if (i >= args.size() || args[i].quoted || !simdesc::parseHexBytes(args[i].text, value) || value.empty())
    {
        error = "argument " + std::to_string(i + 1) + " must be hex:<bytes>";
        return false;
    }
    return true;
}

bool count(const Arguments& args, size_t expected, std::string& error)
{
    if (args.size() == expected)
        return true;
    error = "takes " + std::to_string(expected) + " arguments";
    return false;
}

bool parseVersion(const Arguments& args, BoardDescription& board, std::string& error)
{
    unsigned major = 0, minor = 0, build = 0;
    char tail = 0;
    if (!count(args, 1, error) ||
        std::sscanf(args[0].text.c_str(), "%u.%u.%u%c", &major, &minor, &build, &tail) != 3 || major > 0xFF ||
        minor > 0xFF || build > 0xFFFF)
    {
        error = "the version is <major>.<minor>.<build>";
        return false;
    }
    board.version = packVersion(major, minor, build);
    return true;
}

bool parseSignature(const Arguments& args, BoardDescription& board, std::string& error)
{
    SignaturePlacement placement;
    if (!count(args, 2, error) || !number32(args, 0, placement.position, error) ||
        !number32(args, 1, placement.entryOffset, error))
        return false;
    if (placement.position > kImageSize - 12)
    {
        error = "the 12-byte header must lie inside the image";
        return false;
    }
    board.signatures.push_back(placement);
    return true;
}

bool parseMemory(const Arguments& args, BoardDescription& board, std::string& error)
{
    MemoryPreset preset;
    if (!count(args, 2, error) || !number32(args, 0, preset.address, error) ||
        !bytes(args, 1, preset.bytes, error))
        return false;
    if (uint64_t(preset.address) + preset.bytes.size() > kImageBase)
    {
        error = "memory presets lie below the firmware image";
        return false;
    }
    board.memory.push_back(std::move(preset));
    return true;
}

bool selector(const Token& token, uint32_t& value, std::string& error)
{
    uint64_t number = 0;
    if (token.text == "*")
        value = kAny;
    else if (!token.quoted && simdesc::parseUnsigned(token.text, number) && number < kAny)
        value = static_cast<uint32_t>(number);
    else
    {
        error = "a group or offset is a number or *";
        return false;
    }
    return true;
}

bool parseFault(const Arguments& args, BoardDescription& board, std::string& error)
{
    static const std::pair<const char*, FaultKind> kKinds[] = {
        {"busy", FaultKind::busy},
        {"exception", FaultKind::exception},
        {"answer-size", FaultKind::answerSize},
        {"status", FaultKind::status},
        {"map-failure", FaultKind::mapFailure},
    };
    if (args.size() != 4 && args.size() != 5)
    {
        error = "fault <kind> <group|*> <offset|*> <count|always> [<value>]";
        return false;
    }
    FaultRequest fault{};
    bool known = false;
    for (const auto& [name, kind] : kKinds)
        if (args[0].text == name)
        {
            fault.kind = static_cast<uint32_t>(kind);
            known = true;
        }
    if (!known)
    {
        error = "unknown fault kind '" + args[0].text + "'";
        return false;
    }
    if (!selector(args[1], fault.group, error) || !selector(args[2], fault.offset, error))
        return false;
    if (args[3].text == "always")
        fault.count = kAlways;
    else if (!number32(args, 3, fault.count, error))
        return false;
    if (args.size() == 5 && !number32(args, 4, fault.value, error))
        return false;
    board.faults.push_back(fault);
    return true;
}

bool parseCpuid(const Arguments& args, BoardDescription& board, std::string& error)
{
    uint32_t leaf = 0;
    std::array<uint32_t, 4> registers{};
    if (!count(args, 5, error) || !number32(args, 0, leaf, error))
        return false;
    for (size_t i = 0; i < 4; ++i)
        if (!number32(args, i + 1, registers[i], error))
            return false;
    board.cpuid[leaf] = registers;
    return true;
}

bool parseBrand(const Arguments& args, BoardDescription& board, std::string& error)
{
    if (!count(args, 1, error) || !args[0].quoted || args[0].text.size() > 48)
    {
        error = "brand takes a text in quotes of at most 48 bytes";
        return false;
    }
    char text[48] = {};
    std::memcpy(text, args[0].text.data(), args[0].text.size());
    for (uint32_t leaf = 0; leaf < 3; ++leaf)
    {
        std::array<uint32_t, 4> registers{};
        std::memcpy(registers.data(), text + 16 * leaf, 16);
        board.cpuid[0x80000002 + leaf] = registers;
    }
    // The extended leaves reach the brand, unless a cpuid line says otherwise.
    board.cpuid.try_emplace(0x80000000u, std::array<uint32_t, 4>{0x80000004u, 0, 0, 0});
    return true;
}

bool parseMsr(const Arguments& args, BoardDescription& board, std::string& error)
{
    uint32_t index = 0;
    uint64_t value = 0;
    if (!count(args, 2, error) || !number32(args, 0, index, error) ||
        !number(args, 1, UINT64_MAX, value, error))
        return false;
    board.msrs[index] = value;
    return true;
}

bool parsePci(const Arguments& args, BoardDescription& board, std::string& error)
{
    uint64_t bus = 0, device = 0, function = 0;
    std::vector<uint8_t> space;
    if (!count(args, 4, error) || !number(args, 0, 0xFF, bus, error) || !number(args, 1, 31, device, error) ||
        !number(args, 2, 7, function, error) || !bytes(args, 3, space, error))
        return false;
    if (space.size() > 256)
    {
        error = "a configuration space has at most 256 bytes";
        return false;
    }
    space.resize(256, 0);
    board.pci[uint32_t(bus) << 8 | uint32_t(device | function << 5)] = std::move(space);
    return true;
}

bool parsePort(const Arguments& args, BoardDescription& board, std::string& error)
{
    uint64_t port = 0;
    uint32_t value = 0;
    if (!count(args, 2, error) || !number(args, 0, 0xFFFF, port, error) || !number32(args, 1, value, error))
        return false;
    board.ports[static_cast<uint16_t>(port)] = value;
    return true;
}

// The function of a family that a line sets up: its group and offset.
bool function(const Arguments& args, families::FunctionKey& key, std::string& error)
{
    uint64_t group = 0, offset = 0;
    if (!number(args, 0, 0xFFFFFFFFu, group, error) || !number(args, 1, 0xFFFFFFFFu, offset, error))
        return false;
    if (std::find(std::begin(families::kPlainGroups), std::end(families::kPlainGroups), group) ==
        std::end(families::kPlainGroups))
    {
        error = "the group is one of the families set up function by function";
        return false;
    }
    key = {static_cast<uint32_t>(group), static_cast<uint32_t>(offset)};
    return true;
}

bool parseAnswer(const Arguments& args, BoardDescription& board, std::string& error)
{
    families::FunctionKey key;
    if (args.size() != 3 && args.size() != 4)
    {
        error = "answer <group> <offset> hex:<bytes> | \"<text>\" <size>";
        return false;
    }
    if (!function(args, key, error))
        return false;
    std::vector<uint8_t> answer;
    if (args.size() == 3)
    {
        if (!bytes(args, 2, answer, error))
            return false;
    }
    else
    {
        uint64_t size = 0;
        if (!args[2].quoted || !number(args, 3, 4096, size, error) || args[2].text.size() > size)
        {
            error = "a text in quotes fits its record size";
            return false;
        }
        answer.assign(args[2].text.begin(), args[2].text.end());
        answer.resize(size, 0);
    }
    board.families.reads[key] = std::move(answer);
    return true;
}

bool parseValue(const Arguments& args, BoardDescription& board, std::string& error)
{
    families::FunctionKey key;
    uint64_t width = 0;
    if (!count(args, 4, error) || !function(args, key, error) || !number(args, 2, 4, width, error))
        return false;
    if (width == 0)
    {
        error = "the width is 1 to 4 bytes";
        return false;
    }
    const bool negative = !args[3].text.empty() && args[3].text[0] == '-';
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(1) << (8 * width - 1) : (uint64_t(1) << (8 * width)) - 1;
    if (args[3].quoted || !simdesc::parseUnsigned(args[3].text.substr(negative ? 1 : 0), magnitude) ||
        magnitude > limit)
    {
        error = "the number does not fit " + std::to_string(width) + " bytes";
        return false;
    }
    const uint64_t value = negative ? ~magnitude + 1 : magnitude;
    std::vector<uint8_t> answer(width);
    for (size_t i = 0; i < width; ++i)
        answer[i] = static_cast<uint8_t>(value >> (8 * i));
    board.families.reads[key] = std::move(answer);
    return true;
}

bool parseWrite(const Arguments& args, BoardDescription& board, std::string& error)
{
    families::FunctionKey key;
    families::WriteSetup write;
    if (args.size() != 3 && args.size() != 4)
    {
        error = "write <group> <offset> <size> [<read offset>]";
        return false;
    }
    if (!function(args, key, error) || !number32(args, 2, write.size, error))
        return false;
    uint32_t mirror = 0;
    if (args.size() == 4)
    {
        if (!number32(args, 3, mirror, error))
            return false;
        write.mirrorOffset = mirror;
    }
    board.families.writes[key] = write;
    return true;
}

bool parseCommand(const Arguments& args, BoardDescription& board, std::string& error)
{
    families::FunctionKey key;
    if (!count(args, 2, error) || !function(args, key, error))
        return false;
    board.families.commands.insert(key);
    return true;
}

bool parseSensor(const Arguments& args, BoardDescription& board, std::string& error)
{
    families::SensorSetup sensor;
    uint64_t value = 0, flags = 0;
    if (!count(args, 4, error) || !number32(args, 0, sensor.kind, error) ||
        !number32(args, 1, sensor.place, error) || !number(args, 2, 0xFFFF, value, error) ||
        !number(args, 3, 0xFFFF, flags, error))
        return false;
    sensor.value = static_cast<uint16_t>(value);
    sensor.flags = static_cast<uint16_t>(flags);
    board.families.sensors.push_back(sensor);
    return true;
}

bool parseEeprom(const Arguments& args, BoardDescription& board, std::string& error)
{
    std::vector<uint8_t> content;
    if (!count(args, 1, error) || !bytes(args, 0, content, error))
        return false;
    if (content.size() > families::kEepromSize)
    {
        error = "the EEPROM holds 128 bytes";
        return false;
    }
    board.families.eeprom.fill(0);
    std::copy(content.begin(), content.end(), board.families.eeprom.begin());
    return true;
}

bool parseBatteryDate(const Arguments& args, BoardDescription& board, std::string& error)
{
    uint64_t day = 0, month = 0, year = 0, kept = 0;
    if (!count(args, 4, error) || !number(args, 0, 31, day, error) || !number(args, 1, 15, month, error) ||
        !number(args, 2, 4095, year, error) || !number(args, 3, 0xFF, kept, error))
        return false;
    board.families.batteryDate = static_cast<uint32_t>(kept | day << 11 | month << 16 | year << 20);
    return true;
}

bool parseBootLoader(const Arguments& args, BoardDescription& board, std::string& error)
{
    uint64_t segment = 0, address = 0;
    unsigned major = 0, minor = 0, build = 0;
    char tail = 0;
    if (!count(args, 4, error) || !number(args, 0, 0xFF, segment, error) ||
        !number(args, 1, 0x7F, address, error))
        return false;
    if (!args[2].quoted || args[2].text.empty() || args[2].text.size() > 16)
    {
        error = "the name is a text in quotes of 1 to 16 bytes";
        return false;
    }
    if (std::sscanf(args[3].text.c_str(), "%u.%u.%u%c", &major, &minor, &build, &tail) != 3 || major > 0xFF ||
        minor > 0xFF || build > 0xFF)
    {
        error = "the version is <major>.<minor>.<build> of a byte each";
        return false;
    }
    families::BootLoaderSetup& loader = board.families.bootLoader;
    loader.segment = static_cast<uint8_t>(segment);
    loader.address = static_cast<uint8_t>(address);
    loader.name = args[2].text;
    loader.version[0] = static_cast<uint8_t>(major);
    loader.version[1] = static_cast<uint8_t>(minor);
    loader.version[2] = static_cast<uint8_t>(build);
    return true;
}

using KeywordParser = bool (*)(const Arguments&, BoardDescription&, std::string&);

struct Keyword
{
    const char* name;
    KeywordParser parse;
};

constexpr Keyword kKeywords[] = {
    {"firmware-version", parseVersion},
    {"signature", parseSignature},
    {"ram", parseMemory},
    {"fault", parseFault},
    {"cpuid", parseCpuid},
    {"brand", parseBrand},
    {"msr", parseMsr},
    {"pci", parsePci},
    {"port", parsePort},
    {"answer", parseAnswer},
    {"value", parseValue},
    {"write", parseWrite},
    {"command", parseCommand},
    {"sensor", parseSensor},
    {"eeprom", parseEeprom},
    {"battery-date", parseBatteryDate},
    {"bootloader", parseBootLoader},
};

} // namespace

bool parseDescription(const std::string& text, BoardDescription& description, std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    for (int lineNumber = 1; std::getline(lines, line); ++lineNumber)
    {
        std::vector<Token> tokens;
        std::string message;
        if (!simdesc::tokenize(line, tokens, message))
        {
            error = "line " + std::to_string(lineNumber) + ": " + message;
            return false;
        }
        if (tokens.empty())
            continue;
        const Keyword* keyword = nullptr;
        for (const Keyword& known : kKeywords)
            if (!tokens[0].quoted && tokens[0].text == known.name)
                keyword = &known;
        const Arguments args(tokens.begin() + 1, tokens.end());
        if (!keyword)
            message = "unknown keyword '" + tokens[0].text + "'";
        if (!keyword || !keyword->parse(args, description, message))
        {
            error = "line " + std::to_string(lineNumber) + ": " + tokens[0].text + ": " + message;
            return false;
        }
    }
    return true;
}

} // namespace boardsim
