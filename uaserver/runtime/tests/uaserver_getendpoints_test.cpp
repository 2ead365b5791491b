// The GetEndpoints entry on the fake endpoint: before start-up and when the endpoint list cannot be
// built the request is answered with a fault, and the exit trace says why.
#include "uaservertestbed.h"

#include <uatracecapture.h>

#include <gtest/gtest.h>

namespace
{
using namespace servertest;

const FakeChannel kNone{7};

TEST(UaServerGetEndpoints, NotStartedOrABuilderFailureIsAnsweredWithAFault)
{
    ServerBed bed;
    ASSERT_TRUE(bed.start().isGood());
    UaServer stopped;
    FakeEndpoint loose;
    struct Row
    {
        const char* name;
        UaServer& server;
        FakeEndpoint& endpoint;
        OpcUa_StatusCode buildInfo; // what the configuration answers the builder
        OpcUa_StatusCode expected;
        const char* exitTrace;
    };
    const Row rows[] = {
        {"not started", stopped, loose, OpcUa_Good, OpcUa_BadInternalError,
         "<== UaServer::GetEndpoints [OpcUa_BadInternalError] - UaServer not started"},
        {"builder fails", bed.server, bed.endpoint(), OpcUa_BadConfigurationError,
         OpcUa_BadConfigurationError, "<== UaServer::GetEndpoints [ServiceResult=0x80890000]"},
        {"started", bed.server, bed.endpoint(), OpcUa_Good, OpcUa_Good, "<== UaServer::GetEndpoints"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        bed.config.buildInfoResult = row.buildInfo;
        auto* request = newMessage<OpcUa_GetEndpointsRequest>(OpcUa_GetEndpointsRequest_EncodeableType);
        request->RequestHeader.RequestHandle = 42;
        OpcUa_Handle context = row.endpoint.openContext(kNone, &OpcUa_GetEndpointsResponse_EncodeableType);
        UaTraceCapture traces;
        EXPECT_EQ(OpcUa_Good, row.server.GetEndpoints(row.endpoint.handle(), context, request,
                                                      &OpcUa_GetEndpointsRequest_EncodeableType));
        const FakeAnswer& answer = row.endpoint.waitForAnswer(context);
        EXPECT_EQ(row.expected, answer.status);
        EXPECT_EQ(row.expected == OpcUa_Good ? FakeAnswerKind::Response : FakeAnswerKind::Fault, answer.kind);
        EXPECT_TRUE(traces.contains(4, "==> UaServer::GetEndpoints [Request=42]"));
        EXPECT_TRUE(traces.contains(4, row.exitTrace));
        if (const auto* response =
                answer.as<OpcUa_GetEndpointsResponse>(OpcUa_GetEndpointsResponse_EncodeableType))
        {
            EXPECT_EQ(1, response->NoOfEndpoints);
        }
    }
}
} // namespace
