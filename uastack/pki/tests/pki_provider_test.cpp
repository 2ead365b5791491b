// The stack's folder-store PKI provider on real files below a fresh device root.
#include <opcua.h>
#include <opcua_pki.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{
std::string readFile(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string bytes(const OpcUa_ByteString& b)
{
    return b.Length > 0
               ? std::string(reinterpret_cast<const char*>(b.Data), static_cast<std::size_t>(b.Length))
               : std::string();
}

class PkiProviderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "uastack-pki-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        ::setenv("DEVICE_ROOT", m_root.c_str(), 1);
        std::filesystem::create_directories(m_root + "/certs");
        const std::string make = "openssl req -x509 -newkey rsa:1024 -nodes -days 1 -subj /CN=pki -keyout '" +
                                 key() + "' -out '" + pem() + "' >/dev/null 2>&1 && openssl x509 -in '" +
                                 pem() + "' -outform DER -out '" + der() + "'";
        ASSERT_EQ(std::system(make.c_str()), 0);

        m_trusted = m_root + "/certs";
        m_configuration.PkiType = OPCUA_PKI_TYPE_DIRECTORY_STORE;
        m_configuration.TrustedCertificateListLocation = m_trusted.data();
        ASSERT_EQ(OpcUa_PKIProvider_Create(&m_configuration, &m_provider), OpcUa_Good);
        ASSERT_EQ(m_provider.OpenCertificateStore(&m_provider, &m_store), OpcUa_Good);
    }

    void TearDown() override
    {
        if (m_store)
        {
            EXPECT_EQ(m_provider.CloseCertificateStore(&m_provider, &m_store), OpcUa_Good);
        }
        EXPECT_EQ(m_store, nullptr);
        OpcUa_PKIProvider_Delete(&m_provider);
        std::filesystem::remove_all(m_root);
    }

    std::string pem() const { return m_root + "/certs/c.pem"; }
    std::string der() const { return m_root + "/certs/c.der"; }
    std::string key() const { return m_root + "/k.pem"; }

    std::string m_root;
    std::string m_trusted;
    OpcUa_CertificateStoreConfiguration m_configuration{};
    OpcUa_PKIProvider m_provider{};
    OpcUa_Void* m_store = nullptr;
};

TEST_F(PkiProviderTest, CreateChecksTheConfiguration)
{
    OpcUa_PKIProvider other{};
    EXPECT_EQ(OpcUa_PKIProvider_Create(nullptr, &other), OpcUa_BadInvalidArgument);
    OpcUa_CertificateStoreConfiguration configuration = m_configuration;
    configuration.PkiType = OPCUA_PKI_TYPE_NONE;
    EXPECT_EQ(OpcUa_PKIProvider_Create(&configuration, &other), OpcUa_BadNotSupported);
    EXPECT_EQ(other.Handle, nullptr);
    configuration.PkiType = OPCUA_PKI_TYPE_DIRECTORY_STORE;
    configuration.TrustedCertificateListLocation = nullptr;
    EXPECT_EQ(OpcUa_PKIProvider_Create(&configuration, &other), OpcUa_BadInvalidArgument);
    EXPECT_EQ(OpcUa_PKIProvider_Delete(&other), OpcUa_Good);
}

TEST_F(PkiProviderTest, TheProviderKeepsItsOwnCopyOfTheConfiguration)
{
    OpcUa_PKIProvider other{};
    std::string location = m_trusted;
    OpcUa_CertificateStoreConfiguration configuration = m_configuration;
    configuration.TrustedCertificateListLocation = location.data();
    ASSERT_EQ(OpcUa_PKIProvider_Create(&configuration, &other), OpcUa_Good);
    location.assign("/nowhere/at/all");
    OpcUa_Void* store = nullptr;
    EXPECT_EQ(other.OpenCertificateStore(&other, &store), OpcUa_Good);
    EXPECT_EQ(other.CloseCertificateStore(&other, &store), OpcUa_Good);
    EXPECT_EQ(other.CloseCertificateStore(&other, &store), OpcUa_BadInvalidArgument);
    OpcUa_PKIProvider_Delete(&other);
}

