#include "user_server_port.h"

#include <string>

namespace
{
constexpr USHORT CmdKeepAliveFirst = 251;
constexpr USHORT CmdKeepAliveLast = 252;
} // namespace

CQbUserServerVosPort::CQbUserServerVosPort(USHORT port, BOOL connect, LPCSTR portName, ULONG options,
                                           IQbUserServerCallback* callback, const char* programName)
    : CVosW32(port, connect, portName, options), m_callback(callback)
{
    if (m_callback)
        m_callback->AddRef();
    OrxSetPortName(("UserSrv_" + std::string(programName)).c_str());
}

CQbUserServerVosPort::~CQbUserServerVosPort()
{
    if (OrxIsConnected())
        OrxDisconnect();
    if (m_callback)
        m_callback->Release();
}

void CQbUserServerVosPort::VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup,
                                       ULONG indexOffset, ULONG length, const void* data)
{
    if (indexGroup < 1 || indexGroup > 4)
    {
        CVosW32::VosWriteInd(addr, invokeId, indexGroup, indexOffset, length, data);
        return;
    }
    HRESULT result = E_FAIL;
    if (m_callback)
    {
        switch (indexGroup)
        {
        case 1:
            result = m_callback->StartService();
            break;
        case 2:
            result = m_callback->ServiceCall();
            break;
        case 3:
            result = m_callback->StopService();
            break;
        default:
            result = m_callback->ShutdownService();
            break;
        }
    }
    VosWriteRes(addr, invokeId, m_callback && result >= 0 ? 0 : VOSERR_DEVICE_ERROR);
}

void CQbUserServerVosPort::OrxDispatch(OrxCmd* cmd)
{
    if ((cmd->cmdId == CmdKeepAliveFirst || cmd->cmdId == CmdKeepAliveLast) &&
        !(cmd->stateFlags & ORX_STATE_ANSWER))
        return;
    CVosW32::OrxDispatch(cmd);
}
