#include "uaobjectserver.h"

#include "serverconfig.h"
#include "serverobjectnodes.h"
#include "servertypedeclarations.h"
#include "standardnodeids.h"

#include <uatrace.h>

namespace
{
UaVariant stringArrayValue(const UaStringArray& strings)
{
    UaVariant value;
    value.setStringArray(strings);
    return value;
}
} // namespace

UaObjectServer::UaObjectServer(NodeManagerConfig* pNodeManager, const UaString& defaultLocaleId)
    : ServerTypeBase("Server", UaNodeId(StandardNodeId::Server, 0), defaultLocaleId),
      m_pNodeManager(pNodeManager)
{
}

UaStatus UaObjectServer::startUp(ServerConfig* pServerConfig)
{
    UaTrace::traceLevel6("--> UaObjectServer::startUp");
    if (!pServerConfig)
    {
        UaTrace::traceLevel6(
            "<-- UaObjectServer::startUp [ret=OpcUa_BadInvalidArgument] - IN pointer invalid");
        return OpcUa_BadInvalidArgument;
    }
    UaString serverUri;
    UaLocalizedTextArray serverNames;
    const UaStatus info = pServerConfig->getServerInstanceInfo(serverUri, serverNames);
    if (info.isBad())
    {
        UaTrace::traceLevel6(
            "<-- UaObjectServer::startUp [ret=0x%lx] - ServerConfig::getServerInstanceInfo failed",
            static_cast<unsigned long>(info.statusCode()));
        return info;
    }

    UaStringArray servers;
    servers.create(1);
    serverUri.copyTo(&servers[0]);
    UaStringArray namespaces;
    namespaces.create(2);
    UaString(StandardNodeId::StandardNamespaceUri).copyTo(&namespaces[0]);
    serverUri.copyTo(&namespaces[1]);

    NodeBuilder builder(m_pNodeManager, displayName(nullptr).locale());
    setComponent(ServerArraySlot, builder.property(this, StandardNodeId::ServerArray, "ServerArray",
                                                   stringArrayValue(servers)));
    setComponent(NamespaceArraySlot, builder.property(this, StandardNodeId::NamespaceArray, "NamespaceArray",
                                                      stringArrayValue(namespaces)));

    ServerBuildInfo buildInfo;
    const UaStatus build =
        pServerConfig->getBuildInfo(buildInfo.productUri, buildInfo.manufacturerName, buildInfo.productName,
                                    buildInfo.softwareVersion, buildInfo.buildNumber, buildInfo.buildDate);
    if (build.isBad())
    {
        UaTrace::traceLevel6("<-- UaObjectServer::startUp [ret=0x%lx] - ServerConfig::getBuildInfo failed",
                             static_cast<unsigned long>(build.statusCode()));
        return build;
    }
    buildServerStatus(builder, buildInfo);
    buildCapabilities(builder, pServerConfig);
    buildDiagnostics(builder);
    setComponent(VendorServerInfoSlot, builder.object(this, 2295, "VendorServerInfo", 2033));
    buildRedundancy(builder, pServerConfig);
    ServerTypeDeclarations::createServerType();

    {
        UaMutexLocker locker(&m_mutex);
        m_pServerConfig = pServerConfig;
    }
    UaTrace::traceLevel6("<-- UaObjectServer::startUp [ret=0x%lx]", static_cast<unsigned long>(OpcUa_Good));
    return OpcUa_Good;
}

UaStatus UaObjectServer::shutDown()
{
    UaTrace::traceLevel6("--> UaObjectServer::shutDown");
    UaTrace::traceLevel6("<-- UaObjectServer::shutDown [ret=0x%lx]", static_cast<unsigned long>(OpcUa_Good));
    return OpcUa_Good;
}

UaPropertyCache* UaObjectServer::namespaceArray() const
{
    return static_cast<UaPropertyCache*>(m_components[NamespaceArraySlot]);
}

UaStatus UaObjectServer::getNamespaceArray(UaStringArray& namespaceArray)
{
    UaMutexLocker locker(&m_mutex);
    namespaceArray.clear();
    UaPropertyCache* property = this->namespaceArray();
    if (!property)
        return OpcUa_BadInvalidState;
    return property->value(nullptr).value().toStringArray(namespaceArray);
}

UaStatus UaObjectServer::addNamespace(const UaString& namespaceUri, OpcUa_UInt16& namespaceIndex)
{
    UaMutexLocker locker(&m_mutex);
    UaPropertyCache* property = namespaceArray();
    if (!property)
        return OpcUa_BadInvalidState;
    UaStringArray namespaces;
    UaStatus status = property->value(nullptr).value().toStringArray(namespaces);
    if (status.isBad())
        return status;
    const OpcUa_UInt32 index = namespaces.length();
    if (index > 0xFFFF)
        return OpcUa_BadInvalidState;
    status = namespaces.resize(index + 1);
    if (status.isBad())
        return status;
    namespaceUri.copyTo(&namespaces[index]);
    UaDataValue dataValue;
    dataValue.setValue(stringArrayValue(namespaces), false, true);
    status = property->setValue(nullptr, dataValue, false);
    if (status.isGood())
        namespaceIndex = static_cast<OpcUa_UInt16>(index);
    return status;
}

ServerConfig* UaObjectServer::getServerConfig()
{
    UaMutexLocker locker(&m_mutex);
    return m_pServerConfig;
}
