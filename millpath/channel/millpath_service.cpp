#include "millpath_service.h"

#include <cstring>
#include <vector>

#include <os/registry.h>

#include "channel.h"
#include "le_words.h"
#include "group.h"

namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;

DWORD ReadSetting(HKEY key, const char16_t* name, DWORD fallback)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (!key ||
        RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof(value))
        return fallback;
    return value;
}
} // namespace

CMillpathService::CMillpathService() : CChnMan(0, FALSE, "Millpath", 0)
{
    SetDeviceName("Millpath Service");
}

CMillpathService::~CMillpathService()
{
    StopService();
}

BOOL CMillpathService::Init()
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Corvanta\\Quberon\\Nc", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        key = nullptr;
    m_feederLogMode = ReadSetting(key, u"NcIFeederLogMode", 0);
    m_maxSubroutines = ReadSetting(key, u"NcIMaxSubroutines", 500);
    m_logMsgLevel = ReadSetting(key, u"NcLogMsgLevel", 0);
    if (key)
        RegCloseKey(key);
    return TRUE;
}

BOOL CMillpathService::OpenPort()
{
    if (OrxIsConnected())
        return TRUE;
    return OrxConnect(ServicePort, 4096, 80);
}

int CMillpathService::ServiceCommand(int code)
{
    switch (code)
    {
    case 128:
        OpenPort();
        return 1;
    case 129:
        return 1;
    case 130:
        OrxDisconnect();
        return 1;
    case 131:
        StopService();
        return 1;
    default:
        return 0;
    }
}

void CMillpathService::StopService()
{
    // Disconnecting waits for an indication in progress (unless this is the
    // port's own thread), so nothing uses the channels while they go.
    OrxDisconnect();
    DeleteAll();
}

void CMillpathService::DeleteAll()
{
    Lock lock(m_serviceLock);
    CChnMan::DeleteAll();
}

OrxAddr CMillpathService::KernelAddress() const
{
    OrxAddr addr{};
    addr.port = KernelPort;
    return addr;
}

void CMillpathService::VosReadDeviceInfoInd(const OrxAddr* addr, ULONG invokeId)
{
    VosReadDeviceInfoRes(addr, invokeId, 0, "Millpath Service", VosVersion{2, 11, 3021});
}

void CMillpathService::OrxDispatch(OrxCmd* cmd)
{
    if (cmd->IsResponse())
    {
        if (cmd->cmdId & 0x4000)
            return;
        CVosW32::OrxDispatch(cmd);
        return;
    }
    if (cmd->cmdId == CmdChannelEvent)
    {
        ChannelEvent(cmd);
        return;
    }
    if (cmd->cmdId == CmdConfiguration)
    {
        const std::uint32_t result = Configure();
        std::uint8_t answer[4];
        PutLe32(answer, result);
        OrxResponse(cmd, 0, answer, sizeof(answer));
        return;
    }
    CVosW32::OrxDispatch(cmd);
}

void CMillpathService::ChannelEvent(const OrxCmd* cmd)
{
    // Data shorter than a code and a channel id carry no event.
    if (cmd->length >= 8)
    {
        Lock lock(m_serviceLock);
        const std::uint32_t code = GetLe32(cmd->Data());
        CChannel* channel = FindChannel(GetLe32(cmd->Data() + 4));
        if (channel && (code <= 7 || code == 9))
            channel->Event(code, cmd->Data() + 8, cmd->length - 8);
    }
    OrxResponse(cmd, 0);
}

void CMillpathService::LogNotReady(CChannel* channel)
{
    VosReportLog(84, 0x802, "%u %d", channel->Id(), static_cast<int>(channel->State()));
}

template <typename Answer, typename Work>
void CMillpathService::AnswerChannelRequest(ULONG indexGroup, ULONG length, Answer answer, Work work)
{
    if (length > MaxAnswer)
    {
        answer(VOSERR_INVALID_SIZE, 0, nullptr);
        return;
    }
    Lock lock(m_serviceLock);
    CChannel* channel = FindChannel(indexGroup & 0xFF);
    if (!channel)
    {
        answer(VOSERR_NO_SUCH_CHANNEL, 0, nullptr);
        return;
    }
    std::vector<std::uint8_t> buffer(length ? length : 1, 0);
    ULONG size = 0;
    const ULONG result = work(channel, buffer.data(), size);
    answer(result, result == 0 ? size : 0, buffer.data());
}

void CMillpathService::VosReadInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                                  ULONG length)
{
    const ULONG area = indexGroup & 0xFF00;
    if (area != 0x2000 && area != 0x2100 && area != 0x2200 && area != 0x2300)
    {
        CVosW32::VosReadInd(addr, invokeId, indexGroup, indexOffset, length);
        return;
    }
    AnswerChannelRequest(
        indexGroup, length,
        [&](ULONG result, ULONG size, const void* data) { VosReadRes(addr, invokeId, result, size, data); },
        [&](CChannel* channel, std::uint8_t* answer, ULONG& size)
        { return Read(channel, area, indexOffset, length, answer, size); });
}

void CMillpathService::VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                                   ULONG length, const void* data)
{
    const ULONG area = indexGroup & 0xFF00;
    if (area != 0x2000 && area != 0x2100 && area != 0x2200 && area != 0x2300)
    {
        CVosW32::VosWriteInd(addr, invokeId, indexGroup, indexOffset, length, data);
        return;
    }
    Lock lock(m_serviceLock);
    CChannel* channel = FindChannel(indexGroup & 0xFF);
    const ULONG result =
        channel ? Write(channel, area, indexOffset, length, static_cast<const std::uint8_t*>(data))
                : VOSERR_NO_SUCH_CHANNEL;
    VosWriteRes(addr, invokeId, result);
}

void CMillpathService::VosReadWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup,
                                       ULONG indexOffset, ULONG readLength, ULONG writeLength,
                                       const void* data)
{
    const ULONG area = indexGroup & 0xFF00;
    if (area != 0x2000 && area != 0x2100 && area != 0x2300)
    {
        CVosW32::VosReadWriteInd(addr, invokeId, indexGroup, indexOffset, readLength, writeLength, data);
        return;
    }
    AnswerChannelRequest(
        indexGroup, readLength,
        [&](ULONG result, ULONG size, const void* answer)
        { VosReadWriteRes(addr, invokeId, result, size, answer); },
        [&](CChannel* channel, std::uint8_t* answer, ULONG& size)
        {
            return ReadWrite(channel, area, indexOffset, readLength, writeLength,
                             static_cast<const std::uint8_t*>(data), answer, size);
        });
}
