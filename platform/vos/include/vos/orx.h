// Orx transport: addresses, the message layout every port sends and receives,
// and the result codes of the messaging layer.
#pragma once

#include "vos/vostypes.h"

#pragma pack(push, 2)
// Six bytes; all zero means "this device".
struct OrxNetId
{
    BYTE b[6];
};

struct OrxAddr
{
    OrxNetId netId;
    USHORT port;
};
#pragma pack(pop)

static_assert(sizeof(OrxNetId) == 6 && sizeof(OrxAddr) == 8);

// State flags of a message.
constexpr USHORT ORX_STATE_RESPONSE = 0x0001; // an answer to an earlier command
constexpr USHORT ORX_STATE_VOSCMD = 0x0004;   // a Vos service command (read, write, ...)
constexpr USHORT ORX_STATE_ANSWER = 0x0008;   // the sender waits for an answer to this raw command

// One message as delivered to a port. The data bytes follow the header directly.
struct OrxCmd
{
    OrxAddr target;
    OrxAddr source;
    USHORT cmdId;
    USHORT stateFlags;
    ULONG length;    // number of data bytes after the header
    ULONG errorCode; // set by the transport (or the answering port) when delivery or handling failed
    ULONG invokeId;

    BYTE* Data() { return reinterpret_cast<BYTE*>(this + 1); }
    const BYTE* Data() const { return reinterpret_cast<const BYTE*>(this + 1); }
    bool IsResponse() const { return (stateFlags & ORX_STATE_RESPONSE) != 0; }
    bool IsVosCommand() const { return (stateFlags & ORX_STATE_VOSCMD) != 0; }
};

static_assert(sizeof(OrxCmd) == 32);

// Well-known ports.
constexpr USHORT ORX_PORT_ROUTER = 0;             // the router itself (connection set-up, name look-up)
constexpr USHORT ORX_PORT_EVENTLOG = 110;         // the event logger
constexpr USHORT ORX_PORT_DYNAMIC_FIRST = 0x8000; // port 0 in OrxConnect takes a free one from here up

// Result codes of the messaging layer. 0 is success.
constexpr ULONG VOSERR_NOERROR = 0;
// Transport (router and client library).
constexpr ULONG VOSERR_ROUTER_NOT_RUNNING = 0x601; // the router cannot be reached or started
constexpr ULONG VOSERR_PORT_NOT_CONNECTED = 0x602; // the sending port is not connected
constexpr ULONG VOSERR_PORT_IN_USE = 0x603;        // the port number or port name is held by another opener
constexpr ULONG VOSERR_TARGET_PORT_NOT_FOUND = 0x604; // nobody holds the target port
constexpr ULONG VOSERR_TARGET_NOT_REACHABLE = 0x605;  // the target's net id is not this device
constexpr ULONG VOSERR_TIMEOUT = 0x606;               // no answer within the time-out
constexpr ULONG VOSERR_INVALID_PARAMETER = 0x607;     // bad argument to a library call
constexpr ULONG VOSERR_INVALID_MESSAGE = 0x608;       // a message too short or too long for its command
constexpr ULONG VOSERR_NO_FREE_PORT = 0x609;          // every dynamic port is taken
constexpr ULONG VOSERR_NAME_NOT_FOUND = 0x60A;        // no port holds that name
// Device level (answered by a port).
constexpr ULONG VOSERR_DEVICE_ERROR = 0x700;
constexpr ULONG VOSERR_INVALID_GROUP = 0x701;
constexpr ULONG VOSERR_NO_SUCH_CHANNEL = 0x702; // an index group naming a channel the server does not have
constexpr ULONG VOSERR_INVALID_OFFSET = 0x703;
constexpr ULONG VOSERR_SRV_NOT_SUPPORTED = 0x704;
constexpr ULONG VOSERR_INVALID_SIZE = 0x705;
constexpr ULONG VOSERR_INVALID_DATA = 0x706;
constexpr ULONG VOSERR_NOT_READY = 0x707;
constexpr ULONG VOSERR_NO_INTERPRETER = VOSERR_NOT_READY; // a channel without its interpreter
constexpr ULONG VOSERR_BUSY = 0x708;
constexpr ULONG VOSERR_NOT_IN_THIS_STATE = VOSERR_BUSY; // the interpreter's state refuses the command
constexpr ULONG VOSERR_NO_MEMORY = 0x70A;
constexpr ULONG VOSERR_INVALID_VALUE = 0x70B;
constexpr ULONG VOSERR_NOT_FOUND = 0x70C;
constexpr ULONG VOSERR_CHANNEL_NOT_READY = 0x70E; // the channel's interpreter cannot answer now
