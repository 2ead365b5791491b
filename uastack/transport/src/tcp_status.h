// Status codes the transport and the security policies produce themselves
// (numbers as OPC UA defines them).
#pragma once
#include <cstdint>

namespace uatcp::status
{
constexpr uint32_t Good = 0x00000000;
constexpr uint32_t Bad = 0x80000000;
constexpr uint32_t BadUnexpectedError = 0x80010000;
constexpr uint32_t BadInternalError = 0x80020000;
constexpr uint32_t BadOutOfMemory = 0x80030000;
constexpr uint32_t BadCommunicationError = 0x80050000;
constexpr uint32_t BadEncodingError = 0x80060000;
constexpr uint32_t BadDecodingError = 0x80070000;
constexpr uint32_t BadEncodingLimitsExceeded = 0x80080000;
constexpr uint32_t BadTimeout = 0x800A0000;
constexpr uint32_t BadServiceUnsupported = 0x800B0000;
constexpr uint32_t BadServerHalted = 0x800E0000;
constexpr uint32_t BadTooManyOperations = 0x80100000;
constexpr uint32_t BadCertificateInvalid = 0x80120000;
constexpr uint32_t BadSecurityChecksFailed = 0x80130000;
constexpr uint32_t BadCertificateTimeInvalid = 0x80140000;
constexpr uint32_t BadCertificateIssuerTimeInvalid = 0x80150000;
constexpr uint32_t BadCertificateUseNotAllowed = 0x80180000;
constexpr uint32_t BadCertificateUntrusted = 0x801A0000;
constexpr uint32_t BadCertificateRevocationUnknown = 0x801B0000;
constexpr uint32_t BadCertificateRevoked = 0x801D0000;
constexpr uint32_t BadCertificateIssuerRevoked = 0x801E0000;
constexpr uint32_t BadSecureChannelIdInvalid = 0x80220000;
constexpr uint32_t BadNonceInvalid = 0x80240000;
constexpr uint32_t BadNotSupported = 0x803D0000;
constexpr uint32_t BadNotFound = 0x803E0000;
constexpr uint32_t BadRequestTypeInvalid = 0x80530000;
constexpr uint32_t BadSecurityModeRejected = 0x80540000;
constexpr uint32_t BadSecurityPolicyRejected = 0x80550000;
constexpr uint32_t BadTcpServerTooBusy = 0x807D0000;
constexpr uint32_t BadTcpMessageTypeInvalid = 0x807E0000;
constexpr uint32_t BadTcpSecureChannelUnknown = 0x807F0000;
constexpr uint32_t BadTcpMessageTooLarge = 0x80800000;
constexpr uint32_t BadTcpNotEnoughResources = 0x80810000;
constexpr uint32_t BadTcpInternalError = 0x80820000;
constexpr uint32_t BadTcpEndpointUrlInvalid = 0x80830000;
constexpr uint32_t BadRequestInterrupted = 0x80840000;
constexpr uint32_t BadRequestTimeout = 0x80850000;
constexpr uint32_t BadSecureChannelClosed = 0x80860000;
constexpr uint32_t BadSecureChannelTokenUnknown = 0x80870000;
constexpr uint32_t BadSequenceNumberInvalid = 0x80880000;
constexpr uint32_t BadNotConnected = 0x808A0000;
constexpr uint32_t BadInvalidArgument = 0x80AB0000;
constexpr uint32_t BadConnectionRejected = 0x80AC0000;
constexpr uint32_t BadDisconnect = 0x80AD0000;
constexpr uint32_t BadConnectionClosed = 0x80AE0000;
constexpr uint32_t BadInvalidState = 0x80AF0000;
constexpr uint32_t BadRequestTooLarge = 0x80B80000;
constexpr uint32_t BadResponseTooLarge = 0x80B90000;
constexpr uint32_t BadProtocolVersionUnsupported = 0x80BE0000;

inline bool isBad(uint32_t code)
{
    return (code & 0x80000000u) != 0;
}
} // namespace uatcp::status
