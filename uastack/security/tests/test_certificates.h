// Keys, certificates and revocation lists made on the fly for the tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;

namespace sectest
{
using Bytes = std::vector<uint8_t>;

struct Identity
{
    EVP_PKEY* key = nullptr; // owned
    Bytes certificate;       // DER
    long serial = 0;
    Identity() = default;
    Identity(const Identity&) = delete;
    Identity& operator=(const Identity&) = delete;
    Identity(Identity&& other) noexcept;
    Identity& operator=(Identity&& other) noexcept;
    ~Identity();
    Bytes privateKeyDer() const; // PKCS #1
    std::string privateKeyPem() const;
    std::string certificatePem() const;
};

// A certificate valid from notBeforeDays to notAfterDays (relative to now),
// self-signed when issuer is null, a CA when ca is set.
// The subject alternative name carries uri (default "urn:test:<commonName>").
Identity makeIdentity(const std::string& commonName, int bits = 2048, const Identity* issuer = nullptr,
                      bool ca = false, int notBeforeDays = -1, int notAfterDays = 365,
                      const std::string& uri = "");
// An identity of a PEM private key and a DER certificate made elsewhere.
Identity identityOf(const std::string& privateKeyPem, const Bytes& certificate);
// The DER form of the first certificate of a PEM text; empty when there is none.
Bytes pemToDer(const std::string& pem);
std::string readTextFile(const std::string& path);
// A revocation list of issuer naming the serials.
Bytes makeRevocationList(const Identity& issuer, const std::vector<long>& serials);

void writeFile(const std::string& path, const Bytes& content);
void writeFile(const std::string& path, const std::string& content);

// A fresh folder below the temporary folder, removed by the destructor.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};
} // namespace sectest
