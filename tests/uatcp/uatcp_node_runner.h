// Runs a Node.js script of the outside client and collects what it prints.
#pragma once
#include <string>
#include <vector>

namespace uatcp::test
{
struct ProcessResult
{
    int exitCode = -1;
    std::string output;
};

// Runs node with nodeOptions, the script (a file of the node folder) and its
// arguments; environment entries "NAME=value" are added to ours. Killed after
// timeoutSeconds.
ProcessResult runNodeScript(const std::vector<std::string>& nodeOptions, const std::string& script,
                            const std::vector<std::string>& args,
                            const std::vector<std::string>& environment = {}, int timeoutSeconds = 120);

// The number after "name": in a one-line JSON summary; -1 when missing.
long jsonField(const std::string& json, const std::string& name);
// The text after "name":" in a one-line JSON summary, up to the next quote (escapes are not
// read); empty when missing.
std::string jsonText(const std::string& json, const std::string& name);
} // namespace uatcp::test
