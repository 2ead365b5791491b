// Status codes of the security layer (numbers as OPC UA defines them).
#pragma once
#include <cstdint>

namespace uasec::status
{
constexpr uint32_t Good = 0x00000000;
constexpr uint32_t BadInternalError = 0x80020000;
constexpr uint32_t BadOutOfMemory = 0x80030000;
constexpr uint32_t BadEncodingError = 0x80060000;
constexpr uint32_t BadDecodingError = 0x80070000;
constexpr uint32_t BadCertificateInvalid = 0x80120000;
constexpr uint32_t BadSecurityChecksFailed = 0x80130000;
constexpr uint32_t BadCertificateTimeInvalid = 0x80140000;
constexpr uint32_t BadCertificateIssuerTimeInvalid = 0x80150000;
constexpr uint32_t BadCertificateUseNotAllowed = 0x80180000;
constexpr uint32_t BadCertificateUntrusted = 0x801A0000;
constexpr uint32_t BadCertificateRevocationUnknown = 0x801B0000;
constexpr uint32_t BadCertificateRevoked = 0x801D0000;
constexpr uint32_t BadCertificateIssuerRevoked = 0x801E0000;
constexpr uint32_t BadNonceInvalid = 0x80240000;
constexpr uint32_t BadNotSupported = 0x803D0000;
constexpr uint32_t BadNotFound = 0x803E0000;
constexpr uint32_t BadSecurityModeRejected = 0x80540000;
constexpr uint32_t BadSecurityPolicyRejected = 0x80550000;
constexpr uint32_t BadSecureChannelTokenUnknown = 0x80870000;
constexpr uint32_t BadInvalidArgument = 0x80AB0000;

inline bool isBad(uint32_t code)
{
    return (code & 0x80000000u) != 0;
}
} // namespace uasec::status
