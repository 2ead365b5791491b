// The endpoints' certificate store: the server's certificate made on first start and checked
// with OpenSSL, files found on later starts, new pairs for missing files, damaged files kept.
#include "opcwatch_test_root.h"

#include "opcwatchcertificate.h"
#include "uaendpointxml.h"

#include <os/deviceroot.h>
#include <os/text.h>

#include <windows.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace fs = std::filesystem;

namespace
{
const std::u16string kStoreRoot = u"\\Program\\";
const std::string kUri = "urn:panel7:Corvanta:Opcwatch";
const std::string kNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
const std::string kBasic256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256";

std::vector<unsigned char> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What OpenSSL reads from the certificate and key files.
struct CertificateFacts
{
    int keyBits = 0;
    bool signatureVerifies = false;
    bool issuerIsSubject = false;
    bool keyMatches = false;
    long validSeconds = 0;
    std::map<std::string, std::string> subject; // short name -> text
    std::vector<std::string> alternativeNames;  // "URI:..", "DNS:..", "IP", "email:.."
};

std::string nameEntry(X509_NAME* name, int nid)
{
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0)
        return "<none>";
    unsigned char* text = nullptr;
    const int length = ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    std::string value(reinterpret_cast<char*>(text), static_cast<size_t>(std::max(length, 0)));
    OPENSSL_free(text);
    return value;
}

std::optional<CertificateFacts> inspect(const std::string& certificatePath, const std::string& keyPath)
{
    const std::vector<unsigned char> der = readBytes(certificatePath);
    const unsigned char* cursor = der.data();
    X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(der.size()));
    if (!certificate)
        return std::nullopt;
    CertificateFacts facts;
    EVP_PKEY* publicKey = X509_get0_pubkey(certificate);
    facts.keyBits = EVP_PKEY_get_id(publicKey) == EVP_PKEY_RSA ? EVP_PKEY_get_bits(publicKey) : -1;
    facts.signatureVerifies = X509_verify(certificate, publicKey) == 1;
    facts.issuerIsSubject =
        X509_NAME_cmp(X509_get_subject_name(certificate), X509_get_issuer_name(certificate)) == 0;
    int days = 0;
    int seconds = 0;
    if (ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(certificate), X509_get0_notAfter(certificate)))
        facts.validSeconds = days * 86400L + seconds;
    const std::pair<const char*, int> parts[] = {
        {"O", NID_organizationName}, {"OU", NID_organizationalUnitName},
        {"L", NID_localityName},     {"ST", NID_stateOrProvinceName},
        {"C", NID_countryName},      {"CN", NID_commonName},
        {"DC", NID_domainComponent}};
    for (const auto& [label, nid] : parts)
        facts.subject[label] = nameEntry(X509_get_subject_name(certificate), nid);
    auto* names =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; names && i < sk_GENERAL_NAME_num(names); ++i)
    {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
        auto text = [](const ASN1_IA5STRING* value) {
            return std::string(reinterpret_cast<const char*>(value->data),
                               static_cast<size_t>(value->length));
        };
        if (name->type == GEN_URI)
            facts.alternativeNames.push_back("URI:" + text(name->d.uniformResourceIdentifier));
        else if (name->type == GEN_DNS)
            facts.alternativeNames.push_back("DNS:" + text(name->d.dNSName));
        else if (name->type == GEN_EMAIL)
            facts.alternativeNames.push_back("email:" + text(name->d.rfc822Name));
        else if (name->type == GEN_IPADD)
            facts.alternativeNames.push_back("IP");
        else
            facts.alternativeNames.push_back("other");
    }
    GENERAL_NAMES_free(names);
    if (FILE* keyFile = std::fopen(keyPath.c_str(), "r"))
    {
        EVP_PKEY* privateKey = PEM_read_PrivateKey(keyFile, nullptr, nullptr, const_cast<char*>(""));
        std::fclose(keyFile);
        facts.keyMatches = privateKey && X509_check_private_key(certificate, privateKey) == 1;
        EVP_PKEY_free(privateKey);
    }
    X509_free(certificate);
    return facts;
}

