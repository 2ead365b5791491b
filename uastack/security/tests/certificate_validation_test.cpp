// Certificates checked against a store of real folders: trust of the
// certificate itself or of its issuer, validity periods, revocation lists
// (single file or folder, DER or PEM), damaged signatures.
#include "certificate_validation.h"
#include "security_status.h"
#include "test_certificates.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace uasec;
using sectest::makeIdentity;

namespace
{
class CertificateValidation : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(trusted());
        std::filesystem::create_directories(crl());
        paths.trustedFolder = trusted();
        paths.revocationPath = crl();
    }
    std::string trusted() const { return m_folder.path() + "/trusted"; }
    std::string crl() const { return m_folder.path() + "/crl"; }
    uint32_t check(const sectest::Identity& identity)
    {
        return validateCertificate(paths, identity.certificate.data(), identity.certificate.size());
    }
    sectest::TempFolder m_folder;
    CertificateStorePaths paths;
};
} // namespace

TEST_F(CertificateValidation, SelfSignedTrustedOnlyWhenInTheFolder)
{
    auto client = makeIdentity("client", 1024);
    EXPECT_EQ(check(client), status::BadCertificateUntrusted);
    sectest::writeFile(trusted() + "/client.der", client.certificate);
    EXPECT_EQ(check(client), status::Good);
    auto pemClient = makeIdentity("pem", 1024);
    sectest::writeFile(trusted() + "/pem.pem", pemClient.certificatePem());
    EXPECT_EQ(check(pemClient), status::Good);
    // Same name, other key: not the trusted certificate.
    auto impostor = makeIdentity("client", 1024);
    EXPECT_EQ(check(impostor), status::BadCertificateUntrusted);
    Bytes junk(50, 1);
    EXPECT_EQ(validateCertificate(paths, junk.data(), junk.size()), status::BadCertificateInvalid);
    // Missing folders trust nothing.
    CertificateStorePaths none{m_folder.path() + "/missing", ""};
    EXPECT_EQ(validateCertificate(none, client.certificate.data(), client.certificate.size()),
              status::BadCertificateUntrusted);
}

TEST_F(CertificateValidation, ValidityPeriod)
{
    auto expired = makeIdentity("expired", 1024, nullptr, false, -30, -1);
    auto future = makeIdentity("future", 1024, nullptr, false, 2, 30);
    sectest::writeFile(trusted() + "/expired.der", expired.certificate);
    sectest::writeFile(trusted() + "/future.der", future.certificate);
    EXPECT_EQ(check(expired), status::BadCertificateTimeInvalid);
    EXPECT_EQ(check(future), status::BadCertificateTimeInvalid);
}

TEST_F(CertificateValidation, IssuedByATrustedAuthorityAndRevocation)
{
    auto ca = makeIdentity("ca", 2048, nullptr, true);
    auto good = makeIdentity("good", 1024, &ca);
    auto revoked = makeIdentity("revoked", 1024, &ca);
    EXPECT_EQ(check(good), status::BadCertificateUntrusted);
    sectest::writeFile(trusted() + "/ca.der", ca.certificate);
    EXPECT_EQ(check(good), status::Good);
    EXPECT_EQ(check(revoked), status::Good);
    sectest::writeFile(crl() + "/ca.crl", sectest::makeRevocationList(ca, {revoked.serial}));
    EXPECT_EQ(check(good), status::Good);
    EXPECT_EQ(check(revoked), status::BadCertificateRevoked);
    // The list may also be named as one file.
    paths.revocationPath = crl() + "/ca.crl";
    EXPECT_EQ(check(revoked), status::BadCertificateRevoked);
    // A list not signed by the issuer does not count as its list.
    auto stranger = makeIdentity("ca", 2048, nullptr, true);
    sectest::writeFile(crl() + "/ca.crl", sectest::makeRevocationList(stranger, {good.serial}));
    EXPECT_NE(check(good), status::BadCertificateRevoked);
    // An expired authority takes its certificates with it.
    auto oldCa = makeIdentity("old-ca", 2048, nullptr, true, -30, -1);
    auto child = makeIdentity("child", 1024, &oldCa, false, -1, 30);
    sectest::writeFile(trusted() + "/old-ca.der", oldCa.certificate);
    EXPECT_EQ(check(child), status::BadCertificateIssuerTimeInvalid);
}

TEST_F(CertificateValidation, DamagedSignatureIsInvalid)
{
    auto client = makeIdentity("client", 1024);
    Bytes damaged = client.certificate;
    damaged[damaged.size() - 5] ^= 0x20; // inside the signature
    sectest::writeFile(trusted() + "/client.der", damaged);
    EXPECT_NE(validateCertificate(paths, damaged.data(), damaged.size()), status::Good);
}
