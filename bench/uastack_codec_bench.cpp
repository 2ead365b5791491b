// Decoding and encoding of a ReadRequest of 1000 nodes and a ReadResponse of 1000 Double values,
// each alone and together, against a plain copy of the same bytes.
//
// `uastack_codec_bench --once request|response` runs each operation 100 times on one message without
// the benchmark library, for instruction counting: the operations are the functions decodeOnce,
// encodeOnce and copyOnce (valgrind --tool=callgrind --toggle-collect='*decodeOnce*' ...).
#include <opcua_binarycodec.hpp>

#include <benchmark/benchmark.h>

#include <cstdio>
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

// One message: its type, a decoded object and its encoding.
struct Sample
{
    OpcUa_EncodeableType* type;
    void* object = nullptr;
    std::vector<OpcUa_Byte> bytes;

    Sample(OpcUa_EncodeableType* t, void* (*make)()) : type(t), object(make())
    {
        OpcUa::BinaryEncoder encoder;
        encoder.writeMessage(type, object);
        bytes.assign(encoder.data(), encoder.data() + encoder.size());
    }
    ~Sample() { OpcUa_EncodeableObject_Delete(type, &object); }
    Sample(const Sample&) = delete;
    Sample& operator=(const Sample&) = delete;
};

// Decodes a message and frees the result; false when the bytes do not decode.
[[gnu::noinline]] bool decodeOnce(const std::vector<OpcUa_Byte>& bytes)
{
    OpcUa::BinaryDecoder decoder(bytes.data(), bytes.size());
    OpcUa_EncodeableType* type = nullptr;
    void* object = nullptr;
    if (OpcUa_IsBad(decoder.readMessage(&type, &object)))
        return false;
    benchmark::DoNotOptimize(object);
    OpcUa_EncodeableObject_Delete(type, &object);
    return true;
}

// Encodes an object into a new encoder (a fresh buffer every time, as a server does per message).
[[gnu::noinline]] size_t encodeOnce(OpcUa_EncodeableType* type, void* object)
{
    OpcUa::BinaryEncoder encoder;
    encoder.writeMessage(type, object);
    benchmark::DoNotOptimize(encoder.data());
    return OpcUa_IsGood(encoder.status()) ? encoder.size() : 0;
}

// Decodes, encodes the result again and frees it.
[[gnu::noinline]] bool decodeEncodeOnce(const std::vector<OpcUa_Byte>& bytes)
{
    OpcUa::BinaryDecoder decoder(bytes.data(), bytes.size());
    OpcUa_EncodeableType* type = nullptr;
    void* object = nullptr;
    if (OpcUa_IsBad(decoder.readMessage(&type, &object)))
        return false;
    bool ok = encodeOnce(type, object) == bytes.size();
    OpcUa_EncodeableObject_Delete(type, &object);
    return ok;
}

[[gnu::noinline]] void copyOnce(const std::vector<OpcUa_Byte>& bytes, std::vector<OpcUa_Byte>& target)
{
    std::memcpy(target.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
}

void finish(benchmark::State& state, const Sample& sample)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(sample.bytes.size()));
    state.counters["bytes"] = static_cast<double>(sample.bytes.size());
}

void decode(benchmark::State& state, OpcUa_EncodeableType* type, void* (*make)())
{
    Sample sample(type, make);
    for (auto _ : state)
        if (!decodeOnce(sample.bytes))
        {
            state.SkipWithError("decode failed");
            break;
        }
    finish(state, sample);
}

void encode(benchmark::State& state, OpcUa_EncodeableType* type, void* (*make)())
{
    Sample sample(type, make);
    for (auto _ : state)
        if (encodeOnce(sample.type, sample.object) != sample.bytes.size())
        {
            state.SkipWithError("encode failed");
            break;
        }
    finish(state, sample);
}

void decodeEncode(benchmark::State& state, OpcUa_EncodeableType* type, void* (*make)())
{
    Sample sample(type, make);
    for (auto _ : state)
        if (!decodeEncodeOnce(sample.bytes))
        {
            state.SkipWithError("decode or encode failed");
            break;
        }
    finish(state, sample);
}

void copy(benchmark::State& state, OpcUa_EncodeableType* type, void* (*make)())
{
    Sample sample(type, make);
    std::vector<OpcUa_Byte> target(sample.bytes.size());
    for (auto _ : state)
        copyOnce(sample.bytes, target);
    finish(state, sample);
}

#define CODEC_BENCHMARKS(NAME, TYPE, MAKE)                                                                   \
    void BM_##NAME##_Decode(benchmark::State& s)                                                             \
    {                                                                                                        \
        decode(s, &TYPE, MAKE);                                                                              \
    }                                                                                                        \
    void BM_##NAME##_Encode(benchmark::State& s)                                                             \
    {                                                                                                        \
        encode(s, &TYPE, MAKE);                                                                              \
    }                                                                                                        \
    void BM_##NAME##_DecodeEncode(benchmark::State& s)                                                       \
    {                                                                                                        \
        decodeEncode(s, &TYPE, MAKE);                                                                        \
    }                                                                                                        \
    void BM_##NAME##_Memcpy(benchmark::State& s)                                                             \
    {                                                                                                        \
        copy(s, &TYPE, MAKE);                                                                                \
    }                                                                                                        \
    BENCHMARK(BM_##NAME##_Decode);                                                                           \
    BENCHMARK(BM_##NAME##_Encode);                                                                           \
    BENCHMARK(BM_##NAME##_DecodeEncode);                                                                     \
    BENCHMARK(BM_##NAME##_Memcpy);
CODEC_BENCHMARKS(ReadRequest1000, OpcUa_ReadRequest_EncodeableType, makeReadRequest)
CODEC_BENCHMARKS(ReadResponse1000, OpcUa_ReadResponse_EncodeableType, makeReadResponse)

// Fixed work for instruction counters: 100 rounds of each operation on one message.
int runOnce(bool request)
{
    constexpr int kRounds = 100;
    Sample sample = request ? Sample(&OpcUa_ReadRequest_EncodeableType, makeReadRequest)
                            : Sample(&OpcUa_ReadResponse_EncodeableType, makeReadResponse);
    std::vector<OpcUa_Byte> target(sample.bytes.size());
    for (int i = 0; i < kRounds; ++i)
    {
        if (!decodeOnce(sample.bytes) || encodeOnce(sample.type, sample.object) != sample.bytes.size())
        {
            std::fprintf(stderr, "%s: decode or encode failed\n", sample.type->TypeName);
            return 1;
        }
        copyOnce(sample.bytes, target);
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0)
        return runOnce(std::strcmp(argv[2], "request") == 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
