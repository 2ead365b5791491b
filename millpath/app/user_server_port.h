// The port through which the user server starts and stops the interpreter
// service: writes of index groups 1 to 4 call the callback interface.
#pragma once

#include "QbUserSrvW32.h"
#include "QbVosDllCe.h"

class CQbUserServerVosPort : public CVosW32
{
public:
    CQbUserServerVosPort(USHORT port, BOOL connect, LPCSTR portName, ULONG options,
                         IQbUserServerCallback* callback, const char* programName);
    ~CQbUserServerVosPort() override;

    void VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset, ULONG length,
                     const void* data) override;
    void OrxDispatch(OrxCmd* cmd) override;

private:
    IQbUserServerCallback* m_callback;
};
