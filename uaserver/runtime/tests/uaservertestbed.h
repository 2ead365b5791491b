// A UaServer started on fake endpoints: a fake configuration with endpoints a test describes, a
// started server manager, and helpers that open channels and sessions as a client would.
#pragma once

#include "fake_endpoint.h"
#include "fake_serverconfig.h"
#include "servicetable.h"
#include "uaserver.h"
#include "uasession.h"

#include <servermanager.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace servertest
{
using namespace uaserver::testing;

// One configured endpoint: URL, its policies with their mode bits, certificate and key (DER).
struct EndpointRow
{
    std::string url;
    std::vector<std::pair<std::string, OpcUa_UInt16>> policies{{kSecurityPolicyNone, 0x1}};
    std::vector<OpcUa_Byte> certificate;
    std::vector<OpcUa_Byte> privateKey;
};

inline UaByteString bytesOf(const std::vector<OpcUa_Byte>& bytes)
{
    return UaByteString(static_cast<OpcUa_Int32>(bytes.size()), bytes.empty() ? nullptr : bytes.data());
}

// The configuration, server manager and server of one test; the fake endpoints outlive them.
class ServerBed
{
public:
    ServerBed()
    {
        config.sessionFactory = [](OpcUa_Int32 id, const UaNodeId& token) -> Session*
        { return new UaSession(static_cast<OpcUa_UInt32>(id), token); };
        config.endpointConfiguration = [this](UaString& rejected, UaPointerArray<UaEndpoint>& endpoints)
        {
            rejected = rejectedFolder.c_str();
            endpoints.create(static_cast<OpcUa_UInt32>(endpointRows.size()));
            for (OpcUa_UInt32 i = 0; i < endpoints.length(); ++i)
            {
                auto* endpoint = new UaEndpoint();
                endpoint->setMode(1);
                endpoint->setEndpointUrl(endpointRows[i].url.c_str(), true);
                OpcUa_CertificateStoreConfiguration store{};
                store.PkiType = OPCUA_PKI_TYPE_DIRECTORY_STORE;
                store.TrustedCertificateListLocation = trustedFolder.data();
                endpoint->setCertificate(bytesOf(endpointRows[i].certificate),
                                         bytesOf(endpointRows[i].privateKey),
                                         trustedFolder.empty() ? nullptr : &store);
                for (const auto& [uri, modes] : endpointRows[i].policies)
                {
                    UaEndpointSecuritySetting setting;
                    setting.setSecurityPolicy(uri.c_str());
                    for (OpcUa_UInt32 mode = 1; mode <= 4; mode <<= 1)
                        if (modes & mode)
                            setting.addMessageSecurityMode(mode);
                    endpoint->addSecuritySetting(setting);
                }
                endpoints[i] = endpoint;
            }
            return UaStatus(OpcUa_Good);
        };
    }
    ~ServerBed()
    {
        server.shutDown();
        serverManager.shutDown();
    }

    // Starts the server manager, then the server.
    UaStatus start()
    {
        EXPECT_TRUE(serverManager.startUp(&config).isGood());
        return server.startUp(&serverManager);
    }
    FakeEndpoint& endpoint(size_t index = 0) { return factory.endpoint(index); }

    // A request through the service table on channel; its answer.
    template <class Request>
    const FakeAnswer& call(const FakeChannel& channel, Request* request, OpcUa_EncodeableType& type,
                           size_t index = 0)
    {
        return endpoint(index).waitForAnswer(endpoint(index).invoke(channel, request, &type).context);
    }

    // Opens channel and an activated anonymous session on it; the authentication token.
    UaNodeId openSession(const FakeChannel& channel)
    {
        endpoint().raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, channel);
        auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
        create->RequestedSessionTimeout = 60000;
        const auto* created =
            call(channel, create, OpcUa_CreateSessionRequest_EncodeableType)
                .as<OpcUa_CreateSessionResponse>(OpcUa_CreateSessionResponse_EncodeableType);
        EXPECT_NE(created, nullptr);
        if (created == nullptr)
            return UaNodeId();
        UaNodeId token(created->AuthenticationToken);
        auto* activate =
            newMessage<OpcUa_ActivateSessionRequest>(OpcUa_ActivateSessionRequest_EncodeableType);
        token.copyTo(&activate->RequestHeader.AuthenticationToken);
        EXPECT_EQ(OpcUa_Good, call(channel, activate, OpcUa_ActivateSessionRequest_EncodeableType).status);
        return token;
    }

    FakeEndpointFactory factory;
    std::vector<EndpointRow> endpointRows{{"opc.tcp://localhost:4840", {{kSecurityPolicyNone, 0x1}}, {}, {}}};
    std::string rejectedFolder;
    // The folder of the certificates every endpoint trusts; empty: the endpoints have no store.
    std::string trustedFolder;
    FakeServerConfig config;
    ServerManager serverManager;
    UaServer server;
};
} // namespace servertest
