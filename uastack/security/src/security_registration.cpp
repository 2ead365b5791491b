// Makes the secured policies available to the stack's endpoints and channels.
#include "policy_channel_security.h"
#include "security_status.h"

#include <opcua_crypto.h>

#include <openssl/evp.h>

namespace uasec
{
namespace
{
std::unique_ptr<uatcp::ChannelSecurity> create(const PolicyDescription& policy,
                                               const uatcp::SecurityCredentials& credentials)
{
    Bytes ownCertificate = firstCertificate(credentials.ownCertificate);
    RsaKey ownKey =
        RsaKey::fromPrivateKey(credentials.ownPrivateKey.data(), credentials.ownPrivateKey.size());
    RsaKey certificateKey = RsaKey::fromCertificate(ownCertificate.data(), ownCertificate.size());
    // Without a matching certificate and key this side cannot take part in the policy.
    if (ownKey.isNull() || certificateKey.isNull() || EVP_PKEY_eq(ownKey.get(), certificateKey.get()) != 1)
        return nullptr;
    // The client is the side that knows its peer's certificate beforehand.
    auto role = credentials.peerCertificate.empty() ? PolicyChannelSecurity::Role::Server
                                                    : PolicyChannelSecurity::Role::Client;
    const void* pkiConfig = credentials.pkiConfig;
    CertificateCheck check = [pkiConfig, role](const Bytes& certificate) -> uint32_t
    {
        if (!pkiConfig)
        {
            // A server trusts nobody without a store; a client has pinned the server's certificate.
            return role == PolicyChannelSecurity::Role::Client ? status::Good
                                                               : status::BadCertificateUntrusted;
        }
        OpcUa_ByteString der;
        der.Length = static_cast<OpcUa_Int32>(certificate.size());
        der.Data = const_cast<OpcUa_Byte*>(certificate.data());
        return OpcUa_PKIProvider_ValidateCertificate(pkiConfig, &der);
    };
    return std::make_unique<PolicyChannelSecurity>(policy, role, std::move(ownCertificate), std::move(ownKey),
                                                   credentials.peerCertificate, std::move(check));
}

struct Registration
{
    Registration()
    {
        for (const char* uri : {kPolicyBasic128Rsa15, kPolicyBasic256})
        {
            const PolicyDescription* policy = findPolicy(uri);
            uatcp::registerChannelSecurity(uri, [policy](const uatcp::SecurityCredentials& credentials)
                                           { return create(*policy, credentials); });
        }
    }
};
const Registration g_registration;
} // namespace
} // namespace uasec
