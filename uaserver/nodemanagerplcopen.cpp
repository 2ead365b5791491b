#include "nodemanagerplcopen.h"

#include "companiontypes.h"
#include "nodemanagerdi.h"
#include "referencetypes.h"
#include "standardnodeids.h"
#include "uaobjectbase.h"

using namespace CompanionTypes;

namespace
{
constexpr OpcUa_UInt32 kMandatory = StandardNodeId::ModellingRuleMandatory;
constexpr OpcUa_UInt32 kOptional = StandardNodeId::ModellingRuleOptional;

std::atomic<OpcUa_UInt16> g_namespaceIndex{0};
std::atomic<CompanionNodeManager*> g_started{nullptr};

// MethodSet keeps slot 0; Start and Stop hang below it, without a slot or a modelling rule.
const DeclarationRow kConfigurationDeclarations[] = {
    {5002, "MethodSet", Declaration::Object, 0},
    {5004, "Resources", Declaration::Configurable, kMandatory},
    {5006, "GlobalVars", Declaration::FunctionalGroup, kOptional},
    {5007, "AccessVars", Declaration::FunctionalGroup, kOptional},
    {5008, "ConfigVars", Declaration::FunctionalGroup, kOptional},
    {5009, "Configuration", Declaration::FunctionalGroup, kOptional},
    {5010, "Status", Declaration::FunctionalGroup, kOptional},
    {7001, "Start", Declaration::Method, 0, Initial::None, 0},
    {7002, "Stop", Declaration::Method, 0, Initial::None, 0},
};
const DeclarationRow kResourceDeclarations[] = {
    {5012, "MethodSet", Declaration::Object, 0},
    {5014, "Tasks", Declaration::Configurable, kMandatory},
    {5016, "Programs", Declaration::Configurable, kMandatory},
    {5018, "GlobalVars", Declaration::FunctionalGroup, kOptional},
    {5019, "Configuration", Declaration::FunctionalGroup, kOptional},
    {5020, "Status", Declaration::FunctionalGroup, kOptional},
    {7003, "Start", Declaration::Method, 0, Initial::None, 0},
    {7004, "Stop", Declaration::Method, 0, Initial::None, 0},
};
const DeclarationRow kProgramOrganizationUnitDeclarations[] = {
    {6001, "Body", Declaration::DataVariable, kOptional, Initial::EmptyXmlElement},
};
const DeclarationRow kProgramDeclarations[] = {
    {6002, "Program", Declaration::DataVariable, kOptional, Initial::EmptyStructure},
};
const DeclarationRow kFunctionBlockDeclarations[] = {
    {6003, "FunctionBlock", Declaration::DataVariable, kOptional, Initial::None},
};
const DeclarationRow kTaskDeclarations[] = {
    {6005, "Interval", Declaration::Property, kOptional, Initial::EmptyString},
    {6004, "Priority", Declaration::Property, kMandatory, Initial::UInt32Zero},
    {6006, "Single", Declaration::Property, kOptional, Initial::EmptyString},
};

TypeState g_configurationType, g_resourceType, g_programOrganizationUnitType, g_programType,
    g_functionBlockType, g_taskType, g_sfcType;

const TypeRow kTypes[] = {
    {PLCopenNodeId::CtrlConfigurationType, "CtrlConfigurationType", DiNodeId::TopologyElementType,
     SuperNamespace::Di, NodeManagerDI::createTopologyElementType, g_configurationType,
     NodeManagerPLCopen::resetCtrlConfigurationType, kConfigurationDeclarations},
    {PLCopenNodeId::CtrlResourceType, "CtrlResourceType", DiNodeId::DeviceType, SuperNamespace::Di,
     NodeManagerDI::createDeviceType, g_resourceType, NodeManagerPLCopen::resetCtrlResourceType,
     kResourceDeclarations},
    {PLCopenNodeId::CtrlProgramOrganizationUnitType, "CtrlProgramOrganizationUnitType", DiNodeId::BlockType,
     SuperNamespace::Di, NodeManagerDI::createBlockType, g_programOrganizationUnitType,
     NodeManagerPLCopen::resetCtrlProgramOrganizationUnitType, kProgramOrganizationUnitDeclarations},
    {PLCopenNodeId::CtrlProgramType, "CtrlProgramType", PLCopenNodeId::CtrlProgramOrganizationUnitType,
     SuperNamespace::Own, NodeManagerPLCopen::createCtrlProgramOrganizationUnitType, g_programType,
     NodeManagerPLCopen::resetCtrlProgramType, kProgramDeclarations},
    {PLCopenNodeId::CtrlFunctionBlockType, "CtrlFunctionBlockType",
     PLCopenNodeId::CtrlProgramOrganizationUnitType, SuperNamespace::Own,
     NodeManagerPLCopen::createCtrlProgramOrganizationUnitType, g_functionBlockType,
     NodeManagerPLCopen::resetCtrlFunctionBlockType, kFunctionBlockDeclarations},
    {PLCopenNodeId::CtrlTaskType, "CtrlTaskType", StandardNodeId::BaseObjectType, SuperNamespace::Zero,
     nullptr, g_taskType, NodeManagerPLCopen::resetCtrlTaskType, kTaskDeclarations},
    {PLCopenNodeId::SFCType,
     "SFCType",
     StandardNodeId::BaseObjectType,
     SuperNamespace::Zero,
     nullptr,
     g_sfcType,
     NodeManagerPLCopen::resetSFCType,
     {}},
};

void build(OpcUa_UInt32 typeId)
{
    CompanionTypes::create(kTypes, typeId, g_started.load());
}
} // namespace

