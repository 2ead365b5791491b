#ifndef UASERVER_NODEMANAGERDI_H
#define UASERVER_NODEMANAGERDI_H

#include "companionnodemanager.h"

// Numeric identifiers of the DI namespace's nodes.
namespace DiNodeId
{
constexpr OpcUa_UInt32 TopologyElementType = 1001;
constexpr OpcUa_UInt32 DeviceType = 1002;
constexpr OpcUa_UInt32 BlockType = 1003;
constexpr OpcUa_UInt32 ConfigurableObjectType = 1004;
constexpr OpcUa_UInt32 FunctionalGroupType = 1005;
constexpr OpcUa_UInt32 ProtocolType = 1006;
constexpr OpcUa_UInt32 DeviceSet = 5001;
} // namespace DiNodeId

// The namespace of the DI companion model: the entry object "DeviceSet" below Objects and six
// object types with their instance declarations. Types only; no device objects are made.
class NodeManagerDI : public CompanionNodeManager
{
public:
    static constexpr const char* NamespaceUri = "http://opcfoundation.org/UA/DI/";

    NodeManagerDI();

    // Builds DeviceSet and the types; always Good.
    UaStatus afterStartUp() override;

    // The namespace index of the last start; 0 before the first.
    static OpcUa_UInt16 namespaceIndex();
    // The DI node manager that runs now, which the builders build in; null when none.
    static NodeManagerDI* started();

    // The builders: each builds its type at most once while its type node exists, and nothing
    // while no DI node manager runs.
    static void createTopologyElementType();
    static void createDeviceType();
    static void createBlockType();
    static void createConfigurableObjectType();
    static void createFunctionalGroupType();
    static void createProtocolType();

    // The release hooks of the type nodes: clear the built flag and the declaration pointers.
    static void resetTopologyElementType();
    static void resetDeviceType();
    static void resetBlockType();
    static void resetConfigurableObjectType();
    static void resetFunctionalGroupType();
    static void resetProtocolType();

    static bool isTypeBuilt(OpcUa_UInt32 typeId);
    // The instance declaration of the type in table order; null when not built or not made.
    static UaNode* instanceDeclaration(OpcUa_UInt32 typeId, std::size_t slot);
};

#endif
