#include "uatcp_node_runner.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace uatcp::test
{
namespace
{
// The client keeps its PKI folder (and makes its certificate there) below $HOME. Other test
// programs and other users' runs share the real one at the same time; this program's runs share
// a folder of their own instead.
class OwnHome
{
public:
    OwnHome()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "uatcp-node-home-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~OwnHome()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

bool setsName(const std::vector<std::string>& entries, const char* entry)
{
    const char* equals = std::strchr(entry, '=');
    size_t nameLength = equals ? static_cast<size_t>(equals - entry) + 1 : std::strlen(entry);
    for (const auto& e : entries)
        if (e.compare(0, nameLength, entry, nameLength) == 0)
            return true;
    return false;
}
} // namespace

ProcessResult runNodeScript(const std::vector<std::string>& nodeOptions, const std::string& script,
                            const std::vector<std::string>& args, const std::vector<std::string>& environment,
                            int timeoutSeconds)
{
    std::vector<std::string> argv = {UATCP_NODE};
    argv.insert(argv.end(), nodeOptions.begin(), nodeOptions.end());
    argv.push_back(std::string(UATCP_NODE_SCRIPTS) + "/" + script);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    // Our environment with the given entries replacing those of the same name.
    std::vector<std::string> env = environment;
    static const OwnHome home;
    if (!setsName(env, "HOME=") && !home.path().empty())
        env.push_back("HOME=" + home.path());
    const std::vector<std::string> given = env;
    for (char** e = environ; *e != nullptr; ++e)
        if (!setsName(given, *e))
            env.emplace_back(*e);
    std::vector<char*> rawEnv;
    for (auto& e : env)
        rawEnv.push_back(e.data());
    rawEnv.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), rawEnv.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    ProcessResult result;
    if (spawned != 0)
    {
        close(pipeFds[0]);
        return result;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char buffer[4096];
    for (;;)
    {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline)
        {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(&p, 1, 200) <= 0)
            continue;
        ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

long jsonField(const std::string& json, const std::string& name)
{
    size_t at = json.find("\"" + name + "\":");
    if (at == std::string::npos)
        return -1;
    return std::stol(json.substr(at + name.size() + 3));
}

std::string jsonText(const std::string& json, const std::string& name)
{
    const std::string key = "\"" + name + "\":\"";
    const size_t begin = json.find(key);
    if (begin == std::string::npos)
        return "";
    const size_t start = begin + key.size();
    const size_t end = json.find('"', start);
    return end == std::string::npos ? "" : json.substr(start, end - start);
}
} // namespace uatcp::test
