// What the walks of the address space share when they compare it with a standard NodeSet: the
// lines of the extracted facts (extract_nodeset_oracle.py), the expectations file that lists the
// deviations this server keeps, and the standard data files beside the project.
#pragma once

#include <opcua.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace nodesetfacts
{
inline std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> fields;
    std::stringstream stream(text);
    std::string field;
    while (std::getline(stream, field, separator))
        fields.push_back(field);
    if (!text.empty() && text.back() == separator)
        fields.emplace_back();
    return fields;
}

// The expectations file: per node (or per node class, "class:<n>") and field, the answer this
// server gives where it differs from the standard.
struct Expectations
{
    std::map<std::pair<std::string, std::string>, std::string> entries;

    explicit Expectations(const std::string& path)
    {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line))
        {
            if (line.empty() || line[0] == '#')
                continue;
            const std::vector<std::string> f = split(line, '|');
            if (f.size() >= 3)
                entries[{f[0], f[1]}] = f[2];
        }
    }
    // The allowed answer for the node and field; false when none is listed.
    bool allowed(const std::string& node, const std::string& nodeClass, const std::string& field,
                 std::string& value) const
    {
        for (const std::string& key : {node, "class:" + nodeClass})
            if (const auto found = entries.find({key, field}); found != entries.end())
            {
                value = found->second;
                return true;
            }
        return false;
    }
    bool allowed(OpcUa_UInt32 id, const std::string& nodeClass, const std::string& field,
                 std::string& value) const
    {
        return allowed(std::to_string(id), nodeClass, field, value);
    }
    bool listed(const std::string& node, const std::string& field) const
    {
        return entries.count({node, field}) > 0;
    }
    bool listed(OpcUa_UInt32 id, const std::string& field) const { return listed(std::to_string(id), field); }
};

// A standard data file beside the project (../shared/data/opcua from the main tree or from a
// worktree); empty when there is none.
inline std::string referenceFile(const char* name)
{
    for (const char* dir : {UASERVER_REFERENCE_DIR, UASERVER_REFERENCE_DIR_WORKTREE})
    {
        const std::string path = std::string(dir) + "/" + name;
        if (std::ifstream(path).good())
            return path;
    }
    return {};
}
} // namespace nodesetfacts
