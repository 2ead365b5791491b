#include "nodemanagerdi.h"

#include "baseobjecttypenode.h"
#include "companiontypes.h"
#include "referencetypes.h"
#include "standardeventtypes.h"
#include "standardnodeids.h"

using namespace CompanionTypes;

namespace
{
constexpr OpcUa_UInt32 kMandatory = StandardNodeId::ModellingRuleMandatory;
constexpr OpcUa_UInt32 kOptional = StandardNodeId::ModellingRuleOptional;

std::atomic<OpcUa_UInt16> g_namespaceIndex{0};
std::atomic<CompanionNodeManager*> g_started{nullptr};

const DeclarationRow kTopologyElementDeclarations[] = {
    {6014, "Identification", Declaration::FunctionalGroup, kOptional},
    {5003, "MethodSet", Declaration::Object, kOptional},
    {5002, "ParameterSet", Declaration::Object, kOptional},
};
const DeclarationRow kDeviceDeclarations[] = {
    {6005, "DeviceManual", Declaration::Property, kMandatory, Initial::EmptyString},
    {6006, "DeviceRevision", Declaration::Property, kMandatory, Initial::EmptyString},
    {6008, "HardwareRevision", Declaration::Property, kMandatory, Initial::EmptyString},
    {6003, "Manufacturer", Declaration::Property, kMandatory, Initial::EmptyText},
    {6004, "Model", Declaration::Property, kMandatory, Initial::EmptyText},
    {6002, "RevisionCounter", Declaration::Property, kMandatory, Initial::Int32Zero},
    {6001, "SerialNumber", Declaration::Property, kMandatory, Initial::EmptyString},
    {6007, "SoftwareRevision", Declaration::Property, kMandatory, Initial::EmptyString},
};
const DeclarationRow kBlockDeclarations[] = {
    {6010, "ActualMode", Declaration::Property, kOptional, Initial::EmptyText},
    {6012, "NormalMode", Declaration::Property, kOptional, Initial::EmptyText},
    {6011, "PermittedMode", Declaration::Property, kOptional, Initial::EmptyText},
    // UInt32 here, Int32 in DeviceType.
    {6009, "RevisionCounter", Declaration::Property, kOptional, Initial::UInt32Zero},
    {6013, "TargetMode", Declaration::Property, kOptional, Initial::EmptyText},
};
const DeclarationRow kConfigurableObjectDeclarations[] = {
    {5004, "SupportedTypes", Declaration::Folder, kMandatory},
};

TypeState g_topologyElementType, g_deviceType, g_blockType, g_configurableObjectType, g_functionalGroupType,
    g_protocolType;

void createFolderTypeFirst()
{
    StandardEventTypes::createFolderType();
}

const TypeRow kTypes[] = {
    {DiNodeId::TopologyElementType, "TopologyElementType", StandardNodeId::BaseObjectType,
     SuperNamespace::Zero, nullptr, g_topologyElementType, NodeManagerDI::resetTopologyElementType,
     kTopologyElementDeclarations},
    {DiNodeId::DeviceType, "DeviceType", DiNodeId::TopologyElementType, SuperNamespace::Own,
     NodeManagerDI::createTopologyElementType, g_deviceType, NodeManagerDI::resetDeviceType,
     kDeviceDeclarations},
    {DiNodeId::BlockType, "BlockType", DiNodeId::TopologyElementType, SuperNamespace::Own,
     NodeManagerDI::createTopologyElementType, g_blockType, NodeManagerDI::resetBlockType,
     kBlockDeclarations},
    {DiNodeId::ConfigurableObjectType, "ConfigurableObjectType", StandardNodeId::BaseObjectType,
     SuperNamespace::Zero, nullptr, g_configurableObjectType, NodeManagerDI::resetConfigurableObjectType,
     kConfigurableObjectDeclarations},
    {DiNodeId::FunctionalGroupType,
     "FunctionalGroupType",
     StandardNodeId::FolderType,
     SuperNamespace::Zero,
     createFolderTypeFirst,
     g_functionalGroupType,
     NodeManagerDI::resetFunctionalGroupType,
     {}},
    {DiNodeId::ProtocolType,
     "ProtocolType",
     StandardNodeId::BaseObjectType,
     SuperNamespace::Zero,
     nullptr,
     g_protocolType,
     NodeManagerDI::resetProtocolType,
     {}},
};

void build(OpcUa_UInt32 typeId)
{
    CompanionTypes::create(kTypes, typeId, g_started.load());
}
} // namespace

NodeManagerDI::NodeManagerDI() : CompanionNodeManager(NamespaceUri, g_started, g_namespaceIndex) {}

UaStatus NodeManagerDI::afterStartUp()
{
    enterStarted();
    const OpcUa_UInt16 ns = getNameSpaceIndex();
    auto* deviceSet =
        new BaseObjectTypeNode(UaNodeId(DiNodeId::DeviceSet, ns), "DeviceSet", ns, this, nullptr);
    addEntryNode(StandardNodeId::ObjectsFolder, deviceSet, ReferenceTypeId::HasComponent);
    createTopologyElementType();
    createConfigurableObjectType();
    createProtocolType();
    createFunctionalGroupType();
    createDeviceType();
    createBlockType();
    return OpcUa_Good;
}

OpcUa_UInt16 NodeManagerDI::namespaceIndex()
{
    return g_namespaceIndex.load();
}

NodeManagerDI* NodeManagerDI::started()
{
    return static_cast<NodeManagerDI*>(g_started.load());
}

void NodeManagerDI::createTopologyElementType()
{
    build(DiNodeId::TopologyElementType);
}

void NodeManagerDI::createDeviceType()
{
    build(DiNodeId::DeviceType);
}

void NodeManagerDI::createBlockType()
{
    build(DiNodeId::BlockType);
}

void NodeManagerDI::createConfigurableObjectType()
{
    build(DiNodeId::ConfigurableObjectType);
}

void NodeManagerDI::createFunctionalGroupType()
{
    build(DiNodeId::FunctionalGroupType);
}

void NodeManagerDI::createProtocolType()
{
    build(DiNodeId::ProtocolType);
}

void NodeManagerDI::resetTopologyElementType()
{
    g_topologyElementType.reset();
}

void NodeManagerDI::resetDeviceType()
{
    g_deviceType.reset();
}

void NodeManagerDI::resetBlockType()
{
    g_blockType.reset();
}

void NodeManagerDI::resetConfigurableObjectType()
{
    g_configurableObjectType.reset();
}

void NodeManagerDI::resetFunctionalGroupType()
{
    g_functionalGroupType.reset();
}

void NodeManagerDI::resetProtocolType()
{
    g_protocolType.reset();
}

bool NodeManagerDI::isTypeBuilt(OpcUa_UInt32 typeId)
{
    return CompanionTypes::isBuilt(kTypes, typeId);
}

UaNode* NodeManagerDI::instanceDeclaration(OpcUa_UInt32 typeId, std::size_t slot)
{
    return CompanionTypes::slot(kTypes, typeId, slot);
}
