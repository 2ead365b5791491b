// Millpath's own Vos server on port 11500: the only way in which the operator
// interface and the NC kernel reach the interpreter. It builds its channels
// and groups from the kernel's configuration, answers the channel values,
// commands and R parameters, and hands the kernel's events to the channels.
#pragma once

#include <cstdint>
#include <mutex>

#include "chn_man.h"

class CMillpathService : public CChnMan
{
public:
    static constexpr USHORT ServicePort = 11500;
    static constexpr USHORT KernelPort = 500;
    static constexpr USHORT CmdChannelEvent = 0x4016;
    static constexpr USHORT CmdConfiguration = 0x401E;
    static constexpr std::uint32_t ConfigFailed = 0x4000;
    static constexpr std::uint32_t ConfigUnknownChannel = 0x4010;
    static constexpr std::uint32_t ConfigNoMemory = 0x4105;
    static constexpr std::uint32_t ConfigRefused = 0x4108;
    static constexpr ULONG MaxAnswer = 0x100000; // the largest answer the port builds
    static constexpr int MaxConfiguredGroups = 254;

    CMillpathService();
    ~CMillpathService() override;

    // Reads the registry settings; always succeeds (nonzero).
    BOOL Init();
    // 128 opens the port, 129 nothing, 130 disconnects, 131 stops; 1 for these, else 0.
    int ServiceCommand(int code);
    // Disconnects the port (which waits for an indication in progress), then
    // deletes the channels and groups under the service lock.
    void StopService();
    BOOL OpenPort();

    bool FeederLogMode() const { return m_feederLogMode != 0; }
    bool LogMsgLevel() const { return m_logMsgLevel != 0; }
    unsigned MaxSubroutines() const { return m_maxSubroutines; }
    // The kernel address (port 500 of this device).
    OrxAddr KernelAddress() const;
    // Builds the configuration from the kernel; 0 or the result code.
    std::uint32_t Configure();

    void DeleteAll() override;

    // Vos indications.
    void VosReadInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                    ULONG length) override;
    void VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset, ULONG length,
                     const void* data) override;
    void VosReadWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                         ULONG readLength, ULONG writeLength, const void* data) override;
    void VosReadDeviceInfoInd(const OrxAddr* addr, ULONG invokeId) override;
    void OrxDispatch(OrxCmd* cmd) override;

private:
    std::uint32_t ConfigureChannels(CVosSync& sync, const OrxAddr& kernel);
    std::uint32_t ConfigureGroups(CVosSync& sync, const OrxAddr& kernel);
    void ChannelEvent(const OrxCmd* cmd);
    // Areas of the port by the index group's high byte.
    ULONG Read(CChannel* channel, ULONG area, ULONG offset, ULONG length, std::uint8_t* answer, ULONG& size);
    ULONG Write(CChannel* channel, ULONG area, ULONG offset, ULONG length, const std::uint8_t* data);
    ULONG ReadWrite(CChannel* channel, ULONG area, ULONG offset, ULONG readLength, ULONG writeLength,
                    const std::uint8_t* data, std::uint8_t* answer, ULONG& size);
    void LogNotReady(CChannel* channel);
    // A request with an answer of up to length bytes on a channel's area: answer(result, size, data)
    // refuses a length past MaxAnswer and an unknown channel, else sends what
    // work(channel, buffer, size) put in a zeroed buffer of length bytes (its size only when Good).
    template <typename Answer, typename Work>
    void AnswerChannelRequest(ULONG indexGroup, ULONG length, Answer answer, Work work);

    DWORD m_feederLogMode = 0;
    DWORD m_maxSubroutines = 500;
    DWORD m_logMsgLevel = 0;
    CVosSync m_configSync{0, 0, nullptr};
    // Serialises configuration, indications and the deletion of the channels.
    std::recursive_mutex m_serviceLock;
};
