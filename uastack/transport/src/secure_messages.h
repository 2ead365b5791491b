// The service messages the secure-conversation layer reads and writes itself:
// OpenSecureChannel, CloseSecureChannel and the ServiceFault it answers with
// when a request never reaches a service.
#pragma once
#include "binary_io.h"

#include <optional>

namespace uatcp
{
namespace encoding
{
constexpr uint32_t ServiceFault = 397;
constexpr uint32_t OpenSecureChannelRequest = 446;
constexpr uint32_t OpenSecureChannelResponse = 449;
constexpr uint32_t CloseSecureChannelRequest = 452;
constexpr uint32_t CloseSecureChannelResponse = 455;
} // namespace encoding

constexpr uint32_t kMaxNonceLength = 1024;

enum class TokenRequestType : uint32_t
{
    Issue = 0,
    Renew = 1
};

struct RequestHeaderInfo
{
    int64_t timestamp = 0;
    uint32_t requestHandle = 0;
    uint32_t timeoutHint = 0;
};

struct ResponseHeaderInfo
{
    int64_t timestamp = 0;
    uint32_t requestHandle = 0;
    uint32_t serviceResult = 0;
};

struct OpenRequest
{
    RequestHeaderInfo header;
    uint32_t clientProtocolVersion = 0;
    uint32_t requestType = 0;
    uint32_t securityMode = 0;
    Bytes clientNonce;
    uint32_t requestedLifetime = 0;
};

struct OpenResponse
{
    ResponseHeaderInfo header;
    uint32_t serverProtocolVersion = 0;
    uint32_t channelId = 0;
    uint32_t tokenId = 0;
    int64_t createdAt = 0;
    uint32_t revisedLifetime = 0;
    Bytes serverNonce;
};

// Reads the encoding NodeId that starts every message body; false unless numeric in namespace 0.
bool readTypeId(BinaryReader& r, uint32_t& encodingId);
bool readRequestHeader(BinaryReader& r, RequestHeaderInfo& header);
bool readResponseHeader(BinaryReader& r, ResponseHeaderInfo& header);
void writeRequestHeader(BinaryWriter& w, uint32_t requestHandle, uint32_t timeoutHint);
void writeResponseHeader(BinaryWriter& w, uint32_t requestHandle, uint32_t serviceResult);

uint32_t decodeOpenRequest(const Bytes& body, OpenRequest& request);
Bytes encodeOpenRequest(const OpenRequest& request);
uint32_t decodeOpenResponse(const Bytes& body, OpenResponse& response);
Bytes encodeOpenResponse(const OpenResponse& response);
Bytes encodeCloseRequest(uint32_t requestHandle);
Bytes encodeServiceFault(uint32_t requestHandle, uint32_t serviceResult);

// The request handle of any request body (for a fault answering it); 0 when unreadable.
uint32_t peekRequestHandle(const Bytes& body);
// The encoding id of a body and, for a ServiceFault, its result.
bool peekFault(const Bytes& body, uint32_t& serviceResult);
} // namespace uatcp
