// COrxW32Port: one Orx port of this process. OrxConnect opens the port at the
// router and starts the port's receive thread, which hands every arriving
// message to OrxDispatch, one at a time.
#pragma once

#include "vos/orx.h"

#include <memory>

namespace vos
{
class PortState;
}

class COrxW32Port
{
public:
    // connect nonzero opens the port at once. A class that handles messages in
    // its own OrxDispatch passes 0 and calls OrxConnect when it is fully built,
    // so that no message meets a half-built object.
    COrxW32Port(USHORT port = 0, BOOL connect = FALSE, LPCSTR portName = nullptr, ULONG options = 0);
    virtual ~COrxW32Port();
    COrxW32Port(const COrxW32Port&) = delete;
    COrxW32Port& operator=(const COrxW32Port&) = delete;

    // Opens the port (0 = any free port) under the port name. bufferSize is the
    // initial receive buffer, queueLength the number of messages expected to
    // wait at most; both are hints. Nonzero on success; on failure
    // OrxGetLastError gives the Vos error code.
    virtual BOOL OrxConnect(USHORT port, ULONG bufferSize, ULONG queueLength);
    // Closes the port. May be called from the port's own receive thread.
    virtual void OrxDisconnect();
    // Default handling of a received message: a command that waits for an answer
    // (a Vos request, or ORX_STATE_ANSWER set) is answered with
    // VOSERR_SRV_NOT_SUPPORTED; everything else is dropped.
    virtual void OrxDispatch(OrxCmd* cmd);

    // Sends a raw command from this port. Returns 0 or a Vos error code.
    LONG OrxSend(const OrxAddr* target, USHORT cmdId, USHORT stateFlags, ULONG invokeId, const void* data,
                 ULONG length, ULONG errorCode = 0);
    // Sends a prepared message: header fields of cmd and cmd->length data bytes after it.
    LONG OrxSendCmd(const OrxCmd* cmd);
    // Answers a received command: target and source swapped, the response flag set.
    LONG OrxResponse(const OrxCmd* request, ULONG errorCode, const void* data = nullptr, ULONG length = 0);

    BOOL OrxIsConnected() const;
    // The port's own address (net id of this device and the port); zero when not connected.
    OrxAddr OrxGetAddr() const;
    USHORT OrxGetPort() const;
    void OrxSetPortName(LPCSTR portName);
    LPCSTR OrxGetPortName() const;
    ULONG OrxGetOptions() const;
    ULONG OrxGetLastError() const;

private:
    friend class vos::PortState;
    std::shared_ptr<vos::PortState> m_state;
};

// Finds the port that was opened under a name. Returns 0 or a Vos error code
// (VOSERR_NAME_NOT_FOUND when no port holds it).
LONG OrxGetPortByName(LPCSTR portName, OrxAddr* addr);