NodeManagerPLCopen::NodeManagerPLCopen() : CompanionNodeManager(NamespaceUri, g_started, g_namespaceIndex) {}

UaStatus NodeManagerPLCopen::afterStartUp()
{
    enterStarted();
    const OpcUa_UInt16 ns = getNameSpaceIndex();
    auto* ctrlTypes = new UaFolder("CtrlTypes", UaNodeId(PLCopenNodeId::CtrlTypes, ns), "");
    addEntryNode(StandardNodeId::ObjectTypesFolder, ctrlTypes, ReferenceTypeId::Organizes);
    createCtrlTaskType();
    createSFCType();
    createCtrlConfigurationType();
    createCtrlResourceType();
    createCtrlProgramOrganizationUnitType();
    createCtrlProgramType();
    createCtrlFunctionBlockType();
    return OpcUa_Good;
}

OpcUa_UInt16 NodeManagerPLCopen::namespaceIndex()
{
    return g_namespaceIndex.load();
}

NodeManagerPLCopen* NodeManagerPLCopen::started()
{
    return static_cast<NodeManagerPLCopen*>(g_started.load());
}

void NodeManagerPLCopen::createCtrlConfigurationType()
{
    build(PLCopenNodeId::CtrlConfigurationType);
}

void NodeManagerPLCopen::createCtrlResourceType()
{
    build(PLCopenNodeId::CtrlResourceType);
}

void NodeManagerPLCopen::createCtrlProgramOrganizationUnitType()
{
    build(PLCopenNodeId::CtrlProgramOrganizationUnitType);
}

void NodeManagerPLCopen::createCtrlProgramType()
{
    build(PLCopenNodeId::CtrlProgramType);
}

void NodeManagerPLCopen::createCtrlFunctionBlockType()
{
    build(PLCopenNodeId::CtrlFunctionBlockType);
}

void NodeManagerPLCopen::createCtrlTaskType()
{
    build(PLCopenNodeId::CtrlTaskType);
}

void NodeManagerPLCopen::createSFCType()
{
    build(PLCopenNodeId::SFCType);
}

void NodeManagerPLCopen::resetCtrlConfigurationType()
{
    g_configurationType.reset();
}

void NodeManagerPLCopen::resetCtrlResourceType()
{
    g_resourceType.reset();
}

void NodeManagerPLCopen::resetCtrlProgramOrganizationUnitType()
{
    g_programOrganizationUnitType.reset();
}

void NodeManagerPLCopen::resetCtrlProgramType()
{
    g_programType.reset();
}

void NodeManagerPLCopen::resetCtrlFunctionBlockType()
{
    g_functionBlockType.reset();
}

void NodeManagerPLCopen::resetCtrlTaskType()
{
    g_taskType.reset();
}

void NodeManagerPLCopen::resetSFCType()
{
    g_sfcType.reset();
}

bool NodeManagerPLCopen::isTypeBuilt(OpcUa_UInt32 typeId)
{
    return CompanionTypes::isBuilt(kTypes, typeId);
}

UaNode* NodeManagerPLCopen::instanceDeclaration(OpcUa_UInt32 typeId, std::size_t slot)
{
    return CompanionTypes::slot(kTypes, typeId, slot);
}
