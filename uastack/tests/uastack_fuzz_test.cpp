// Deterministic mutation fuzzing of the decoder over a small corpus of valid messages, bounded in
// iterations and in time.
#include "fuzz_decode_one.h"
#include "value_filler.h"

#include <opcua_binarycodec.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <cstring>
#include <vector>

namespace
{
using Bytes = std::vector<uint8_t>;

Bytes encoded(OpcUa_EncodeableType* type, uint32_t seed)
{
    void* object = nullptr;
    OpcUa_EncodeableObject_Create(type, &object);
    uastacktest::ValueFiller(seed).fillStructure(type, object);
    OpcUa::BinaryEncoder encoder;
    encoder.writeMessage(type, object);
    OpcUa_EncodeableObject_Delete(type, &object);
    return Bytes(encoder.data(), encoder.data() + encoder.size());
}

std::vector<Bytes> corpus()
{
    std::vector<Bytes> c;
    OpcUa_EncodeableType* types[] = {
        &OpcUa_ReadRequest_EncodeableType,          &OpcUa_ReadResponse_EncodeableType,
        &OpcUa_WriteRequest_EncodeableType,         &OpcUa_PublishResponse_EncodeableType,
        &OpcUa_CreateSessionRequest_EncodeableType, &OpcUa_CallRequest_EncodeableType,
        &OpcUa_BrowseResponse_EncodeableType,       &OpcUa_CreateMonitoredItemsRequest_EncodeableType};
    uint32_t seed = 1;
    for (OpcUa_EncodeableType* t : types)
        for (int i = 0; i < 3; ++i)
            c.push_back(encoded(t, seed++));
    for (uint32_t s = 0; s < 8; ++s)
    {
        OpcUa_Variant v;
        uastacktest::ValueFiller(500 + s).fillVariant(&v, 0);
        OpcUa::BinaryEncoder encoder;
        encoder.writeVariant(v);
        OpcUa_Variant_Clear(&v);
        c.emplace_back(encoder.data(), encoder.data() + encoder.size());
    }
    return c;
}

class Mutator
{
public:
    explicit Mutator(uint64_t seed) : m_state(seed) {}

    uint32_t next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(m_state >> 33);
    }

    void mutate(Bytes& b)
    {
        static const int32_t interesting[] = {
            -1,     -2,     0,       1,     0x7F,  0x80,       0xFF,
            0x7FFF, 0xFFFF, 0x10000, 65536, 65537, 0x7FFFFFFF, static_cast<int32_t>(0x80000000)};
        int rounds = 1 + next() % 4;
        for (int r = 0; r < rounds; ++r)
        {
            size_t at = b.empty() ? 0 : next() % b.size();
            switch (next() % 6)
            {
            case 0:
                if (!b.empty())
                    b[at] ^= static_cast<uint8_t>(1u << (next() % 8));
                break;
            case 1:
                if (!b.empty())
                    b[at] = static_cast<uint8_t>(interesting[next() % 14]);
                break;
            case 2:
                if (b.size() >= 4)
                {
                    int32_t v = interesting[next() % 14];
                    at = next() % (b.size() - 3);
                    std::memcpy(&b[at], &v, 4);
                }
                break;
            case 3:
                b.insert(b.begin() + static_cast<long>(at), static_cast<uint8_t>(next()));
                break;
            case 4:
                if (!b.empty())
                    b.erase(b.begin() + static_cast<long>(at));
                break;
            default:
                b.resize(at);
                break;
            }
        }
    }

private:
    uint64_t m_state;
};

TEST(UaStackFuzz, MutatedMessagesNeverBreakTheDecoder)
{
    const std::vector<Bytes> seeds = corpus();
    for (const Bytes& s : seeds)
        ASSERT_TRUE(uastacktest::decodeOne(s.data(), s.size()));
    // The same seeds serve the libFuzzer target: written out on request.
    if (const char* dir = std::getenv("UASTACK_FUZZ_CORPUS_DIR"))
        for (size_t i = 0; i < seeds.size(); ++i)
            std::ofstream(std::string(dir) + "/seed" + std::to_string(i), std::ios::binary)
                .write(reinterpret_cast<const char*>(seeds[i].data()),
                       static_cast<std::streamsize>(seeds[i].size()));

    Mutator mutator(0x5EED);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    const int maxIterations = 200000;
    int iterations = 0;
    for (; iterations < maxIterations; ++iterations)
    {
        if ((iterations & 255) == 0 && std::chrono::steady_clock::now() > deadline)
            break;
        Bytes input = seeds[mutator.next() % seeds.size()];
        mutator.mutate(input);
        // An exact-size copy lets the sanitizer see any read past the end.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[input.size() + 1]);
        std::memcpy(exact.get(), input.data(), input.size());
        ASSERT_TRUE(uastacktest::decodeOne(exact.get(), input.size())) << "iteration " << iterations;
    }
    RecordProperty("iterations", iterations);
    EXPECT_GT(iterations, 100);
}
} // namespace
