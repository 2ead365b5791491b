// The channel's zero-point file "<n>.NP" and tool file "<n>.WZ".
#include <cstdio>
#include <cstdlib>
#include <string>

#include "channel.h"
#include "nc_files.h"

namespace
{
using Guard = std::lock_guard<std::recursive_mutex>;

struct File
{
    // A table file that is a link out of the device root is neither read nor written.
    explicit File(const std::string& path, const char* mode) : f(NcOpenDeviceFile(path, mode)) {}
    ~File()
    {
        if (f)
            std::fclose(f);
    }
    std::FILE* f;
};

// The next "value;" of a file; a value that does not scan gives 0.0.
double NextFileValue(std::FILE* f, bool& more)
{
    std::string item;
    int c = 0;
    while ((c = std::fgetc(f)) != EOF && c != ';')
        item += static_cast<char>(c);
    more = c != EOF;
    double value = 0.0;
    return std::sscanf(item.c_str(), "%lf", &value) == 1 ? value : 0.0;
}

// "%lf;" as the files have always been written where that keeps the value, else the fewest
// digits that read back exactly: a value must not change across a stop and a start.
void WriteFileValue(std::FILE* f, double value)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%f", value);
    for (int digits = 7; digits <= 17 && std::strtod(text, nullptr) != value; ++digits)
        std::snprintf(text, sizeof(text), "%.*g", digits, value);
    std::fprintf(f, "%s;", text);
}
} // namespace

std::string CChannel::FilePath(const char* extension) const
{
    const std::string name = std::to_string(m_id) + extension;
    return ProjectDir().empty() ? name : ProjectDir() + "/" + name;
}

std::uint32_t CChannel::WriteZeroPointFile()
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    File file(FilePath(".NP"), "wt");
    if (!file.f)
        return VOSERR_NO_INTERPRETER;
    for (int axis = 1; axis <= FileAxes; ++axis)
    {
        for (int number = 1; number <= FileZeroPoints; ++number)
            WriteFileValue(file.f, m_interpreter->getZeroPointValue(1, axis, number));
        std::fprintf(file.f, "\n");
    }
    return 0;
}

std::uint32_t CChannel::ReadZeroPointFile()
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    File file(FilePath(".NP"), "rt");
    if (!file.f)
        return VOSERR_NO_INTERPRETER;
    bool more = true;
    for (int axis = 1; axis <= FileAxes; ++axis)
    {
        for (int number = 1; number <= FileZeroPoints; ++number)
            m_interpreter->setZeroPointValue(1, axis, number, more ? NextFileValue(file.f, more) : 0.0);
        for (int number = FileZeroPoints + 1; number <= CInterpreter::ZeroPointNumbers; ++number)
            m_interpreter->setZeroPointValue(1, axis, number, 0.0);
    }
    return 0;
}

std::uint32_t CChannel::WriteToolFile()
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    File file(FilePath(".WZ"), "wt");
    if (!file.f)
        return VOSERR_NO_INTERPRETER;
    for (int tool = 1; tool <= Tools; ++tool)
    {
        std::fprintf(file.f, "%d;%d;", m_interpreter->getToolType(tool),
                     m_interpreter->getToolSecondValue(tool));
        for (int p = 1; p <= ToolParams; ++p)
            WriteFileValue(file.f, m_interpreter->getToolValue(tool, p));
        std::fprintf(file.f, "\n");
    }
    return 0;
}

std::uint32_t CChannel::ReadToolFile()
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    File file(FilePath(".WZ"), "rt");
    if (!file.f)
        return VOSERR_NO_INTERPRETER;
    char line[4096];
    for (int tool = 1; tool <= Tools && std::fgets(line, sizeof(line), file.f); ++tool)
    {
        double fields[2 + ToolParams] = {};
        const char* p = line;
        for (double& field : fields)
        {
            char* end = nullptr;
            const double v = std::strtod(p, &end);
            field = end == p ? 0.0 : v;
            while (*end && *end != ';' && *end != '\n')
                ++end;
            if (*end != ';')
                break;
            p = end + 1;
        }
        m_interpreter->setToolRecord(tool, static_cast<std::uint32_t>(fields[0]),
                                     static_cast<std::uint32_t>(fields[1]), fields + 2);
    }
    return 0;
}

std::uint32_t CChannel::ClearTools()
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    const double zero[ToolParams] = {};
    for (int tool = 1; tool <= Tools; ++tool)
        m_interpreter->setToolRecord(tool, 0, 0, zero);
    return 0;
}

std::uint32_t CChannel::ClearZeroPoints()
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    for (int axis = 1; axis <= FileAxes; ++axis)
        for (int number = 1; number <= CInterpreter::ZeroPointNumbers; ++number)
            m_interpreter->setZeroPointValue(1, axis, number, 0.0);
    return 0;
}
