#include "vos/orxport.h"

#include "link.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vos
{

class PortState
{
public:
    PortState(COrxW32Port& owner, std::string name, ULONG options)
        : m_owner(owner), m_name(std::move(name)), m_options(options)
    {
    }

    COrxW32Port& m_owner;
    std::string m_name;
    const ULONG m_options;
    std::atomic<ULONG> m_lastError{0};
    std::atomic<bool> m_connected{false};
    // Changes with every connect and at destruction. A receive thread serves
    // only its own generation: after the port was reopened or deleted from
    // within a dispatch, that thread ends without touching the port again.
    std::atomic<unsigned> m_generation{0};
    // Takes the direct sockets of the clients that keep asking this port.
    OrxLink m_link{true};
    std::thread m_receiver;
    // Receive threads that ended their own connection from within a dispatch;
    // joined later by another thread.
    std::vector<std::thread> m_retired;
    // Serialises connect and disconnect. Never held by the receive thread while it
    // waits, and the short field lock is never held while a thread is joined, so
    // a dispatch that asks for the port's state cannot block a disconnect.
    std::mutex m_opLock;
    mutable std::mutex m_fieldLock; // m_name

    // The thread holds the state (not the port object), so a port deleted from
    // its own dispatch leaves the state alive until the thread has ended.
    static void ReceiveLoop(std::shared_ptr<PortState> self, unsigned generation)
    {
        OrxMessage msg;
        while (self->m_generation == generation && self->m_link.Receive(msg, -1) == 1)
        {
            if (self->m_generation != generation)
                return;
            self->m_owner.OrxDispatch(msg.Cmd());
        }
        // The router has gone (or the port was closed): the port no longer
        // exists, and the clients with direct sockets to it hear so at once.
        if (self->m_generation == generation)
        {
            self->m_connected = false;
            self->m_link.Shutdown();
        }
    }

    bool OnReceiver() const { return m_receiver.get_id() == std::this_thread::get_id(); }

    // Ends the connection; with the operation lock held. The receive thread
    // stopping itself only shuts the connection down and is collected later.
    void Stop()
    {
        m_connected = false;
        m_link.Shutdown();
        if (m_receiver.joinable() && !OnReceiver())
        {
            m_receiver.join();
            m_link.Close();
        }
    }

    // Collects the receive threads that have stopped; with the operation lock
    // held. The calling thread itself is kept for a later collection.
    void Collect()
    {
        if (m_receiver.joinable())
        {
            if (OnReceiver())
                m_retired.push_back(std::move(m_receiver));
            else
                m_receiver.join();
        }
        for (auto it = m_retired.begin(); it != m_retired.end();)
        {
            if (it->get_id() == std::this_thread::get_id())
                ++it;
            else
            {
                it->join();
                it = m_retired.erase(it);
            }
        }
        m_link.Close();
    }
};

} // namespace vos

using vos::PortState;

COrxW32Port::COrxW32Port(USHORT port, BOOL connect, LPCSTR portName, ULONG options)
    : m_state(std::make_shared<PortState>(*this, portName ? portName : "", options))
{
    if (connect)
        OrxConnect(port, 4096, 80);
}

COrxW32Port::~COrxW32Port()
{
    std::lock_guard<std::mutex> lock(m_state->m_opLock);
    ++m_state->m_generation;
    m_state->Stop();
    m_state->Collect();
    // Deleted from its own dispatch: that thread ends by itself and releases the state.
    for (auto& self : m_state->m_retired)
        self.detach();
    m_state->m_retired.clear();
}

BOOL COrxW32Port::OrxConnect(USHORT port, ULONG /*bufferSize*/, ULONG /*queueLength*/)
{
    std::lock_guard<std::mutex> lock(m_state->m_opLock);
    if (m_state->m_connected)
    {
        m_state->m_lastError = VOSERR_PORT_IN_USE;
        return FALSE;
    }
    m_state->Collect();
    ULONG error = m_state->m_link.Open(port, OrxGetPortName());
    m_state->m_lastError = error;
    if (error != VOSERR_NOERROR)
    {
        SetLastError(error);
        return FALSE;
    }
    m_state->m_connected = true;
    m_state->m_receiver = std::thread(PortState::ReceiveLoop, m_state, ++m_state->m_generation);
    return TRUE;
}

void COrxW32Port::OrxDisconnect()
{
    if (m_state->OnReceiver())
    {
        m_state->m_connected = false;
        m_state->m_link.Shutdown();
        return;
    }
    std::lock_guard<std::mutex> lock(m_state->m_opLock);
    m_state->Stop();
}

void COrxW32Port::OrxDispatch(OrxCmd* cmd)
{
    if (!cmd || cmd->IsResponse())
        return;
    if (cmd->IsVosCommand() || (cmd->stateFlags & ORX_STATE_ANSWER))
        OrxResponse(cmd, VOSERR_SRV_NOT_SUPPORTED);
}

LONG COrxW32Port::OrxSend(const OrxAddr* target, USHORT cmdId, USHORT stateFlags, ULONG invokeId,
                          const void* data, ULONG length, ULONG errorCode)
{
    if (!target || (length && !data))
        return VOSERR_INVALID_PARAMETER;
    OrxCmd h = vos::MakeHeader(*target, cmdId, stateFlags, invokeId, length, errorCode);
    return static_cast<LONG>(m_state->m_link.Send(h, data, length));
}

LONG COrxW32Port::OrxSendCmd(const OrxCmd* cmd)
{
    if (!cmd)
        return VOSERR_INVALID_PARAMETER;
    return static_cast<LONG>(m_state->m_link.Send(*cmd, cmd->Data(), cmd->length));
}

LONG COrxW32Port::OrxResponse(const OrxCmd* request, ULONG errorCode, const void* data, ULONG length)
{
    if (!request)
        return VOSERR_INVALID_PARAMETER;
    USHORT flags = static_cast<USHORT>((request->stateFlags & ~ORX_STATE_ANSWER) | ORX_STATE_RESPONSE);
    return OrxSend(&request->source, request->cmdId, flags, request->invokeId, data, length, errorCode);
}

BOOL COrxW32Port::OrxIsConnected() const
{
    return m_state->m_connected ? TRUE : FALSE;
}

OrxAddr COrxW32Port::OrxGetAddr() const
{
    return m_state->m_connected ? m_state->m_link.Addr() : OrxAddr{};
}

USHORT COrxW32Port::OrxGetPort() const
{
    return OrxGetAddr().port;
}

void COrxW32Port::OrxSetPortName(LPCSTR portName)
{
    std::lock_guard<std::mutex> lock(m_state->m_fieldLock);
    m_state->m_name = portName ? portName : "";
}

LPCSTR COrxW32Port::OrxGetPortName() const
{
    std::lock_guard<std::mutex> lock(m_state->m_fieldLock);
    return m_state->m_name.c_str();
}
ULONG COrxW32Port::OrxGetOptions() const
{
    return m_state->m_options;
}

ULONG COrxW32Port::OrxGetLastError() const
{
    return m_state->m_lastError;
}

LONG OrxGetPortByName(LPCSTR portName, OrxAddr* addr)
{
    if (!portName || !addr)
        return VOSERR_INVALID_PARAMETER;
    return static_cast<LONG>(vos::ResolvePortName(portName, *addr));
}
