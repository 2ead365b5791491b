#include "vos/vossync.h"

#include "link.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace vos
{

// Sends requests through the CVos encoders and catches the one answer awaited.
class SyncState : public CVos
{
public:
    SyncState(USHORT port, std::string name) : m_port(port), m_name(std::move(name)) {}

    USHORT m_port;
    std::string m_name;
    OrxLink m_link;
    OrxMessage m_message; // the message in hand; its buffer is kept from one to the next
    ULONG m_timeout = CVosSync::DEFAULT_TIMEOUT_MS;
    ULONG m_nextInvokeId = 1;
    std::mutex m_lock; // one request at a time

    // What the awaited answer carried.
    struct Answer
    {
        bool arrived = false;
        ULONG result = 0;
        std::vector<BYTE> data;
        char name[VOS_DEVICE_NAME_LEN + 1] = {};
        VosVersion version{};
        USHORT s1 = 0, s2 = 0;
    } m_answer;
    USHORT m_awaitCmd = 0;
    ULONG m_awaitId = 0;
    // The port of the request before: a port asked twice in a row gets a direct socket.
    OrxAddr m_lastTarget{};

    ULONG Connect()
    {
        if (m_link.IsOpen())
            return VOSERR_NOERROR;
        return m_link.Open(m_port, m_name);
    }

    // Sends through send() and waits for the answer with the same command and invoke id.
    template <typename SendFn> ULONG Exchange(const OrxAddr& target, USHORT cmdId, SendFn send)
    {
        ULONG error = Connect();
        if (error != VOSERR_NOERROR)
            return error;
        if (std::memcmp(&target, &m_lastTarget, sizeof target) == 0)
            m_link.OfferDirect(target);
        m_lastTarget = target;
        m_answer = Answer{};
        m_awaitCmd = cmdId;
        m_awaitId = m_nextInvokeId++;
        error = static_cast<ULONG>(send(m_awaitId));
        if (error == VOSERR_PORT_NOT_CONNECTED)
        {
            // The router may have ended since the last request: once more on a new connection.
            m_link.Close();
            if ((error = Connect()) != VOSERR_NOERROR)
                return error;
            error = static_cast<ULONG>(send(m_awaitId));
        }
        if (error != VOSERR_NOERROR)
            return error;
        using Clock = std::chrono::steady_clock;
        auto deadline = Clock::now() + std::chrono::milliseconds(m_timeout);
        for (;;)
        {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return VOSERR_TIMEOUT;
            int got = m_link.Receive(m_message, static_cast<int>(left), target.port);
            if (got == 0)
                return VOSERR_TIMEOUT;
            if (got == -2)
                return VOSERR_TARGET_PORT_NOT_FOUND; // the port went with the request
            if (got < 0)
            {
                m_link.Close();
                return VOSERR_PORT_NOT_CONNECTED;
            }
            OrxCmd* cmd = m_message.Cmd();
            if (!cmd->IsResponse())
            {
                RefuseRequest(cmd);
                continue;
            }
            // Answers to earlier requests that timed out are dropped here.
            if (!cmd->IsVosCommand() || cmd->cmdId != m_awaitCmd || cmd->invokeId != m_awaitId)
                continue;
            VosDispatch(cmd);
            if (m_answer.arrived)
                return m_answer.result;
        }
    }

    // Copies the answer's data to the caller, only on success and only when it fits.
    LONG TakeData(ULONG result, ULONG room, void* out, ULONG* returned)
    {
        if (m_answer.data.size() > room)
        {
            // More than asked for: refuse rather than overrun.
            return static_cast<LONG>(result == VOSERR_NOERROR ? VOSERR_INVALID_SIZE : result);
        }
        // A result code may come with data (a device's answer that names
        // what it did); an error of the transport never does.
        if (result != VOSERR_NOERROR && m_answer.data.empty())
            return static_cast<LONG>(result);
        if (!m_answer.data.empty())
            std::memcpy(out, m_answer.data.data(), m_answer.data.size());
        if (returned)
            *returned = static_cast<ULONG>(m_answer.data.size());
        return static_cast<LONG>(result);
    }

    // Nobody serves requests on a blocking client's port.
    void RefuseRequest(const OrxCmd* cmd)
    {
        if (!cmd->IsVosCommand() && !(cmd->stateFlags & ORX_STATE_ANSWER))
            return;
        if (cmd->IsVosCommand() && cmd->cmdId == VOSCMD_DEVICENOTIFICATION)
            return;
        OrxCmd h = MakeHeader(cmd->source, cmd->cmdId,
                              static_cast<USHORT>((cmd->stateFlags & ~ORX_STATE_ANSWER) | ORX_STATE_RESPONSE),
                              cmd->invokeId, 0, VOSERR_SRV_NOT_SUPPORTED);
        m_link.Send(h, nullptr, 0);
    }

protected:
    LONG VosSend(const OrxAddr* target, USHORT cmdId, USHORT stateFlags, ULONG invokeId, const void* data,
                 ULONG length) override
    {
        OrxCmd h = MakeHeader(*target, cmdId, stateFlags, invokeId, length);
        return static_cast<LONG>(m_link.Send(h, data, length));
    }

    void Finish(ULONG result, ULONG length = 0, const void* data = nullptr)
    {
        m_answer.arrived = true;
        m_answer.result = result;
        if (length)
        {
            const BYTE* p = static_cast<const BYTE*>(data);
            m_answer.data.assign(p, p + length);
        }
    }

    void VosReadCon(const OrxAddr*, ULONG, ULONG result, ULONG length, const void* data) override
    {
        Finish(result, length, data);
    }
    void VosReadWriteCon(const OrxAddr*, ULONG, ULONG result, ULONG length, const void* data) override
    {
        Finish(result, length, data);
    }
    void VosWriteCon(const OrxAddr*, ULONG, ULONG result) override { Finish(result); }
    void VosWriteControlCon(const OrxAddr*, ULONG, ULONG result) override { Finish(result); }
    void VosReadDeviceInfoCon(const OrxAddr*, ULONG, ULONG result, const char* name,
                              VosVersion version) override
    {
        Finish(result);
        std::memcpy(m_answer.name, name, VOS_DEVICE_NAME_LEN);
        m_answer.version = version;
    }
    void VosReadStateCon(const OrxAddr*, ULONG, ULONG result, USHORT vosState, USHORT deviceState) override
    {
        Finish(result);
        m_answer.s1 = vosState;
        m_answer.s2 = deviceState;
    }
};

} // namespace vos

