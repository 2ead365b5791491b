// Base64 texts of the actions, and the action results with their Gkt codes and texts.
#include "action_errors.h"
#include "base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace
{
TEST(Base64, EncodesAndDecodesTheStandardAlphabetWithPadding)
{
    struct Case
    {
        std::vector<uint8_t> bytes;
        std::string text;
    };
    const Case cases[] = {
        {{}, ""},         {{0x12, 0x34, 0x00}, "EjQA"}, {{0x12, 0x34}, "EjQ="},
        {{0xFF}, "/w=="}, {{0xFB, 0xEF, 0xBE}, "++++"}, {{'N', 'e', 't', 'h', 'e', 'r'}, "TmV0aGVy"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(netherald::base64Encode(c.bytes.data(), c.bytes.size()), c.text);
        EXPECT_EQ(netherald::base64Decode(c.text), c.bytes) << c.text;
    }
    EXPECT_EQ(netherald::base64Decode("EjQA\r\n/w==\n"), (std::vector<uint8_t>{0x12, 0x34, 0x00, 0xFF}));
}

TEST(Base64, RefusesWhatIsNotBase64)
{
    for (const char* text : {"EjQ", "EjQA=", "Ej=A", "E===", "====", "EjQ*", "Ej-_",
                             "/x==", "EjR=", "EjQ=EjQA", "\xC3\xA4\xC3\xA4"})
        EXPECT_FALSE(netherald::base64Decode(text)) << text;
}

TEST(ActionErrors, GktCodesMapToResultsNumbersAndTexts)
{
    struct Case
    {
        uint32_t gkt;
        uint32_t result;
        int number;
        const char* text;
    };
    const Case cases[] = {
        {0xECA60100, 0x800405C7, 711, "Invalid index"},
        {0xECA60101, 0x800405C8, 712, "Invalid access"},
        {0xECA60102, 0x800405C9, 713, "Buffer too small"},
        {0xECA60103, 0x800405CB, 715, "Out of memory"},
        {0xECA60104, 0x800405CB, 715, "Out of memory"},
        {0xECA60105, 0x800405CC, 716, "No data available"},
        {0xECA60106, 0x800405CD, 717, "GKT: Invalid data"},
        {0xECA60107, 0x800405CE, 718, "Invalid argument"},
        {0xECA60200, 0x800405CF, 719, "Busy"},
        {0xECA60F00, 0x800405D0, 720, "Not implemented"},
        {0xECA61000, 0x800405D1, 721, "Not supported"},
        {0xECA60201, 0x800405C6, 710, "Unexpected GKT error"}, // device not open
        {0xECA60FFF, 0x800405C6, 710, "Unexpected GKT error"},
        {0xECA70037, 0x800405C6, 710, "Unexpected GKT error"},
        {0x8000FFFF, 0x800405C6, 710, "Unexpected GKT error"},
        {31, 0x800405C6, 710, "Unexpected GKT error"}, // a platform error
    };
    for (const Case& c : cases)
    {
        const HRESULT result = netherald::gktFailure(static_cast<LONG>(c.gkt));
        EXPECT_EQ(static_cast<uint32_t>(result), c.result) << std::hex << c.gkt;
        EXPECT_EQ(static_cast<int>(static_cast<uint32_t>(result) - 0x80040300u), c.number)
            << std::hex << c.gkt;
        EXPECT_STREQ(netherald::actionErrorText(result), c.text) << std::hex << c.gkt;
    }
}

TEST(ActionErrors, TheActionsOwnResultsHaveTheirTexts)
{
    struct Case
    {
        HRESULT result;
        const char* text;
    };
    const Case cases[] = {
        {netherald::kInvalidPortOrNetId, "Invalid port or netId"},
        {netherald::kInvalidLength, "Invalid length"},
        {netherald::kInvalidData, "Invalid data"},
        {netherald::kGktServiceMissing, "Unable to load GKT Service"},
        {static_cast<HRESULT>(0x800405CA), "Type not supported"},
        {E_OUTOFMEMORY, "UPnPError"},
        {E_FAIL, "UPnPError"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(netherald::actionErrorText(c.result), c.text) << std::hex << c.result;
}
} // namespace
