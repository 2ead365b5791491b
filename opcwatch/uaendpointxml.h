// One endpoint of the configuration file as the server runtime takes it: URL, encoding and
// security settings from the file, and the server's certificate and key from the certificate
// store below the program folder (made on first start).
#pragma once

#include "opcserverconfigdata.h"

#include <uacertificatestore.h>
#include <uaendpoint.h>

#include <memory>
#include <string>
#include <vector>

class UaEndpointXml : public UaEndpoint
{
public:
    UaEndpointXml();
    ~UaEndpointXml() override;

    // Takes the endpoint's settings, then finds the certificate and key files below the store
    // root; when either is missing both are made anew ("Certificate not found - try autocreate").
    // Opens the endpoint's certificate store and loads both; a file that is there but cannot be
    // read is left as it is. Good, or the status of the first store step that failed, traced at
    // level 1 ("openCertificateStore failed", "loadCertificate failed", "loadPrivateKey failed").
    UaStatus loadFromConfig(const OpcEndpointConfig& config, const std::u16string& certificateStoreRoot,
                            const std::string& serverInstanceUri);

    // Null until the certificate was loaded.
    UaCertificateStore* certificateStore() const { return m_certificateStore.get(); }

private:
    UaStatus loadCertificate(const std::u16string& certificateStoreRoot,
                             const std::string& serverInstanceUri);

    std::unique_ptr<UaCertificateStore> m_certificateStore;
};

// The configuration's endpoints with their certificates, in file order. An endpoint that fails
// is dropped with "Failed to load XML endpoint configuration" (level 1).
std::vector<std::unique_ptr<UaEndpointXml>> loadOpcEndpoints(const OpcServerConfigData& config,
                                                             const std::u16string& certificateStoreRoot);