TEST_F(PkiProviderTest, CertificatesLoadAsDerFromDerAndPem)
{
    OpcUa_ByteString fromDer{-1, nullptr};
    OpcUa_ByteString fromPem{-1, nullptr};
    ASSERT_EQ(m_provider.LoadCertificate(&m_provider, der().c_str(), m_store, &fromDer), OpcUa_Good);
    ASSERT_EQ(m_provider.LoadCertificate(&m_provider, pem().c_str(), m_store, &fromPem), OpcUa_Good);
    EXPECT_EQ(bytes(fromDer), readFile(der()));
    EXPECT_EQ(bytes(fromPem), readFile(der()));
    OpcUa_ByteString_Clear(&fromDer);
    OpcUa_ByteString_Clear(&fromPem);

    // Device paths with backslashes reach the same file.
    const std::string devicePath = "\\certs\\c.der";
    ASSERT_EQ(m_provider.LoadCertificate(&m_provider, devicePath.c_str(), m_store, &fromDer), OpcUa_Good);
    EXPECT_EQ(bytes(fromDer), readFile(der()));
    OpcUa_ByteString_Clear(&fromDer);
}

TEST_F(PkiProviderTest, BrokenCertificateFilesAreRefused)
{
    const std::string content = readFile(der());
    std::ofstream(m_root + "/trailing.der", std::ios::binary) << content << "x";
    std::ofstream(m_root + "/cut.der", std::ios::binary) << content.substr(0, content.size() / 2);
    OpcUa_ByteString certificate{-1, nullptr};
    EXPECT_EQ(
        m_provider.LoadCertificate(&m_provider, (m_root + "/trailing.der").c_str(), m_store, &certificate),
        OpcUa_BadCertificateInvalid);
    EXPECT_EQ(m_provider.LoadCertificate(&m_provider, (m_root + "/cut.der").c_str(), m_store, &certificate),
              OpcUa_BadCertificateInvalid);
    EXPECT_EQ(m_provider.LoadCertificate(&m_provider, (m_root + "/none.der").c_str(), m_store, &certificate),
              OpcUa_BadNotFound);
    EXPECT_EQ(m_provider.LoadCertificate(&m_provider, m_trusted.c_str(), m_store, &certificate),
              OpcUa_BadNotFound);
    EXPECT_EQ(certificate.Data, nullptr);
}

TEST_F(PkiProviderTest, SavedCertificateLoadsBackUnchanged)
{
    OpcUa_ByteString certificate{-1, nullptr};
    ASSERT_EQ(m_provider.LoadCertificate(&m_provider, pem().c_str(), m_store, &certificate), OpcUa_Good);
    const std::string saved = m_root + "/certs/saved.der";
    ASSERT_EQ(m_provider.SaveCertificate(&m_provider, &certificate, m_store, saved.c_str()), OpcUa_Good);
    EXPECT_EQ(readFile(saved), bytes(certificate));

    OpcUa_Byte garbage[] = {1, 2, 3};
    OpcUa_ByteString invalid{3, garbage};
    EXPECT_EQ(m_provider.SaveCertificate(&m_provider, &invalid, m_store, (m_root + "/bad.der").c_str()),
              OpcUa_BadCertificateInvalid);
    EXPECT_FALSE(std::filesystem::exists(m_root + "/bad.der"));
    OpcUa_ByteString_Clear(&certificate);
}

