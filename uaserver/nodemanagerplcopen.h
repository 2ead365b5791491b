#ifndef UASERVER_NODEMANAGERPLCOPEN_H
#define UASERVER_NODEMANAGERPLCOPEN_H

#include "companionnodemanager.h"

// Numeric identifiers of the PLCopen namespace's nodes.
namespace PLCopenNodeId
{
constexpr OpcUa_UInt32 CtrlConfigurationType = 1001;
constexpr OpcUa_UInt32 CtrlResourceType = 1002;
constexpr OpcUa_UInt32 CtrlProgramOrganizationUnitType = 1003;
constexpr OpcUa_UInt32 CtrlProgramType = 1004;
constexpr OpcUa_UInt32 CtrlFunctionBlockType = 1005;
constexpr OpcUa_UInt32 CtrlTaskType = 1006;
constexpr OpcUa_UInt32 SFCType = 1007;
constexpr OpcUa_UInt32 CtrlTypes = 5030;
} // namespace PLCopenNodeId

// The namespace of the PLCopen companion model for IEC 61131-3 controllers: the empty folder
// "CtrlTypes" below ObjectTypes and seven object types, three of them derived from DI types, which
// the DI node manager started before this one holds. Types only; no controller objects are made.
class NodeManagerPLCopen : public CompanionNodeManager
{
public:
    static constexpr const char* NamespaceUri = "http://PLCopen.org/OpcUa/IEC61131-3/";

    NodeManagerPLCopen();

    // Builds CtrlTypes and the types; always Good.
    UaStatus afterStartUp() override;

    // The namespace index of the last start; 0 before the first.
    static OpcUa_UInt16 namespaceIndex();
    // The PLCopen node manager that runs now, which the builders build in; null when none.
    static NodeManagerPLCopen* started();

    // The builders, as the DI ones: once while the type node exists, nothing without a target. A
    // type whose DI supertype is missing (DI not running) is not linked and gets no children.
    static void createCtrlConfigurationType();
    static void createCtrlResourceType();
    static void createCtrlProgramOrganizationUnitType();
    static void createCtrlProgramType();
    static void createCtrlFunctionBlockType();
    static void createCtrlTaskType();
    static void createSFCType();

    // The release hooks of the type nodes.
    static void resetCtrlConfigurationType();
    static void resetCtrlResourceType();
    static void resetCtrlProgramOrganizationUnitType();
    static void resetCtrlProgramType();
    static void resetCtrlFunctionBlockType();
    static void resetCtrlTaskType();
    static void resetSFCType();

    static bool isTypeBuilt(OpcUa_UInt32 typeId);
    // The instance declaration of the type in table order, methods not counted; null when not built
    // or not made.
    static UaNode* instanceDeclaration(OpcUa_UInt32 typeId, std::size_t slot);
};

#endif
