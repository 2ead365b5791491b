#include "chn_man.h"

#include <os/deviceroot.h>
#include <os/registry.h>
#include <os/text.h>

#include "channel.h"
#include "group.h"

#include <cstdio>

namespace
{
constexpr DWORD MaxProjectPathBytes = 520;
// The sample project's folder, which the device's own registry names.
constexpr const char* DefaultProjectFolder = "\\Nc";
} // namespace

CChnMan::CChnMan(USHORT port, BOOL connect, LPCSTR portName, ULONG options)
    : CVosW32(port, connect, portName, options)
{
    ReadProjectPath();
}

CChnMan::~CChnMan()
{
    OrxDisconnect();
    DeleteAll();
}

void CChnMan::ReadProjectPath()
{
    m_projectPath.clear();
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Corvanta\\Quberon\\Nc", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    char16_t value[MaxProjectPathBytes / 2 + 1] = {};
    DWORD size = MaxProjectPathBytes;
    DWORD type = 0;
    if (RegQueryValueEx(key, u"NcPrjPath", nullptr, &type, reinterpret_cast<LPBYTE>(value), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
    {
        const std::string path = os::toUtf8(std::u16string(value));
        // A device path names a folder below the device root. One that would leave it gives way to
        // the default folder there, rather than leaving names to the working directory.
        if (const auto host = os::toHostPath(path))
            m_projectPath = *host;
        else
        {
            m_projectPath = os::toHostPath(DefaultProjectFolder).value_or(os::deviceRoot() + "/Nc");
            std::fprintf(stderr,
                         "millpath: NcPrjPath \"%s\" leaves the device root; the project folder is \"%s\"\n",
                         path.c_str(), m_projectPath.c_str());
        }
    }
    RegCloseKey(key);
}

CChannel* CChnMan::FindChannel(std::uint32_t id)
{
    for (int i = 0; i < m_channelCount; ++i)
        if (m_channels[i]->Id() == id)
            return m_channels[i];
    return nullptr;
}

CGroup* CChnMan::FindGroup(std::uint32_t id)
{
    for (int i = 0; i < m_groupCount; ++i)
        if (m_groups[i]->Id() == id)
            return m_groups[i];
    return nullptr;
}

void CChnMan::AddChannel(CChannel* channel)
{
    m_channels[m_channelCount++] = channel;
}

void CChnMan::AddGroup(CGroup* group)
{
    m_groups[m_groupCount++] = group;
}

void CChnMan::DeleteAll()
{
    for (int i = 0; i < m_groupCount; ++i)
        m_groups[i]->Stop();
    for (int i = 0; i < m_channelCount; ++i)
        m_channels[i]->Stop();
    for (int i = 0; i < m_channelCount; ++i)
    {
        delete m_channels[i];
        m_channels[i] = nullptr;
    }
    m_channelCount = 0;
    for (int i = 0; i < m_groupCount; ++i)
    {
        delete m_groups[i];
        m_groups[i] = nullptr;
    }
    m_groupCount = 0;
}
