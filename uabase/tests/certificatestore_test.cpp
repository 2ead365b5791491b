// The certificate store wrapper: its states and what each operation does in them.
#include "uatestdeviceroot.h"

#include "uacertificatestore.h"
#include "uapkiprovider.h"

#include <memory>

namespace
{
int shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

class CertificateStoreTest : public TempDeviceRoot
{
protected:
    void SetUp() override
    {
        TempDeviceRoot::SetUp();
        std::filesystem::create_directories(path("PKI/CA/certs"));
        std::filesystem::create_directories(path("PKI/CA/private"));
        std::filesystem::create_directories(path("PKI/CA/crl"));
        ASSERT_EQ(shell("openssl req -x509 -newkey rsa:1024 -nodes -days 2 -subj /CN=store-test -keyout '" +
                        key() + "' -out '" + pem() + "'"),
                  0);
        ASSERT_EQ(shell("openssl x509 -in '" + pem() + "' -outform DER -out '" + der() + "'"), 0);
    }

    std::string trusted() const { return path("PKI/CA/certs"); }
    std::string crl() const { return path("PKI/CA/crl/examplecrl.crl"); }
    std::string pem() const { return path("PKI/CA/certs/server.pem"); }
    std::string der() const { return path("PKI/CA/certs/server.der"); }
    std::string key() const { return path("PKI/CA/private/server.pem"); }

    UaString text(const std::string& s) const { return UaString(s.c_str()); }

