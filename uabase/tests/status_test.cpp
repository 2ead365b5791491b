#include "uadiagnosticinfo.h"
#include "uastatus.h"
#include "uastatusnames.h"

#include <gtest/gtest.h>

#include <string>

TEST(UaStatusCode, TextTable)
{
    struct Row
    {
        OpcUa_StatusCode code;
        const char* text;
    };
    const Row rows[] = {
        {0x00000000u, "Good"},
        {0x40000000u, "Uncertain"},
        {0x80000000u, "Bad"},
        {0x80340000u, "BadNodeIdUnknown"},
        {0x80340400u, "BadNodeIdUnknown (0x80340400)"},
        {0x80FF0001u, "0x80ff0001"},
        {0x002D0000u, "GoodSubscriptionTransferred"},
        {0x40920000u, "UncertainInitialValue"},
        {0x80010000u, "BadUnexpectedError"},
        {0x80DA0000u, "BadAggregateConfigurationRejected"},
        {0x00D90000u, "GoodDataIgnored"},
        {0x81090000u, "BadFileNotFound"},
        {0x81000000u, "StartOfStackStatusCodes"},
        {0x00000001u, "Good (0x00000001)"},
        {0x80DB0000u, "0x80db0000"},
    };
    for (const Row& r : rows)
    {
        SCOPED_TRACE(r.text);
        EXPECT_STREQ(UaStatusCode(r.code).toString().toUtf8(), r.text);
        EXPECT_STREQ(UaStatus(r.code).toString().toUtf8(), r.text);
    }
}

TEST(UaStatusCode, NameTableExtent)
{
    const auto& table = UaStatusNames::table();
    EXPECT_EQ(table.size(), 226u);
    int standard = 0;
    for (const auto& [code, name] : table)
    {
        EXPECT_EQ(code & 0xFFFFu, 0u) << name;
        std::string text(name);
        const char* severity = (code & 0x80000000u) ? "Bad" : (code & 0x40000000u) ? "Uncertain" : "Good";
        if (code != 0x81000000u)
        {
            EXPECT_EQ(text.rfind(severity, 0), 0u) << name;
        }
        OpcUa_UInt32 sub = (code >> 16) & 0x0FFFu;
        if ((code & 0x0F000000u) == 0 && sub >= 0x01 && sub <= 0xDA)
            ++standard;
    }
    EXPECT_EQ(standard, 215);
}

TEST(UaStatus, SeverityTests)
{
    struct Row
    {
        OpcUa_StatusCode code;
        bool good, notGood, bad, uncertain;
    };
    const Row rows[] = {
        {0x00000000u, true, false, false, false}, {0x00A20000u, true, false, false, false},
        {0x40920000u, false, true, false, true},  {0x80340000u, false, true, true, false},
        {0xC0000000u, false, true, true, false},
    };
    for (const Row& r : rows)
    {
        StatusObject s(r.code);
        EXPECT_EQ(s.isGood(), r.good);
        EXPECT_EQ(s.isNotGood(), r.notGood);
        EXPECT_EQ(s.isBad(), r.bad);
        EXPECT_EQ(s.isUncertain(), r.uncertain);
        EXPECT_EQ(s.statusCode(), r.code);
    }
}

TEST(UaStatus, CopiesShareTheDiagnosticsUntilTheLastGoes)
{
    UaStatus plain;
    EXPECT_EQ(plain.statusCode(), OpcUa_Good);
    EXPECT_EQ(plain.diagnostics(), nullptr);

    auto* original = new UaStatus;
    original->setStatus(OpcUa_BadNodeIdUnknown, UaString("no such node"));
    UaDiagnosticInfo* record = original->diagnostics();
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->localizedText().locale().isEmpty());
    EXPECT_STREQ(record->localizedText().text().toUtf8(), "no such node");

    UaStatus copy(*original);
    UaStatus assigned;
    assigned = copy;
    EXPECT_EQ(copy.diagnostics(), record);
    EXPECT_EQ(assigned.statusCode(), OpcUa_BadNodeIdUnknown);
    EXPECT_EQ(record->referenceCount(), 3u);
    delete original;
    EXPECT_EQ(record->referenceCount(), 2u);
    EXPECT_STREQ(copy.diagnostics()->localizedText().text().toUtf8(), "no such node");

    assigned = OpcUa_BadInternalError; // a bare code drops the record
    EXPECT_EQ(assigned.diagnostics(), nullptr);
    EXPECT_EQ(record->referenceCount(), 1u);

    // Setting a text again reuses the record.
    copy.setStatus(OpcUa_BadTimeout, UaString("later"));
    EXPECT_EQ(copy.diagnostics(), record);
    EXPECT_EQ(copy.statusCode(), OpcUa_BadTimeout);
}

TEST(UaDiagnosticInfo, InnerRecordsAreReleasedWithTheOuter)
{
    auto* inner = new UaDiagnosticInfo;
    inner->setAdditionalInfo(UaString("inner"));
    auto* outer = new UaDiagnosticInfo;
    outer->setInnerDiagnostics(inner);
    EXPECT_EQ(inner->referenceCount(), 2u);
    inner->release();
    EXPECT_EQ(outer->innerDiagnostics()->additionalInfo(), UaString("inner"));
    EXPECT_EQ(outer->release(), 0u); // frees both; the sanitizers report any leak
}

TEST(UaStatus, FillsTheResponseHeader)
{
    OpcUa_RequestHeader request;
    OpcUa_RequestHeader_Initialize(&request);
    request.RequestHandle = 4711;
    OpcUa_ResponseHeader response;
    OpcUa_ResponseHeader_Initialize(&response);
    OpcUa_DateTime before = OpcUa_DateTime_UtcNow();
    UaStatus(OpcUa_BadTooManyOperations).fillResponseHeader(request, response);
    EXPECT_EQ(response.RequestHandle, 4711u);
    EXPECT_EQ(response.ServiceResult, OpcUa_BadTooManyOperations);
    EXPECT_GE(OpcUa_DateTime_ToInt64(response.Timestamp), OpcUa_DateTime_ToInt64(before));
    OpcUa_ResponseHeader_Clear(&response);
    OpcUa_RequestHeader_Clear(&request);
}
