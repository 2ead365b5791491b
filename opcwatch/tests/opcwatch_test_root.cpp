#include "opcwatch_test_root.h"

#include <uatrace.h>

#include <os/text.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <regex>

void OpcwatchTestRoot::SetUp()
{
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    m_traceFile = hostPath("test.log");
    UaTrace::setActive(true);
    ASSERT_EQ(UaTrace::open(7, 100000, 5, UaString(m_traceFile.c_str()), UaString("OpcwatchTest")), 0);
}

void OpcwatchTestRoot::TearDown()
{
    UaTrace::close();
    UaTrace::setActive(false);
    CoUninitialize();
}

std::u16string OpcwatchTestRoot::writeFile(const std::string& name, const std::string& bytes) const
{
    const std::string path = hostPath(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return os::toUtf16(path);
}

std::vector<std::pair<int, std::string>> OpcwatchTestRoot::traceMessagesOf(const std::string& hostFile)
{
    static const std::regex line(R"(^[^|]*\|(\d)\|[0-9A-F]{4,}\* (.*)$)");
    std::vector<std::pair<int, std::string>> messages;
    std::ifstream in(hostFile);
    for (std::string text; std::getline(in, text);)
    {
        std::smatch match;
        if (std::regex_match(text, match, line))
            messages.emplace_back(std::stoi(match[1]), match[2]);
    }
    return messages;
}

std::vector<std::pair<int, std::string>> OpcwatchTestRoot::traceMessages() const
{
    std::vector<std::pair<int, std::string>> messages = traceMessagesOf(m_traceFile);
    messages.erase(messages.begin(),
                   messages.begin() + static_cast<long>(std::min(m_traceSkip, messages.size())));
    return messages;
}

void OpcwatchTestRoot::makeProgramFolder() const
{
    for (const char* folder : {"certs", "private", "crl"})
        std::filesystem::create_directories(hostPath("Program/PKI/CA/") + folder);
}

void OpcwatchTestRoot::writeConfiguration(const std::string& settings) const
{
    writeFile("Program/Opcwatch.xml",
              "<OpcServerConfig><UaServerConfig>" + settings + "</UaServerConfig></OpcServerConfig>");
}

void OpcwatchTestRoot::clearTrace()
{
    m_traceSkip += traceMessages().size();
}
