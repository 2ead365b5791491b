// Endpoint records: security settings with their mode sets, and copies that own their parts.
#include "uaendpoint.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
TEST(UaEndpointSecuritySetting, ModesOneToFourAreOredInAndOthersRefused)
{
    const struct
    {
        OpcUa_UInt32 mode;
        OpcUa_StatusCode result;
        OpcUa_UInt16 modesAfter;
        OpcUa_UInt32 countAfter;
    } steps[] = {
        {0, OpcUa_BadInvalidArgument, 0x0, 0},
        {1, OpcUa_Good, 0x1, 1},
        {5, OpcUa_BadInvalidArgument, 0x1, 1},
        {4, OpcUa_Good, 0x5, 2},
        {4, OpcUa_Good, 0x5, 2},
        {3, OpcUa_Good, 0x7, 3},
        {2, OpcUa_Good, 0x7, 3},
        {0xFFFFFFFF, OpcUa_BadInvalidArgument, 0x7, 3},
    };
    UaEndpointSecuritySetting setting;
    EXPECT_EQ(0u, setting.messageSecurityModeCount());
    for (const auto& step : steps)
    {
        EXPECT_EQ(step.result, setting.addMessageSecurityMode(step.mode).statusCode()) << step.mode;
        EXPECT_EQ(step.modesAfter, setting.messageSecurityModes()) << step.mode;
        EXPECT_EQ(step.countAfter, setting.messageSecurityModeCount()) << step.mode;
    }

    UaEndpointSecuritySetting signOnly;
    signOnly.addMessageSecurityMode(2);
    EXPECT_EQ(1u, signOnly.messageSecurityModeCount());
    UaEndpointSecuritySetting three;
    three.addMessageSecurityMode(3); // 0x1 and 0x2 at once
    EXPECT_EQ(2u, three.messageSecurityModeCount());
}

TEST(UaEndpoint, ModeTakesOneOrTwoOnly)
{
    UaEndpoint endpoint;
    EXPECT_EQ(0u, endpoint.mode());
    EXPECT_EQ(OpcUa_Good, endpoint.setMode(2).statusCode());
    for (OpcUa_UInt32 bad : {0u, 3u, 100u})
    {
        EXPECT_EQ(OpcUa_BadInvalidArgument, endpoint.setMode(bad).statusCode()) << bad;
        EXPECT_EQ(2u, endpoint.mode());
    }
    EXPECT_EQ(OpcUa_Good, endpoint.setMode(1).statusCode());
    EXPECT_EQ(1u, endpoint.mode());
}

TEST(UaEndpoint, TheAnnouncedUrlIsTheSecondOne)
{
    UaEndpoint endpoint;
    EXPECT_TRUE(endpoint.firstFlag());
    EXPECT_TRUE(endpoint.secondFlag());
    EXPECT_EQ(nullptr, endpoint.endpointHandle());
    EXPECT_EQ(nullptr, endpoint.pkiConfig());
    endpoint.setEndpointUrl(UaString("opc.tcp://first:4840"), false);
    EXPECT_EQ(UaString(""), endpoint.endpointUrl());
    endpoint.setEndpointUrl(UaString("opc.tcp://both:4840"), true);
    EXPECT_EQ(UaString("opc.tcp://both:4840"), endpoint.endpointUrl());
    endpoint.setEndpointUrl(UaString("opc.tcp://other:1"), false);
    EXPECT_EQ(UaString("opc.tcp://both:4840"), endpoint.endpointUrl());
    endpoint.setFirstFlag(false);
    EXPECT_FALSE(endpoint.firstFlag());
    EXPECT_EQ(nullptr, endpoint.securitySetting(0));
}

TEST(UaEndpoint, ACopyOwnsItsSettingsAndPkiRecordAndOutlivesItsSource)
{
    char trusted[] = "PKI/CA/certs";
    char revoked[] = "PKI/CA/crl";
    OpcUa_CertificateStoreConfiguration pki{OPCUA_PKI_TYPE_DIRECTORY_STORE, trusted, revoked, 0, 0};
    const OpcUa_Byte certificateBytes[] = {0x30, 0x82, 0x01};
    const OpcUa_Byte keyBytes[] = {0x01, 0x02};

    auto source = std::make_unique<UaEndpoint>();
    source->setEndpointUrl(UaString("opc.tcp://device:4840"), true);
    source->setMode(1);
    source->setCertificate(UaByteString(3, certificateBytes), UaByteString(2, keyBytes), &pki);
    trusted[0] = 'X'; // the record holds its own copy of the texts
    const char* policies[] = {"http://opcfoundation.org/UA/SecurityPolicy#None",
                              "http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15",
                              "http://opcfoundation.org/UA/SecurityPolicy#Basic256"};
    for (OpcUa_UInt32 i = 0; i < 3; ++i)
    {
        UaEndpointSecuritySetting setting;
        setting.setSecurityPolicy(UaString(policies[i]));
        setting.addMessageSecurityMode(i == 0 ? 1 : 2);
        if (i == 2)
            setting.addMessageSecurityMode(4);
        source->addSecuritySetting(setting);
    }
    int marker = 0;
    source->setEndpointHandle(&marker);
    source->setFirstFlag(false);

    auto copy = std::make_unique<UaEndpoint>(*source);
    ASSERT_EQ(3u, copy->securitySettingCount());
    for (OpcUa_UInt32 i = 0; i < 3; ++i)
    {
        EXPECT_NE(source->securitySetting(i), copy->securitySetting(i));
        EXPECT_EQ(source->securitySetting(i)->securityPolicy(), copy->securitySetting(i)->securityPolicy());
        EXPECT_EQ(source->securitySetting(i)->messageSecurityModes(),
                  copy->securitySetting(i)->messageSecurityModes());
    }
    EXPECT_NE(source->pkiConfig(), copy->pkiConfig());
    source.reset();

    EXPECT_EQ(UaString("opc.tcp://device:4840"), copy->endpointUrl());
    EXPECT_EQ(1u, copy->mode());
    EXPECT_EQ(UaByteString(3, certificateBytes), copy->certificate());
    EXPECT_EQ(UaByteString(2, keyBytes), copy->privateKey());
    EXPECT_EQ(&marker, copy->endpointHandle());
    EXPECT_FALSE(copy->firstFlag());
    EXPECT_TRUE(copy->secondFlag());
    EXPECT_EQ(UaString(policies[2]), copy->securitySetting(2)->securityPolicy());
    EXPECT_EQ(2u, copy->securitySetting(2)->messageSecurityModeCount());
    ASSERT_NE(nullptr, copy->pkiConfig());
    EXPECT_EQ(OPCUA_PKI_TYPE_DIRECTORY_STORE, copy->pkiConfig()->PkiType);
    EXPECT_STREQ("PKI/CA/certs", copy->pkiConfig()->TrustedCertificateListLocation);
    EXPECT_STREQ("PKI/CA/crl", copy->pkiConfig()->RevokedCertificateListLocation);

    // A new certificate replaces the record; none removes it.
    OpcUa_CertificateStoreConfiguration other{OPCUA_PKI_TYPE_DIRECTORY_STORE, trusted, nullptr, 0, 0};
    copy->setCertificate(UaByteString(), UaByteString(), &other);
    EXPECT_STREQ("XKI/CA/certs", copy->pkiConfig()->TrustedCertificateListLocation);
    EXPECT_EQ(nullptr, copy->pkiConfig()->RevokedCertificateListLocation);
    copy->setCertificate(UaByteString(), UaByteString(), nullptr);
    EXPECT_EQ(nullptr, copy->pkiConfig());
}
} // namespace
