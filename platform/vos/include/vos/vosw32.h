// CVosW32: a Vos device on its own Orx port, with a report log. Server ports
// derive from it and override the ...Ind operations they serve.
#pragma once

#include "vos/orxport.h"
#include "vos/vos.h"
#include "vos/voslog.h"

class CVosW32 : public CVos, public COrxW32Port, public CVosLog
{
public:
    CVosW32(USHORT port = 0, BOOL connect = FALSE, LPCSTR portName = nullptr, ULONG options = 0);
    // Disconnects first, so that no indication arrives during destruction. A
    // derived class whose members the indications use disconnects in its own
    // destructor.
    ~CVosW32() override;

    // Vos commands go to VosDispatch (and so to the ...Ind and ...Con
    // operations), everything else to the default handling of COrxW32Port.
    void OrxDispatch(OrxCmd* cmd) override;

protected:
    LONG VosSend(const OrxAddr* target, USHORT cmdId, USHORT stateFlags, ULONG invokeId, const void* data,
                 ULONG length) override;
};
