// The channel manager: the channels and groups of the service, and the
// project path where the channels keep their files.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "QbVosDllCe.h"

class CChannel;
class CGroup;

class CChnMan : public CVosW32
{
public:
    static constexpr int MaxChannels = 32;
    static constexpr int MaxGroups = 255;

    CChnMan(USHORT port, BOOL connect, LPCSTR portName, ULONG options);
    ~CChnMan() override;

    // "NcPrjPath" under HKLM "Software\Corvanta\Quberon\Nc"; empty when missing.
    virtual void ReadProjectPath();
    virtual CChannel* FindChannel(std::uint32_t id);
    virtual CGroup* FindGroup(std::uint32_t id);
    virtual void AddChannel(CChannel* channel);
    virtual void AddGroup(CGroup* group);
    // Stops every group, then every channel, then deletes them all.
    virtual void DeleteAll();

    const std::string& ProjectPath() const { return m_projectPath; }
    int ChannelCount() const { return m_channelCount; }
    int GroupCount() const { return m_groupCount; }

protected:
    CChannel* m_channels[MaxChannels] = {};
    int m_channelCount = 0;
    CGroup* m_groups[MaxGroups] = {};
    int m_groupCount = 0;
    std::string m_projectPath;
};
