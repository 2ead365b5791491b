#include "opcwatchpaths.h"

#include <windows.h>

#include <algorithm>
#include <vector>

std::u16string opcwatchProgramFile()
{
    // The path is read whole, however long: a cut path would name another file.
    std::vector<WCHAR> buffer(MAX_PATH);
    DWORD length = 0;
    for (;;)
    {
        SetLastError(ERROR_SUCCESS);
        length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        buffer.resize(buffer.size() * 2);
    }
    return std::u16string(buffer.data(), length);
}

std::u16string opcwatchProgramDirectory()
{
    std::u16string path = opcwatchProgramFile();
    std::replace(path.begin(), path.end(), u'/', u'\\');
    const size_t last = path.rfind(u'\\');
    return last == std::u16string::npos ? std::u16string() : path.substr(0, last);
}

std::u16string opcwatchConfigurationFile(const std::u16string& programDirectory)
{
    return programDirectory + u"\\Opcwatch.xml";
}

std::u16string opcwatchTraceFile(const std::u16string& programDirectory)
{
    return programDirectory + u"\\_Opcwatch.log";
}

std::u16string opcwatchCertificateStoreRoot(const std::u16string& programDirectory)
{
    return programDirectory + u"\\";
}

std::string opcwatchHostName()
{
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return std::string();
    return host;
}

std::string replaceNodeName(const std::string& text, const std::string& hostName)
{
    static const std::string kPlaceholder = "[NodeName]";
    // The text before the placeholder is kept whole, whatever its length.
    const size_t at = text.find(kPlaceholder);
    if (at == std::string::npos)
        return text;
    return text.substr(0, at) + hostName + text.substr(at + kPlaceholder.size());
}