    std::string bytes(const UaByteString& b) const
    {
        return b.length() > 0 ? std::string(reinterpret_cast<const char*>(b.data()), b.length())
                              : std::string();
    }
};

TEST_F(CertificateStoreTest, ClosedStoreRefusesEverythingButOpen)
{
    UaPkiProvider store(text(trusted()), text(crl()));
    EXPECT_FALSE(store.isOpen());
    UaByteString certificate;
    EXPECT_EQ(store.loadCertificate(text(der()), certificate).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_EQ(certificate.length(), -1);
    UaByteString privateKey;
    EXPECT_EQ(store.loadPrivateKey(text(key()), OPCUA_PKI_FORMAT_PEM, UaString(), privateKey).statusCode(),
              OpcUa_BadInvalidArgument);
    EXPECT_EQ(store.closeCertificateStore().statusCode(), OpcUa_BadInvalidArgument);
}

TEST_F(CertificateStoreTest, OpenStoreLoadsCertificatesAndKeysAndRefusesASecondOpen)
{
    UaPkiProvider store(text(trusted()), text(crl()));
    ASSERT_EQ(store.openCertificateStore().statusCode(), OpcUa_Good);
    EXPECT_TRUE(store.isOpen());
    EXPECT_EQ(store.openCertificateStore().statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_TRUE(store.isOpen());

    UaByteString fromDer;
    UaByteString fromPem;
    ASSERT_EQ(store.loadCertificate(text(der()), fromDer).statusCode(), OpcUa_Good);
    ASSERT_EQ(store.loadCertificate(text(pem()), fromPem).statusCode(), OpcUa_Good);
    EXPECT_EQ(bytes(fromDer), readText(der()));
    EXPECT_EQ(bytes(fromPem), readText(der()));

    UaByteString missing;
    EXPECT_EQ(store.loadCertificate(text(path("PKI/CA/certs/none.der")), missing).statusCode(),
              OpcUa_BadNotFound);
    writeText(path("PKI/CA/certs/garbage.der"), "no certificate");
    EXPECT_EQ(store.loadCertificate(text(path("PKI/CA/certs/garbage.der")), missing).statusCode(),
              OpcUa_BadCertificateInvalid);

    UaByteString privateKey;
    ASSERT_EQ(store.loadPrivateKey(text(key()), OPCUA_PKI_FORMAT_PEM, UaString(), privateKey).statusCode(),
              OpcUa_Good);
    EXPECT_GT(privateKey.length(), 500);
    EXPECT_EQ(store.loadPrivateKey(text(key()), OPCUA_PKI_FORMAT_DER, UaString(), privateKey).statusCode(),
              OpcUa_BadNotSupported);

    EXPECT_EQ(store.closeCertificateStore().statusCode(), OpcUa_Good);
    EXPECT_FALSE(store.isOpen());
    EXPECT_EQ(store.loadCertificate(text(der()), fromDer).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_EQ(store.closeCertificateStore().statusCode(), OpcUa_BadInvalidArgument);

    // Open again with a new provider; the old one was given back at the close.
    ASSERT_EQ(store.openCertificateStore().statusCode(), OpcUa_Good);
    EXPECT_EQ(store.loadCertificate(text(der()), fromDer).statusCode(), OpcUa_Good);
}

TEST_F(CertificateStoreTest, FailingOpenLeavesTheStoreClosed)
{
    UaPkiProvider store(text(path("PKI/missing")), text(crl()));
    EXPECT_EQ(store.openCertificateStore().statusCode(), OpcUa_BadNotFound);
    EXPECT_FALSE(store.isOpen());
    EXPECT_EQ(store.closeCertificateStore().statusCode(), OpcUa_BadInvalidArgument);

    std::filesystem::create_directories(path("PKI/missing"));
    EXPECT_EQ(store.openCertificateStore().statusCode(), OpcUa_Good);

    UaPkiProvider unnamed{UaString(), text(crl())};
    EXPECT_EQ(unnamed.openCertificateStore().statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_FALSE(unnamed.isOpen());
}

TEST_F(CertificateStoreTest, ACopyOwnsItsTextsAndStartsClosed)
{
    auto original = std::make_unique<UaPkiProviderFileStore>(text(trusted()), text(crl()));
    ASSERT_EQ(original->openCertificateStore().statusCode(), OpcUa_Good);
    UaPkiProvider copy(*original);
    EXPECT_FALSE(copy.isOpen());
    // Destroying the open original closes it and gives its provider back (the leak checker of the
    // sanitizer build sees one that is not); the copy's texts stay valid.
    original.reset();

    const OpcUa_CertificateStoreConfiguration* configuration = copy.pkiConfig();
    EXPECT_EQ(configuration->PkiType, OPCUA_PKI_TYPE_DIRECTORY_STORE);
    EXPECT_EQ(std::string(configuration->TrustedCertificateListLocation), trusted());
    EXPECT_EQ(std::string(configuration->RevokedCertificateListLocation), crl());
    ASSERT_EQ(copy.openCertificateStore().statusCode(), OpcUa_Good);
    UaByteString certificate;
    EXPECT_EQ(copy.loadCertificate(text(der()), certificate).statusCode(), OpcUa_Good);
}

TEST_F(CertificateStoreTest, ApplicationStoreTakesItsResultsFirst)
{
    ASSERT_EQ(shell("openssl pkey -in '" + key() + "' -aes256 -passout pass:pw -out '" +
                    path("PKI/CA/private/locked.pem") + "'"),
              0);
    UaCertificateStore store(text(der()), text(crl()), text(trusted()));
    EXPECT_EQ(std::string(store.certificateFile().toUtf8()), der());
    EXPECT_EQ(std::string(store.trustListLocation().toUtf8()), trusted());
    EXPECT_EQ(std::string(store.revocationListLocation().toUtf8()), crl());
    ASSERT_EQ(store.openCertificateStore().statusCode(), OpcUa_Good);
    UaByteString certificate;
    EXPECT_EQ(store.loadCertificate(certificate, store.certificateFile()).statusCode(), OpcUa_Good);
    EXPECT_EQ(bytes(certificate), readText(der()));
    UaByteString plain;
    UaByteString locked;
    EXPECT_EQ(store.loadPrivateKey(plain, text(key()), 2, UaString()).statusCode(), OpcUa_Good);
    EXPECT_EQ(store.loadPrivateKey(locked, text(path("PKI/CA/private/locked.pem")), 2, UaString("bad"))
                  .statusCode(),
              OpcUa_BadSecurityChecksFailed);
    EXPECT_EQ(
        store.loadPrivateKey(locked, text(path("PKI/CA/private/locked.pem")), 2, UaString("pw")).statusCode(),
        OpcUa_Good);
    EXPECT_EQ(bytes(locked), bytes(plain));
    EXPECT_EQ(store.closeCertificateStore().statusCode(), OpcUa_Good);
    EXPECT_EQ(store.closeCertificateStore().statusCode(), OpcUa_BadInvalidArgument);
}
} // namespace
