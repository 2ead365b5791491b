// Decoding plus encoding of a ReadRequest of 1000 nodes and a ReadResponse of 1000 Double values,
// against a plain copy of the same bytes.
#include <opcua_binarycodec.hpp>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace
{
constexpr int kCount = 1000;

void* makeReadRequest()
{
    auto* r = static_cast<OpcUa_ReadRequest*>(nullptr);
    OpcUa_EncodeableObject_Create(&OpcUa_ReadRequest_EncodeableType, reinterpret_cast<void**>(&r));
    r->RequestHeader.Timestamp = OpcUa_DateTime_UtcNow();
    r->RequestHeader.RequestHandle = 42;
    r->RequestHeader.TimeoutHint = 10000;
    r->TimestampsToReturn = OpcUa_TimestampsToReturn_Both;
    r->NodesToRead = static_cast<OpcUa_ReadValueId*>(OpcUa_Memory_Alloc(kCount * sizeof(OpcUa_ReadValueId)));
    r->NoOfNodesToRead = kCount;
    for (int i = 0; i < kCount; ++i)
    {
        OpcUa_ReadValueId_Initialize(&r->NodesToRead[i]);
        r->NodesToRead[i].NodeId.NamespaceIndex = 2;
        r->NodesToRead[i].NodeId.Identifier.Numeric = 100000 + i;
        r->NodesToRead[i].AttributeId = 13;
    }
    return r;
}

void* makeReadResponse()
{
    auto* r = static_cast<OpcUa_ReadResponse*>(nullptr);
    OpcUa_EncodeableObject_Create(&OpcUa_ReadResponse_EncodeableType, reinterpret_cast<void**>(&r));
    r->ResponseHeader.Timestamp = OpcUa_DateTime_UtcNow();
    r->ResponseHeader.RequestHandle = 42;
    r->Results = static_cast<OpcUa_DataValue*>(OpcUa_Memory_Alloc(kCount * sizeof(OpcUa_DataValue)));
    r->NoOfResults = kCount;
    OpcUa_DateTime now = OpcUa_DateTime_UtcNow();
    for (int i = 0; i < kCount; ++i)
    {
        OpcUa_DataValue_Initialize(&r->Results[i]);
        r->Results[i].Value.Datatype = OpcUaType_Double;
        r->Results[i].Value.Value.Double = i * 0.25;
        r->Results[i].SourceTimestamp = now;
        r->Results[i].ServerTimestamp = now;
    }
    return r;
}

std::vector<OpcUa_Byte> encode(OpcUa_EncodeableType* type, void* object)
{
    OpcUa::BinaryEncoder encoder;
    encoder.writeMessage(type, object);
    return std::vector<OpcUa_Byte>(encoder.data(), encoder.data() + encoder.size());
}

void decodeAndEncode(benchmark::State& state, OpcUa_EncodeableType* type, void* (*make)())
{
    void* original = make();
    const std::vector<OpcUa_Byte> bytes = encode(type, original);
    OpcUa_EncodeableObject_Delete(type, &original);
    OpcUa::BinaryEncoder encoder;
    for (auto _ : state)
    {
        OpcUa::BinaryDecoder decoder(bytes.data(), bytes.size());
        OpcUa_EncodeableType* decodedType = nullptr;
        void* object = nullptr;
        if (OpcUa_IsBad(decoder.readMessage(&decodedType, &object)))
        {
            state.SkipWithError("decode failed");
            break;
        }
        encoder.reset();
        encoder.writeMessage(decodedType, object);
        benchmark::DoNotOptimize(encoder.data());
        OpcUa_EncodeableObject_Delete(decodedType, &object);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

void copyBytes(benchmark::State& state, OpcUa_EncodeableType* type, void* (*make)())
{
    void* original = make();
    const std::vector<OpcUa_Byte> bytes = encode(type, original);
    OpcUa_EncodeableObject_Delete(type, &original);
    std::vector<OpcUa_Byte> target(bytes.size());
    for (auto _ : state)
    {
        std::memcpy(target.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

void BM_ReadRequest1000_DecodeEncode(benchmark::State& s) { decodeAndEncode(s, &OpcUa_ReadRequest_EncodeableType, makeReadRequest); }
void BM_ReadRequest1000_Memcpy(benchmark::State& s) { copyBytes(s, &OpcUa_ReadRequest_EncodeableType, makeReadRequest); }
void BM_ReadResponse1000_DecodeEncode(benchmark::State& s) { decodeAndEncode(s, &OpcUa_ReadResponse_EncodeableType, makeReadResponse); }
void BM_ReadResponse1000_Memcpy(benchmark::State& s) { copyBytes(s, &OpcUa_ReadResponse_EncodeableType, makeReadResponse); }
} // namespace

BENCHMARK(BM_ReadRequest1000_DecodeEncode);
BENCHMARK(BM_ReadRequest1000_Memcpy);
BENCHMARK(BM_ReadResponse1000_DecodeEncode);
BENCHMARK(BM_ReadResponse1000_Memcpy);

BENCHMARK_MAIN();
