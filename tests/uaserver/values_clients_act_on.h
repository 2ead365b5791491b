// What node/values_clients_act_on.js reports the same on every server of ours: full queues that
// end on the current value, filters and modes refused with the standard's codes, ServerStatus's
// clock and the diagnostics summary, type definitions that all exist, and the status codes of
// history and of writes that cannot be done.
#pragma once

#include "uatcp_node_runner.h"

#include <gtest/gtest.h>

#include <string>

namespace uaservertest
{
inline void expectValuesClientsActOn(const std::string& json)
{
    using uatcp::test::jsonField;
    using uatcp::test::jsonText;
    const std::pair<const char*, const char*> rows[] = {
        // 0 went out before publishing stopped; 1 to 5 were written while it was. Discarding the
        // newest, 5 takes the last place and follows the gap (0x480); discarding the oldest, 3 is
        // the oldest left after it; a queue of one keeps the newest, unmarked.
        {"newest3", "1,2,5"},
        {"newest3Status", "0,0,1152"},
        {"oldest3", "3,4,5"},
        {"oldest3Status", "1152,0,0"},
        {"newest1", "5"},
        {"newest1Status", "0"},
        {"percentOnUnranged", "BadFilterNotAllowed"},
        // absolute -1, percent 101, trigger 7, mode 5, events without a filter, events selecting
        // nothing; an absolute deadband of 1 is taken.
        {"refusedItems", "BadDeadbandFilterInvalid,BadDeadbandFilterInvalid,BadMonitoredItemFilterInvalid,"
                         "BadMonitoringModeInvalid,BadEventFilterInvalid,BadEventFilterInvalid,Good"},
        {"monitoringMode5", "BadMonitoringModeInvalid"},
        {"missingTypes", ""},
        // A variable, ServerStatus (neither keeps history) and an unknown node.
        {"historyRead", "BadHistoryOperationUnsupported,BadHistoryOperationUnsupported,BadNodeIdUnknown"},
        {"historyReadNoDetails", "BadHistoryOperationInvalid"},
        {"historyUpdate", "BadHistoryOperationUnsupported,BadNodeIdUnknown,BadHistoryOperationInvalid"},
        // DisplayName of a variable, ServerStatus and NamespaceArray, none writable.
        {"writes", "BadNotWritable,BadNotWritable,BadNotWritable"},
    };
    for (const auto& [field, text] : rows)
        EXPECT_EQ(jsonText(json, field), text) << field << " in " << json;
    EXPECT_EQ(5, jsonField(json, "currentValue")) << json;
    EXPECT_EQ(1, jsonField(json, "statusTimeAdvances")) << json;
    EXPECT_EQ(1, jsonField(json, "startTimeKept")) << json;
    // This client's session alone, counted alike in the summary and in its counter.
    EXPECT_EQ(1, jsonField(json, "summarySessions")) << json;
    EXPECT_EQ(1, jsonField(json, "currentSessions")) << json;
    // The session's diagnostics object, of SessionDiagnosticsObjectType.
    EXPECT_EQ(1, jsonField(json, "sessionObjects")) << json;
    EXPECT_GT(jsonField(json, "typeDefinitions"), 10) << json;
}
} // namespace uaservertest
