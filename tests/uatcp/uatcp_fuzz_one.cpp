#include "uatcp_fuzz_one.h"

#include "chunk_layer.h"
#include "secure_messages.h"
#include "tcp_messages.h"
#include "tcp_status.h"

namespace uatcp::test
{
bool parseChunkLayerInput(const uint8_t* data, size_t size)
{
    Bytes input(data, data + size);
    if (size >= kMessageHeaderSize)
    {
        const uint8_t* body = data + kMessageHeaderSize;
        size_t bodySize = size - kMessageHeaderSize;
        HelloMessage hello;
        decodeHello(body, bodySize, hello);
        AcknowledgeMessage ack;
        decodeAcknowledge(body, bodySize, ack);
        ErrorMessage error;
        decodeError(body, bodySize, error);
    }
    ChunkInfo info;
    if (parseChunkHeaders(input, info) != status::Good ||
        parseSequenceHeader(input, input.size(), info) != status::Good)
        return true;
    if (info.bodyOffset > info.bodyEnd || info.bodyEnd > input.size())
        return false;
    Bytes body(input.begin() + static_cast<long>(info.bodyOffset),
               input.begin() + static_cast<long>(info.bodyEnd));
    ChunkAssembler assembler(100000, 10);
    uint32_t code;
    auto result = assembler.add(info.chunkType, info.requestId, body.data(), body.size(), code);
    if (result == ChunkAssembler::Result::Complete && assembler.takeMessage() != body)
        return false;
    OpenRequest request;
    decodeOpenRequest(body, request);
    OpenResponse response;
    decodeOpenResponse(body, response);
    uint32_t fault;
    peekFault(body, fault);
    peekRequestHandle(body);
    return true;
}
} // namespace uatcp::test