class CertificateStoreTest : public OpcwatchTestRoot
{
protected:
    void SetUp() override
    {
        OpcwatchTestRoot::SetUp();
        makeProgramFolder();
        setDeviceName(u"panel7");
    }

    // Nothing for no "Name" value at all.
    static void setDeviceName(const std::optional<std::u16string>& name)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Ident", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        if (name)
            RegSetValueExW(key, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name->c_str()),
                           static_cast<DWORD>((name->size() + 1) * sizeof(char16_t)));
        else
            RegDeleteValueW(key, u"Name");
        RegCloseKey(key);
    }

    std::string certificatePath() const { return hostPath("Program/PKI/CA/certs/Corvanta_Opcwatch.der"); }
    std::string keyPath() const { return hostPath("Program/PKI/CA/private/Corvanta_Opcwatch.pem"); }

    static OpcEndpointConfig endpointConfig(const std::string& url = "opc.tcp://localhost:4840")
    {
        OpcEndpointConfig config;
        config.m_url = url;
        config.m_serializerType = OpcSerializerBinary;
        config.m_securitySettings = {{kNone, OpcMessageSecurityNone},
                                     {kBasic256, OpcMessageSecuritySign | OpcMessageSecuritySignAndEncrypt}};
        return config;
    }

    // One endpoint loaded as a start loads it; the messages it wrote are kept for the test.
    UaStatus load(UaEndpointXml& endpoint, const OpcEndpointConfig& config = endpointConfig())
    {
        clearTrace();
        const UaStatus status = endpoint.loadFromConfig(config, kStoreRoot, kUri);
        m_messages = traceMessages();
        return status;
    }

    bool autocreated() const
    {
        return std::count(m_messages.begin(), m_messages.end(),
                          std::make_pair(3, std::string("Certificate not found - try autocreate"))) == 1;
    }

    std::vector<std::pair<int, std::string>> m_messages;
};

