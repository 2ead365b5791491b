#include "uaservicediagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
class Diagnostics
{
public:
    UaDiagnosticInfo* add(const char* symbol, OpcUa_UInt16 ns, const char* locale, const char* text,
                          const char* info)
    {
        auto* record = new UaDiagnosticInfo;
        if (symbol != nullptr)
            record->setSymbolicId(UaQualifiedName(UaString(symbol), ns));
        record->setLocalizedText(UaLocalizedText(UaString(locale), UaString(text)));
        record->setAdditionalInfo(UaString(info));
        m_records.push_back(record);
        return record;
    }
    ~Diagnostics()
    {
        for (UaDiagnosticInfo* r : m_records)
            r->release();
    }

private:
    std::vector<UaDiagnosticInfo*> m_records;
};

std::vector<std::string> stringTable(const OpcUa_ResponseHeader& header)
{
    std::vector<std::string> out;
    for (OpcUa_Int32 i = 0; i < header.NoOfStringTable; ++i)
        out.emplace_back(OpcUa_String_GetRawString(&header.StringTable[i]));
    return out;
}

struct Header
{
    Header() { OpcUa_ResponseHeader_Initialize(&value); }
    ~Header() { OpcUa_ResponseHeader_Clear(&value); }
    OpcUa_ResponseHeader value;
};

void expectIndices(const OpcUa_DiagnosticInfo& d, OpcUa_Int32 symbolicId, OpcUa_Int32 ns, OpcUa_Int32 locale,
                   OpcUa_Int32 text)
{
    EXPECT_EQ(d.SymbolicId, symbolicId);
    EXPECT_EQ(d.NamespaceUri, ns);
    EXPECT_EQ(d.Locale, locale);
    EXPECT_EQ(d.LocalizedText, text);
}
} // namespace

TEST(BuildDiagnosticInfos, FullMaskSharesStringsAndStoresNamespaceUris)
{
    Diagnostics records;
    const UaDiagnosticInfo* items[] = {
        records.add("BadThing", 2, "en", "first", "info one"),
        nullptr,
        records.add("Other", 0, "en", "second", ""),
        records.add(nullptr, 0, "", "", "only info"),
    };
    const UaString uris[] = {UaString("http://opcfoundation.org/UA/"), UaString("urn:server"),
                             UaString("urn:device")};
    UaDiagnosticInfos out;
    OpcUa_Boolean has = OpcUa_False;
    Header header;
    ASSERT_EQ(buildDiagnosticInfos(0xE0, items, 4, out, has, header.value, uris, 3), OpcUa_Good);
    EXPECT_TRUE(has);
    ASSERT_EQ(out.length(), 4u);
    EXPECT_EQ(stringTable(header.value),
              (std::vector<std::string>{"urn:device", "BadThing", "en", "first",
                                        "http://opcfoundation.org/UA/", "Other", "second"}));
    expectIndices(out[0], 1, 0, 2, 3);
    expectIndices(out[1], -1, -1, -1, -1);
    expectIndices(out[2], 5, 4, 2, 6);
    expectIndices(out[3], -1, -1, -1, -1);
    EXPECT_STREQ(OpcUa_String_GetRawString(&out[0].AdditionalInfo), "info one");
    EXPECT_STREQ(OpcUa_String_GetRawString(&out[3].AdditionalInfo), "only info");
}

TEST(BuildDiagnosticInfos, UnknownNamespaceGivesNoUriAndEmptyLocaleNoIndex)
{
    Diagnostics records;
    const UaDiagnosticInfo* items[] = {records.add("Sym", 7, "", "text", "")};
    UaDiagnosticInfos out;
    OpcUa_Boolean has = OpcUa_False;
    Header header;
    ASSERT_EQ(buildDiagnosticInfos(0x60, items, 1, out, has, header.value), OpcUa_Good);
    expectIndices(out[0], 0, -1, -1, 1);
    EXPECT_EQ(stringTable(header.value), (std::vector<std::string>{"Sym", "text"}));
}

TEST(BuildDiagnosticInfos, MaskWithoutTextBitsGivesAbsentIndicesAndEmptyTable)
{
    Diagnostics records;
    const UaDiagnosticInfo* items[] = {records.add("A", 1, "de", "x", "extra"), nullptr};
    UaDiagnosticInfos out;
    OpcUa_Boolean has = OpcUa_False;
    Header header;
    ASSERT_EQ(buildDiagnosticInfos(0x01, items, 2, out, has, header.value), OpcUa_Good);
    EXPECT_TRUE(has);
    ASSERT_EQ(out.length(), 2u);
    expectIndices(out[0], -1, -1, -1, -1);
    expectIndices(out[1], -1, -1, -1, -1);
    EXPECT_EQ(out[0].AdditionalInfo.strContent, nullptr);
    EXPECT_EQ(header.value.NoOfStringTable, 0);
}

TEST(BuildDiagnosticInfos, NoRecordsLeaveTheHeaderAlone)
{
    UaPointerArray<UaDiagnosticInfo> items;
    ASSERT_EQ(items.create(3), OpcUa_Good);
    UaDiagnosticInfos out;
    OpcUa_Boolean has = OpcUa_False;
    Header header;
    header.value.NoOfStringTable = 0;
    ASSERT_EQ(buildDiagnosticInfos(0xFF, items, out, has, header.value), OpcUa_Good);
    EXPECT_FALSE(has);
    EXPECT_EQ(out.length(), 3u);
    EXPECT_EQ(header.value.StringTable, nullptr);
    for (OpcUa_UInt32 i = 0; i < 3; ++i)
        expectIndices(out[i], -1, -1, -1, -1);
}
