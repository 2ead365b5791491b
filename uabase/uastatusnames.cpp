#include "uastatusnames.h"

#include <opcua.h>

#define UABASE_STATUS_ROW(name) {OpcUa_##name, #name},

const std::map<OpcUa_UInt32, const char*>& UaStatusNames::table()
{
    // Built once; severity-only codes, the standard codes and the stack's own codes.
    static const std::map<OpcUa_UInt32, const char*> names =
        {{0x00000000u, "Good"},
         {0x40000000u, "Uncertain"},
         {0x80000000u, "Bad"},
         UABASE_STATUS_ROW(BadUnexpectedError) UABASE_STATUS_ROW(BadInternalError) UABASE_STATUS_ROW(
             BadOutOfMemory) UABASE_STATUS_ROW(BadResourceUnavailable) UABASE_STATUS_ROW(BadCommunicationError)
             UABASE_STATUS_ROW(BadEncodingError) UABASE_STATUS_ROW(BadDecodingError) UABASE_STATUS_ROW(
                 BadEncodingLimitsExceeded) UABASE_STATUS_ROW(BadRequestTooLarge)
                 UABASE_STATUS_ROW(BadResponseTooLarge) UABASE_STATUS_ROW(BadUnknownResponse) UABASE_STATUS_ROW(
                     BadTimeout) UABASE_STATUS_ROW(BadServiceUnsupported) UABASE_STATUS_ROW(BadShutdown)
                     UABASE_STATUS_ROW(BadServerNotConnected) UABASE_STATUS_ROW(BadServerHalted) UABASE_STATUS_ROW(
                         BadNothingToDo) UABASE_STATUS_ROW(BadTooManyOperations) UABASE_STATUS_ROW(BadDataTypeIdUnknown)
                         UABASE_STATUS_ROW(BadCertificateInvalid) UABASE_STATUS_ROW(BadSecurityChecksFailed) UABASE_STATUS_ROW(
                             BadCertificateTimeInvalid) UABASE_STATUS_ROW(BadCertificateIssuerTimeInvalid)
                             UABASE_STATUS_ROW(BadCertificateHostNameInvalid) UABASE_STATUS_ROW(
                                 BadCertificateUriInvalid) UABASE_STATUS_ROW(BadCertificateUseNotAllowed)
                                 UABASE_STATUS_ROW(BadCertificateIssuerUseNotAllowed) UABASE_STATUS_ROW(
                                     BadCertificateUntrusted) UABASE_STATUS_ROW(BadCertificateRevocationUnknown)
                                     UABASE_STATUS_ROW(BadCertificateIssuerRevocationUnknown) UABASE_STATUS_ROW(
                                         BadCertificateRevoked) UABASE_STATUS_ROW(BadCertificateIssuerRevoked)
                                         UABASE_STATUS_ROW(
                                             BadUserAccessDenied) UABASE_STATUS_ROW(BadIdentityTokenInvalid)
                                             UABASE_STATUS_ROW(BadIdentityTokenRejected)
                                                 UABASE_STATUS_ROW(BadSecureChannelIdInvalid) UABASE_STATUS_ROW(
                                                     BadInvalidTimestamp) UABASE_STATUS_ROW(BadNonceInvalid)
                                                     UABASE_STATUS_ROW(
                                                         BadSessionIdInvalid) UABASE_STATUS_ROW(BadSessionClosed)
                                                         UABASE_STATUS_ROW(BadSessionNotActivated) UABASE_STATUS_ROW(
                                                             BadSubscriptionIdInvalid) UABASE_STATUS_ROW(BadRequestHeaderInvalid)
                                                             UABASE_STATUS_ROW(BadTimestampsToReturnInvalid) UABASE_STATUS_ROW(
                                                                 BadRequestCancelledByClient) UABASE_STATUS_ROW(GoodSubscriptionTransferred)
                                                                 UABASE_STATUS_ROW(GoodCompletesAsynchronously) UABASE_STATUS_ROW(
                                                                     GoodOverload) UABASE_STATUS_ROW(GoodClamped)
                                                                     UABASE_STATUS_ROW(BadNoCommunication) UABASE_STATUS_ROW(BadWaitingForInitialData) UABASE_STATUS_ROW(
                                                                         BadNodeIdInvalid) UABASE_STATUS_ROW(BadNodeIdUnknown)
                                                                         UABASE_STATUS_ROW(BadAttributeIdInvalid) UABASE_STATUS_ROW(BadIndexRangeInvalid) UABASE_STATUS_ROW(
                                                                             BadIndexRangeNoData) UABASE_STATUS_ROW(BadDataEncodingInvalid)
                                                                             UABASE_STATUS_ROW(BadDataEncodingUnsupported) UABASE_STATUS_ROW(
                                                                                 BadNotReadable) UABASE_STATUS_ROW(BadNotWritable)
                                                                                 UABASE_STATUS_ROW(BadOutOfRange) UABASE_STATUS_ROW(BadNotSupported) UABASE_STATUS_ROW(BadNotFound) UABASE_STATUS_ROW(BadObjectDeleted) UABASE_STATUS_ROW(BadNotImplemented) UABASE_STATUS_ROW(BadMonitoringModeInvalid) UABASE_STATUS_ROW(BadMonitoredItemIdInvalid) UABASE_STATUS_ROW(BadMonitoredItemFilterInvalid) UABASE_STATUS_ROW(BadMonitoredItemFilterUnsupported) UABASE_STATUS_ROW(BadFilterNotAllowed) UABASE_STATUS_ROW(BadStructureMissing) UABASE_STATUS_ROW(BadEventFilterInvalid) UABASE_STATUS_ROW(BadContentFilterInvalid) UABASE_STATUS_ROW(BadFilterOperatorInvalid) UABASE_STATUS_ROW(BadFilterOperatorUnsupported) UABASE_STATUS_ROW(BadFilterOperandCountMismatch) UABASE_STATUS_ROW(BadFilterOperandInvalid) UABASE_STATUS_ROW(BadFilterElementInvalid) UABASE_STATUS_ROW(BadFilterLiteralInvalid) UABASE_STATUS_ROW(BadContinuationPointInvalid) UABASE_STATUS_ROW(BadNoContinuationPoints) UABASE_STATUS_ROW(BadReferenceTypeIdInvalid) UABASE_STATUS_ROW(BadBrowseDirectionInvalid) UABASE_STATUS_ROW(BadNodeNotInView) UABASE_STATUS_ROW(BadServerUriInvalid) UABASE_STATUS_ROW(BadServerNameMissing) UABASE_STATUS_ROW(
                                                                                     BadDiscoveryUrlMissing) UABASE_STATUS_ROW(BadSempahoreFileMissing)
                                                                                     UABASE_STATUS_ROW(BadRequestTypeInvalid) UABASE_STATUS_ROW(
                                                                                         BadSecurityModeRejected)
                                                                                         UABASE_STATUS_ROW(BadSecurityPolicyRejected) UABASE_STATUS_ROW(
                                                                                             BadTooManySessions)
                                                                                             UABASE_STATUS_ROW(
                                                                                                 BadUserSignatureInvalid) UABASE_STATUS_ROW(BadApplicationSignatureInvalid)
                                                                                                 UABASE_STATUS_ROW(BadNoValidCertificates) UABASE_STATUS_ROW(
                                                                                                     BadIdentityChangeNotSupported) UABASE_STATUS_ROW(BadRequestCancelledByRequest)
                                                                                                     UABASE_STATUS_ROW(
                                                                                                         BadParentNodeIdInvalid)
                                                                                                         UABASE_STATUS_ROW(
                                                                                                             BadReferenceNotAllowed)
                                                                                                             UABASE_STATUS_ROW(BadNodeIdRejected) UABASE_STATUS_ROW(BadNodeIdExists) UABASE_STATUS_ROW(BadNodeClassInvalid) UABASE_STATUS_ROW(BadBrowseNameInvalid) UABASE_STATUS_ROW(BadBrowseNameDuplicated) UABASE_STATUS_ROW(BadNodeAttributesInvalid) UABASE_STATUS_ROW(BadTypeDefinitionInvalid) UABASE_STATUS_ROW(BadSourceNodeIdInvalid) UABASE_STATUS_ROW(BadTargetNodeIdInvalid) UABASE_STATUS_ROW(BadDuplicateReferenceNotAllowed) UABASE_STATUS_ROW(BadInvalidSelfReference) UABASE_STATUS_ROW(BadReferenceLocalOnly) UABASE_STATUS_ROW(BadNoDeleteRights) UABASE_STATUS_ROW(UncertainReferenceNotDeleted)
                                                                                                                 UABASE_STATUS_ROW(BadServerIndexInvalid) UABASE_STATUS_ROW(
                                                                                                                     BadViewIdUnknown)
                                                                                                                     UABASE_STATUS_ROW(BadViewTimestampInvalid) UABASE_STATUS_ROW(BadViewParameterMismatch) UABASE_STATUS_ROW(BadViewVersionInvalid) UABASE_STATUS_ROW(UncertainNotAllNodesAvailable) UABASE_STATUS_ROW(GoodResultsMayBeIncomplete) UABASE_STATUS_ROW(BadNotTypeDefinition)
                                                                                                                         UABASE_STATUS_ROW(UncertainReferenceOutOfServer) UABASE_STATUS_ROW(BadTooManyMatches) UABASE_STATUS_ROW(
                                                                                                                             BadQueryTooComplex)
                                                                                                                             UABASE_STATUS_ROW(
                                                                                                                                 BadNoMatch)
                                                                                                                                 UABASE_STATUS_ROW(
                                                                                                                                     BadMaxAgeInvalid)
                                                                                                                                     UABASE_STATUS_ROW(
                                                                                                                                         BadHistoryOperationInvalid)
                                                                                                                                         UABASE_STATUS_ROW(
                                                                                                                                             BadHistoryOperationUnsupported)
                                                                                                                                             UABASE_STATUS_ROW(
                                                                                                                                                 BadInvalidTimestampArgument)
                                                                                                                                                 UABASE_STATUS_ROW(
                                                                                                                                                     BadWriteNotSupported) UABASE_STATUS_ROW(BadTypeMismatch) UABASE_STATUS_ROW(BadMethodInvalid) UABASE_STATUS_ROW(BadArgumentsMissing) UABASE_STATUS_ROW(BadTooManySubscriptions) UABASE_STATUS_ROW(BadTooManyPublishRequests) UABASE_STATUS_ROW(BadNoSubscription) UABASE_STATUS_ROW(BadSequenceNumberUnknown) UABASE_STATUS_ROW(BadMessageNotAvailable)
                                                                                                                                                     UABASE_STATUS_ROW(
                                                                                                                                                         BadInsufficientClientProfile)
                                                                                                                                                         UABASE_STATUS_ROW(BadStateNotActive) UABASE_STATUS_ROW(
                                                                                                                                                             BadTcpServerTooBusy) UABASE_STATUS_ROW(BadTcpMessageTypeInvalid) UABASE_STATUS_ROW(BadTcpSecureChannelUnknown) UABASE_STATUS_ROW(BadTcpMessageTooLarge) UABASE_STATUS_ROW(BadTcpNotEnoughResources) UABASE_STATUS_ROW(BadTcpInternalError) UABASE_STATUS_ROW(BadTcpEndpointUrlInvalid)
                                                                                                                                                             UABASE_STATUS_ROW(BadRequestInterrupted) UABASE_STATUS_ROW(BadRequestTimeout) UABASE_STATUS_ROW(BadSecureChannelClosed) UABASE_STATUS_ROW(BadSecureChannelTokenUnknown) UABASE_STATUS_ROW(BadSequenceNumberInvalid) UABASE_STATUS_ROW(BadProtocolVersionUnsupported) UABASE_STATUS_ROW(BadConfigurationError) UABASE_STATUS_ROW(BadNotConnected) UABASE_STATUS_ROW(BadDeviceFailure) UABASE_STATUS_ROW(BadSensorFailure) UABASE_STATUS_ROW(
                                                                                                                                                                 BadOutOfService)
                                                                                                                                                                 UABASE_STATUS_ROW(
                                                                                                                                                                     BadDeadbandFilterInvalid)
                                                                                                                                                                     UABASE_STATUS_ROW(UncertainNoCommunicationLastUsableValue) UABASE_STATUS_ROW(UncertainLastUsableValue) UABASE_STATUS_ROW(UncertainSubstituteValue) UABASE_STATUS_ROW(UncertainInitialValue) UABASE_STATUS_ROW(UncertainSensorNotAccurate) UABASE_STATUS_ROW(UncertainEngineeringUnitsExceeded) UABASE_STATUS_ROW(UncertainSubNormal) UABASE_STATUS_ROW(
                                                                                                                                                                         GoodLocalOverride) UABASE_STATUS_ROW(BadRefreshInProgress)
                                                                                                                                                                         UABASE_STATUS_ROW(BadConditionAlreadyDisabled) UABASE_STATUS_ROW(
                                                                                                                                                                             BadConditionAlreadyEnabled)
                                                                                                                                                                             UABASE_STATUS_ROW(
                                                                                                                                                                                 BadConditionDisabled)
                                                                                                                                                                                 UABASE_STATUS_ROW(BadEventIdUnknown) UABASE_STATUS_ROW(BadEventNotAcknowledgeable) UABASE_STATUS_ROW(BadDialogNotActive) UABASE_STATUS_ROW(BadDialogResponseInvalid) UABASE_STATUS_ROW(BadConditionBranchAlreadyAcked)
                                                                                                                                                                                     UABASE_STATUS_ROW(
                                                                                                                                                                                         BadConditionBranchAlreadyConfirmed)
                                                                                                                                                                                         UABASE_STATUS_ROW(
                                                                                                                                                                                             BadConditionAlreadyShelved)
                                                                                                                                                                                             UABASE_STATUS_ROW(BadConditionNotShelved) UABASE_STATUS_ROW(BadShelvingTimeOutOfRange) UABASE_STATUS_ROW(BadNoData) UABASE_STATUS_ROW(BadBoundNotFound) UABASE_STATUS_ROW(
                                                                                                                                                                                                 BadBoundNotSupported)
                                                                                                                                                                                                 UABASE_STATUS_ROW(
                                                                                                                                                                                                     BadDataLost)
                                                                                                                                                                                                     UABASE_STATUS_ROW(
                                                                                                                                                                                                         BadDataUnavailable)
                                                                                                                                                                                                         UABASE_STATUS_ROW(BadEntryExists) UABASE_STATUS_ROW(BadNoEntryExists) UABASE_STATUS_ROW(BadTimestampNotSupported) UABASE_STATUS_ROW(GoodEntryInserted) UABASE_STATUS_ROW(
                                                                                                                                                                                                             GoodEntryReplaced)
                                                                                                                                                                                                             UABASE_STATUS_ROW(UncertainDataSubNormal) UABASE_STATUS_ROW(GoodNoData) UABASE_STATUS_ROW(GoodMoreData) UABASE_STATUS_ROW(BadAggregateListMismatch) UABASE_STATUS_ROW(BadAggregateNotSupported)
                                                                                                                                                                                                                 UABASE_STATUS_ROW(BadAggregateInvalidInputs) UABASE_STATUS_ROW(BadAggregateConfigurationRejected) UABASE_STATUS_ROW(GoodDataIgnored) UABASE_STATUS_ROW(GoodCommunicationEvent) UABASE_STATUS_ROW(GoodShutdownEvent) UABASE_STATUS_ROW(GoodCallAgain) UABASE_STATUS_ROW(GoodNonCriticalTimeout) UABASE_STATUS_ROW(
                                                                                                                                                                                                                     BadInvalidArgument) UABASE_STATUS_ROW(BadConnectionRejected)
                                                                                                                                                                                                                     UABASE_STATUS_ROW(BadDisconnect) UABASE_STATUS_ROW(BadConnectionClosed) UABASE_STATUS_ROW(BadInvalidState) UABASE_STATUS_ROW(BadEndOfStream) UABASE_STATUS_ROW(
                                                                                                                                                                                                                         BadNoDataAvailable)
                                                                                                                                                                                                                         UABASE_STATUS_ROW(
                                                                                                                                                                                                                             BadWaitingForResponse) UABASE_STATUS_ROW(BadOperationAbandoned) UABASE_STATUS_ROW(BadExpectedStreamToBlock) UABASE_STATUS_ROW(BadWouldBlock) UABASE_STATUS_ROW(BadSyntaxError) UABASE_STATUS_ROW(BadMaxConnectionsReached) UABASE_STATUS_ROW(StartOfStackStatusCodes) UABASE_STATUS_ROW(BadSignatureInvalid)
                                                                                                                                                                                                                             UABASE_STATUS_ROW(
                                                                                                                                                                                                                                 BadExtensibleParameterInvalid)
                                                                                                                                                                                                                                 UABASE_STATUS_ROW(
                                                                                                                                                                                                                                     BadExtensibleParameterUnsupported)
                                                                                                                                                                                                                                     UABASE_STATUS_ROW(
                                                                                                                                                                                                                                         BadHostUnknown)
                                                                                                                                                                                                                                         UABASE_STATUS_ROW(
                                                                                                                                                                                                                                             BadTooManyPosts)
                                                                                                                                                                                                                                             UABASE_STATUS_ROW(
                                                                                                                                                                                                                                                 BadSecurityConfig)
                                                                                                                                                                                                                                                 UABASE_STATUS_ROW(
                                                                                                                                                                                                                                                     BadFileNotFound)};
    return names;
}

const char* UaStatusNames::find(OpcUa_UInt32 code)
{
    auto it = table().find(code & 0xFFFF0000u);
    return it == table().end() ? nullptr : it->second;
}