TEST_F(PkiProviderTest, PrivateKeysLoadWithoutEverAskingForAPassword)
{
    const std::string locked = m_root + "/locked.pem";
    ASSERT_EQ(std::system(
                  ("openssl pkey -in '" + key() + "' -aes256 -passout pass:open-sesame -out '" + locked + "'")
                      .c_str()),
              0);
    OpcUa_ByteString plain{-1, nullptr};
    OpcUa_ByteString decrypted{-1, nullptr};
    ASSERT_EQ(m_provider.LoadPrivateKeyFromFile(key().c_str(), OPCUA_PKI_FORMAT_PEM, nullptr, &plain),
              OpcUa_Good);
    EXPECT_EQ(m_provider.LoadPrivateKeyFromFile(locked.c_str(), OPCUA_PKI_FORMAT_PEM, nullptr, &decrypted),
              OpcUa_BadSecurityChecksFailed);
    EXPECT_EQ(m_provider.LoadPrivateKeyFromFile(locked.c_str(), OPCUA_PKI_FORMAT_PEM, "open", &decrypted),
              OpcUa_BadSecurityChecksFailed);
    ASSERT_EQ(
        m_provider.LoadPrivateKeyFromFile(locked.c_str(), OPCUA_PKI_FORMAT_PEM, "open-sesame", &decrypted),
        OpcUa_Good);
    EXPECT_EQ(bytes(decrypted), bytes(plain));
    OpcUa_ByteString_Clear(&plain);
    OpcUa_ByteString_Clear(&decrypted);

    OpcUa_ByteString none{-1, nullptr};
    EXPECT_EQ(m_provider.LoadPrivateKeyFromFile(pem().c_str(), OPCUA_PKI_FORMAT_PEM, nullptr, &none),
              OpcUa_BadDecodingError);
    EXPECT_EQ(m_provider.LoadPrivateKeyFromFile((m_root + "/none.pem").c_str(), OPCUA_PKI_FORMAT_PEM, nullptr,
                                                &none),
              OpcUa_BadNotFound);
    EXPECT_EQ(m_provider.LoadPrivateKeyFromFile(key().c_str(), OPCUA_PKI_FORMAT_DER, nullptr, &none),
              OpcUa_BadNotSupported);
    EXPECT_EQ(none.Data, nullptr);
}
// The stack's trace, collected while a test runs.
class TraceLog
{
public:
    TraceLog()
    {
        EXPECT_EQ(OpcUa_P_Initialize(&m_platform), OpcUa_Good);
        OpcUa_ProxyStubConfiguration configuration;
        OpcUa_ProxyStub_GetConfiguration(&configuration);
        configuration.bProxyStub_Trace_Enabled = OpcUa_True;
        configuration.uProxyStub_Trace_Level =
            OPCUA_TRACE_LEVEL_INFO | OPCUA_TRACE_LEVEL_WARNING | OPCUA_TRACE_LEVEL_ERROR;
        EXPECT_EQ(OpcUa_ProxyStub_Initialize(m_platform, &configuration), OpcUa_Good);
        OpcUa_Trace_SetSink(collect, this);
    }
    ~TraceLog()
    {
        OpcUa_Trace_SetSink(nullptr, nullptr);
        OpcUa_ProxyStub_Clear();
        OpcUa_P_Clean(&m_platform);
    }
    // The traced lines that hold every one of the texts.
    std::vector<std::string> linesWith(const std::vector<std::string>& texts) const
    {
        std::vector<std::string> found;
        for (const auto& line : m_lines)
        {
            bool all = true;
            for (const auto& text : texts)
                all = all && line.find(text) != std::string::npos;
            if (all)
                found.push_back(line);
        }
        return found;
    }

private:
    static void collect(OpcUa_UInt32, const OpcUa_CharA* message, OpcUa_Void* context)
    {
        static_cast<TraceLog*>(context)->m_lines.emplace_back(message);
    }
    OpcUa_Handle m_platform = nullptr;
    std::vector<std::string> m_lines;
};

TEST_F(PkiProviderTest, OpeningTheStoreLogsWhereItIsAndWhatIsMissing)
{
    // A host path outside the device root resolves below the root, where nothing is.
    const std::string outside = "/pki-outside-the-root/trusted";
    const std::string missingRevocation = m_root + "/crl";
    struct Case
    {
        const char* name;
        std::string trusted;
        std::string revoked;
        OpcUa_StatusCode expected;
        std::vector<std::vector<std::string>> logged; // each entry: texts one line holds together
        size_t missing;                               // lines that report something missing
    };
    const Case cases[] = {
        {"trusted folder outside the root",
         outside,
         "",
         OpcUa_BadNotFound,
         {{"trusted certificate folder", "\"" + outside + "\"", m_root + outside}},
         1},
        {"store with a missing revocation folder",
         m_trusted,
         missingRevocation,
         OpcUa_Good,
         {{"revocation list location", "\"" + missingRevocation + "\"", "not found"},
          {"PKI store opened", m_trusted, missingRevocation}},
         1},
        {"complete store", m_trusted, m_trusted, OpcUa_Good, {{"PKI store opened", m_trusted}}, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        TraceLog log;
        std::string trusted = c.trusted;
        std::string revoked = c.revoked;
        OpcUa_CertificateStoreConfiguration configuration = m_configuration;
        configuration.TrustedCertificateListLocation = trusted.data();
        configuration.RevokedCertificateListLocation = revoked.empty() ? nullptr : revoked.data();
        OpcUa_PKIProvider provider{};
        ASSERT_EQ(OpcUa_PKIProvider_Create(&configuration, &provider), OpcUa_Good);
        OpcUa_Void* store = nullptr;
        EXPECT_EQ(provider.OpenCertificateStore(&provider, &store), c.expected);
        if (store)
        {
            EXPECT_EQ(provider.CloseCertificateStore(&provider, &store), OpcUa_Good);
        }
        OpcUa_PKIProvider_Delete(&provider);
        for (const auto& texts : c.logged)
            EXPECT_EQ(log.linesWith(texts).size(), 1u) << texts.front();
        EXPECT_EQ(log.linesWith({"not found"}).size(), c.missing);
    }
}
} // namespace