CVosSync::CVosSync(USHORT port, BOOL connect, LPCSTR portName)
    : m_state(std::make_unique<vos::SyncState>(port, portName ? portName : ""))
{
    if (connect)
        m_state->Connect();
}

CVosSync::~CVosSync() = default;

LONG CVosSync::VosSyncConnect()
{
    std::lock_guard<std::mutex> lock(m_state->m_lock);
    return static_cast<LONG>(m_state->Connect());
}

void CVosSync::VosSyncDisconnect()
{
    std::lock_guard<std::mutex> lock(m_state->m_lock);
    m_state->m_link.Close();
}

BOOL CVosSync::VosSyncIsConnected() const
{
    return m_state->m_link.IsOpen() ? TRUE : FALSE;
}
OrxAddr CVosSync::VosSyncGetAddr() const
{
    return m_state->m_link.Addr();
}

void CVosSync::VosSyncSetTimeout(ULONG milliseconds)
{
    std::lock_guard<std::mutex> lock(m_state->m_lock);
    m_state->m_timeout = milliseconds;
}

ULONG CVosSync::VosSyncGetTimeout() const
{
    return m_state->m_timeout;
}

LONG CVosSync::VosSyncReadReq(const OrxAddr* addr, ULONG indexGroup, ULONG indexOffset, ULONG length,
                              void* data, ULONG* returned)
{
    if (!addr || (length && !data))
        return VOSERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(m_state->m_lock);
    vos::SyncState& s = *m_state;
    ULONG result =
        s.Exchange(*addr, VOSCMD_READ,
                   [&](ULONG id) { return s.VosReadReq(addr, id, indexGroup, indexOffset, length); });
    return s.TakeData(result, length, data, returned);
}

LONG CVosSync::VosSyncWriteReq(const OrxAddr* addr, ULONG indexGroup, ULONG indexOffset, ULONG length,
                               const void* data)
{
    if (!addr || (length && !data))
        return VOSERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(m_state->m_lock);
    vos::SyncState& s = *m_state;
    return static_cast<LONG>(
        s.Exchange(*addr, VOSCMD_WRITE,
                   [&](ULONG id) { return s.VosWriteReq(addr, id, indexGroup, indexOffset, length, data); }));
}

LONG CVosSync::VosSyncReadWriteReq(const OrxAddr* addr, ULONG indexGroup, ULONG indexOffset, ULONG readLength,
                                   void* readData, ULONG writeLength, const void* writeData, ULONG* returned)
{
    if (!addr || (readLength && !readData) || (writeLength && !writeData))
        return VOSERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(m_state->m_lock);
    vos::SyncState& s = *m_state;
    ULONG result = s.Exchange(
        *addr, VOSCMD_READWRITE,
        [&](ULONG id)
        { return s.VosReadWriteReq(addr, id, indexGroup, indexOffset, readLength, writeLength, writeData); });
    return s.TakeData(result, readLength, readData, returned);
}

LONG CVosSync::VosSyncReadDeviceInfoReq(const OrxAddr* addr, char* name, VosVersion* version)
{
    if (!addr)
        return VOSERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(m_state->m_lock);
    vos::SyncState& s = *m_state;
    ULONG result =
        s.Exchange(*addr, VOSCMD_READDEVICEINFO, [&](ULONG id) { return s.VosReadDeviceInfoReq(addr, id); });
    if (result != VOSERR_NOERROR)
        return static_cast<LONG>(result);
    if (name)
        std::memcpy(name, s.m_answer.name, VOS_DEVICE_NAME_LEN + 1);
    if (version)
        *version = s.m_answer.version;
    return 0;
}

LONG CVosSync::VosSyncReadStateReq(const OrxAddr* addr, USHORT* vosState, USHORT* deviceState)
{
    if (!addr)
        return VOSERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(m_state->m_lock);
    vos::SyncState& s = *m_state;
    ULONG result = s.Exchange(*addr, VOSCMD_READSTATE, [&](ULONG id) { return s.VosReadStateReq(addr, id); });
    if (result != VOSERR_NOERROR)
        return static_cast<LONG>(result);
    if (vosState)
        *vosState = s.m_answer.s1;
    if (deviceState)
        *deviceState = s.m_answer.s2;
    return 0;
}

LONG CVosSync::VosSyncWriteControlReq(const OrxAddr* addr, USHORT vosState, USHORT deviceState, ULONG length,
                                      const void* data)
{
    if (!addr || (length && !data))
        return VOSERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(m_state->m_lock);
    vos::SyncState& s = *m_state;
    return static_cast<LONG>(s.Exchange(
        *addr, VOSCMD_WRITECONTROL,
        [&](ULONG id) { return s.VosWriteControlReq(addr, id, vosState, deviceState, length, data); }));
}