TEST_F(CertificateStoreTest, FirstStartMakesASelfSignedCertificateOpenSslAccepts)
{
    const struct
    {
        const char* what;
        std::optional<std::u16string> deviceName;
        std::string domainComponent;
        std::vector<std::string> alternativeNames;
    } rows[] = {
        {"named device", u"panel7", "panel7", {"URI:" + kUri, "DNS:panel7"}},
        {"empty name", u"", "<none>", {"URI:" + kUri}},
        {"no name value", std::nullopt, "<none>", {"URI:" + kUri}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        fs::remove(certificatePath());
        fs::remove(keyPath());
        setDeviceName(row.deviceName);

        UaEndpointXml endpoint;
        ASSERT_TRUE(load(endpoint).isGood());
        EXPECT_TRUE(autocreated());

        const std::optional<CertificateFacts> facts = inspect(certificatePath(), keyPath());
        ASSERT_TRUE(facts);
        EXPECT_EQ(facts->keyBits, 1024);
        EXPECT_TRUE(facts->signatureVerifies);
        EXPECT_TRUE(facts->issuerIsSubject);
        EXPECT_TRUE(facts->keyMatches);
        EXPECT_EQ(facts->validSeconds, 157680000L);
        EXPECT_EQ(facts->subject.at("CN"), kUri);
        EXPECT_EQ(facts->subject.at("O"), "Corvanta");
        EXPECT_EQ(facts->subject.at("OU"), "Ua");
        EXPECT_EQ(facts->subject.at("C"), "DE");
        EXPECT_EQ(facts->subject.at("DC"), row.domainComponent);
        EXPECT_NE(facts->subject.at("L"), "<none>");
        EXPECT_EQ(facts->subject.at("ST").size(), 3u);
        EXPECT_EQ(facts->alternativeNames, row.alternativeNames);

        struct stat info
        {
        };
        ASSERT_EQ(::stat(keyPath().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);

        // The endpoint carries what the files hold.
        const std::vector<unsigned char> der = readBytes(certificatePath());
        ASSERT_EQ(endpoint.certificate().length(), static_cast<OpcUa_Int32>(der.size()));
        EXPECT_TRUE(std::equal(der.begin(), der.end(), endpoint.certificate().data()));
        EXPECT_GT(endpoint.privateKey().length(), 0);
        ASSERT_NE(endpoint.certificateStore(), nullptr);
        EXPECT_FALSE(endpoint.certificateStore()->isOpen());
        ASSERT_NE(endpoint.pkiConfig(), nullptr);
        EXPECT_STREQ(endpoint.pkiConfig()->TrustedCertificateListLocation, "\\Program\\PKI\\CA\\certs\\");
        EXPECT_STREQ(endpoint.pkiConfig()->RevokedCertificateListLocation,
                     "\\Program\\PKI\\CA\\crl\\examplecrl.crl");
    }
}

TEST_F(CertificateStoreTest, TheEndpointTakesItsSettingsFromTheConfiguration)
{
    OpcEndpointConfig config = endpointConfig("opc.tcp://panel7:48010");
    config.m_serializerType = OpcSerializerXml;
    config.m_securitySettings.push_back({"http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15", 0});
    UaEndpointXml endpoint;
    ASSERT_TRUE(load(endpoint, config).isGood());
    EXPECT_STREQ(endpoint.endpointUrl().toUtf8(), "opc.tcp://panel7:48010");
    EXPECT_EQ(endpoint.mode(), 2u);
    const struct
    {
        std::string policy;
        OpcUa_UInt16 modes;
    } expected[] = {
        {kNone, 1}, {kBasic256, 6}, {"http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15", 0}};
    ASSERT_EQ(endpoint.securitySettingCount(), 3u);
    for (OpcUa_UInt32 i = 0; i < 3; ++i)
    {
        EXPECT_EQ(std::string(endpoint.securitySetting(i)->securityPolicy().toUtf8()), expected[i].policy);
        EXPECT_EQ(endpoint.securitySetting(i)->messageSecurityModes(), expected[i].modes);
    }
}

TEST_F(CertificateStoreTest, PresentFilesAreLoadedAndMissingOnesGiveANewPair)
{
    UaEndpointXml first;
    ASSERT_TRUE(load(first).isGood());
    const std::vector<unsigned char> firstCertificate = readBytes(certificatePath());
    const std::vector<unsigned char> firstKey = readBytes(keyPath());

    const struct
    {
        const char* what;
        std::string removed; // empty: nothing removed
    } rows[] = {
        {"both present", ""},
        {"only the key deleted", keyPath()},
        {"only the certificate deleted", certificatePath()},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        const std::vector<unsigned char> beforeCertificate = readBytes(certificatePath());
        const std::vector<unsigned char> beforeKey = readBytes(keyPath());
        if (!row.removed.empty())
            fs::remove(row.removed);
        UaEndpointXml endpoint;
        ASSERT_TRUE(load(endpoint).isGood());
        EXPECT_EQ(autocreated(), !row.removed.empty());
        // Both files are replaced together, so certificate and key always match.
        EXPECT_EQ(readBytes(certificatePath()) == beforeCertificate, row.removed.empty());
        EXPECT_EQ(readBytes(keyPath()) == beforeKey, row.removed.empty());
        const std::optional<CertificateFacts> facts = inspect(certificatePath(), keyPath());
        ASSERT_TRUE(facts);
        EXPECT_TRUE(facts->keyMatches);
        EXPECT_EQ(endpoint.certificate().length(),
                  static_cast<OpcUa_Int32>(readBytes(certificatePath()).size()));
    }
    EXPECT_NE(readBytes(keyPath()), firstKey);
    EXPECT_NE(readBytes(certificatePath()), firstCertificate);
}

TEST_F(CertificateStoreTest, TwoEndpointsShareOneCertificate)
{
    OpcServerConfigData config;
    config.m_serverInstanceUri = kUri;
    config.m_endpoints = {endpointConfig("opc.tcp://localhost:4840"),
                          endpointConfig("opc.tcp://localhost:4841")};
    clearTrace();
    const std::vector<std::unique_ptr<UaEndpointXml>> endpoints = loadOpcEndpoints(config, kStoreRoot);
    m_messages = traceMessages();
    ASSERT_EQ(endpoints.size(), 2u);
    EXPECT_TRUE(autocreated()); // once: the second endpoint finds the first one's files
    EXPECT_STREQ(endpoints[1]->endpointUrl().toUtf8(), "opc.tcp://localhost:4841");
    EXPECT_EQ(endpoints[0]->certificate(), endpoints[1]->certificate());
    EXPECT_EQ(endpoints[0]->privateKey(), endpoints[1]->privateKey());
}

TEST_F(CertificateStoreTest, DamagedFilesAreKeptAndTheirEndpointDropped)
{
    const std::string certificateFile = "\\Program\\PKI/CA/certs/Corvanta_Opcwatch.der";
    const std::string keyFile = "\\Program\\PKI/CA/private/Corvanta_Opcwatch.pem";
    const struct
    {
        const char* what;
        std::string damaged; // the file written with garbage; empty: no PKI folders at all
        std::string message; // up to its status
    } rows[] = {
        {"corrupt certificate", certificatePath(), "loadCertificate failed (s=" + certificateFile + ")"},
        {"corrupt key", keyPath(), "loadPrivateKey failed (s=" + keyFile + ")"},
        {"no PKI folders", "", "openCertificateStore failed (s=\\Program\\)"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        fs::remove_all(hostPath("Program"));
        makeProgramFolder();
        {
            UaEndpointXml good;
            ASSERT_TRUE(load(good).isGood());
        }
        if (row.damaged.empty())
            fs::remove_all(hostPath("Program/PKI"));
        else
            std::ofstream(row.damaged, std::ios::binary | std::ios::trunc) << "not a certificate or key";
        const std::vector<unsigned char> certificateBefore = readBytes(certificatePath());
        const std::vector<unsigned char> keyBefore = readBytes(keyPath());

        UaEndpointXml endpoint;
        const UaStatus status = load(endpoint);
        EXPECT_TRUE(status.isBad());
        char code[32];
        std::snprintf(code, sizeof code, " [ret=0x%08x]", status.statusCode());
        EXPECT_NE(std::find(m_messages.begin(), m_messages.end(), std::make_pair(1, row.message + code)),
                  m_messages.end());
        EXPECT_EQ(endpoint.certificate().length(), -1);
        if (!row.damaged.empty())
        {
            EXPECT_FALSE(autocreated());
            EXPECT_EQ(readBytes(certificatePath()), certificateBefore);
            EXPECT_EQ(readBytes(keyPath()), keyBefore);
        }

        // Loading the configuration drops it; the others stay.
        OpcServerConfigData config;
        config.m_serverInstanceUri = kUri;
        config.m_endpoints = {endpointConfig()};
        clearTrace();
        EXPECT_TRUE(loadOpcEndpoints(config, kStoreRoot).empty());
        const auto messages = traceMessages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(),
                  std::make_pair(1, std::string("Failed to load XML endpoint configuration")));
    }
}

// The build puts the store's folders beside the programs, empty, as a new device has them.
TEST(CertificateStoreFolders, LieBesideTheProgram)
{
    for (const char* folder : {"certs", "private", "crl"})
        EXPECT_TRUE(fs::is_directory(os::programDirectory() + "/PKI/CA/" + folder)) << folder;
}
} // namespace
