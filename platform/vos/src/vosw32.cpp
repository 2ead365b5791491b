#include "vos/vosw32.h"

CVosW32::CVosW32(USHORT port, BOOL connect, LPCSTR portName, ULONG options)
    : COrxW32Port(port, FALSE, portName, options)
{
    // Connected here rather than in the base, so that this class's dispatch is in place.
    if (connect)
        OrxConnect(port, 4096, 80);
}

CVosW32::~CVosW32()
{
    OrxDisconnect();
}

void CVosW32::OrxDispatch(OrxCmd* cmd)
{
    if (cmd && cmd->IsVosCommand())
        VosDispatch(cmd);
    else
        COrxW32Port::OrxDispatch(cmd);
}

LONG CVosW32::VosSend(const OrxAddr* target, USHORT cmdId, USHORT stateFlags, ULONG invokeId,
                      const void* data, ULONG length)
{
    return OrxSend(target, cmdId, stateFlags, invokeId, data, length);
}
