#include "companiontypes.h"

#include "basevariabletypenode.h"
#include "diobjects.h"
#include "nodemanagerdi.h"
#include "nodemanageruanode.h"
#include "referencetypes.h"
#include "standardtypenodes.h"
#include "uamethodgeneric.h"

#include <uabytestring.h>
#include <uaextensionobject.h>

namespace
{
// CurrentRead.
constexpr OpcUa_Byte kReadOnly = 1;

UaVariant initialValue(CompanionTypes::Initial initial)
{
    using CompanionTypes::Initial;
    UaVariant value;
    switch (initial)
    {
    case Initial::None:
        break;
    case Initial::EmptyString:
        value.setString(UaString());
        break;
    case Initial::EmptyText:
        value.setLocalizedText(UaLocalizedText());
        break;
    case Initial::Int32Zero:
        value.setInt32(0);
        break;
    case Initial::UInt32Zero:
        value.setUInt32(0);
        break;
    case Initial::EmptyXmlElement:
    {
        UaByteString empty;
        value.setXmlElement(empty, false);
        break;
    }
    case Initial::EmptyStructure:
    {
        UaExtensionObject empty;
        value.setExtensionObject(empty, false);
        break;
    }
    }
    return value;
}

template <typename Node> Node* withRule(Node* node, OpcUa_UInt32 modellingRule)
{
    if (modellingRule)
        node->setModellingRule(UaNodeId(modellingRule, 0));
    return node;
}

// The node of a declaration row, with its modelling rule.
UaNode* makeDeclaration(const CompanionTypes::DeclarationRow& row, NodeManagerConfig* config, OpcUa_UInt16 ns)
{
    using CompanionTypes::Declaration;
    const UaNodeId nodeId(row.id, ns);
    switch (row.kind)
    {
    case Declaration::Object:
        return withRule(new BaseObjectTypeNode(nodeId, row.name, ns, config, nullptr), row.modellingRule);
    case Declaration::FunctionalGroup:
        return withRule(new FunctionalGroupObject(nodeId, row.name, ns, config, nullptr), row.modellingRule);
    case Declaration::Configurable:
        return withRule(new ConfigurableObject(nodeId, row.name, ns, config, nullptr), row.modellingRule);
    case Declaration::Folder:
        return withRule(new UaFolderTypeObject(nodeId, row.name, ns, config, nullptr), row.modellingRule);
    case Declaration::Property:
        return withRule(
            new PropertyTypeNode(nodeId, row.name, ns, initialValue(row.value), kReadOnly, config, nullptr),
            row.modellingRule);
    case Declaration::DataVariable:
        return withRule(new BaseDataVariableTypeNode(nodeId, row.name, ns, initialValue(row.value), kReadOnly,
                                                     config, nullptr),
                        row.modellingRule);
    case Declaration::Method:
        return new UaMethodGeneric(row.name, nodeId, "");
    }
    return nullptr;
}

UaNodeId superTypeNodeId(const CompanionTypes::TypeRow& row, OpcUa_UInt16 ownNamespace)
{
    switch (row.superNamespace)
    {
    case CompanionTypes::SuperNamespace::Zero:
        return UaNodeId(row.superTypeId, 0);
    case CompanionTypes::SuperNamespace::Own:
        return UaNodeId(row.superTypeId, ownNamespace);
    case CompanionTypes::SuperNamespace::Di:
        // Without a running DI there is no supertype to link to (and namespace 0 must not get one).
        if (NodeManagerDI::started())
            return UaNodeId(row.superTypeId, NodeManagerDI::namespaceIndex());
        break;
    }
    return UaNodeId();
}

// Links the declaration below its parent; a node the address space refused is released, and a
// configurable object's folder goes with it.
bool link(NodeManagerConfig* config, UaReferenceLists* parent, UaNode* node, OpcUa_UInt32 referenceTypeId)
{
    if (config->addNodeAndReference(parent, node->getUaReferenceLists(), UaNodeId(referenceTypeId, 0))
            .isGood())
        return true;
    if (auto* configurable = dynamic_cast<ConfigurableObjectBase*>(node))
        if (UaFolderTypeObject* folder = configurable->supportedTypesFolder())
            config->deleteUaNode(folder, true, true, true);
    node->releaseReference();
    return false;
}
} // namespace

namespace CompanionTypes
{
void TypeState::reset()
{
    built = false;
    for (std::atomic<UaNode*>& slot : slots)
        slot = nullptr;
}

static const TypeRow* find(std::span<const TypeRow> types, OpcUa_UInt32 typeId)
{
    for (const TypeRow& row : types)
        if (row.id == typeId)
            return &row;
    return nullptr;
}

void create(std::span<const TypeRow> types, OpcUa_UInt32 typeId, NodeManagerUaNode* target)
{
    const TypeRow* found = find(types, typeId);
    // No running node manager, no target: the flag stays clear so that a later start builds it.
    if (!found || !target || found->state.built.exchange(true))
        return;
    const TypeRow& row = *found;
    if (row.buildFirst)
        row.buildFirst();

    const OpcUa_UInt16 ns = target->getNameSpaceIndex();
    NodeManagerConfig* config = target;
    auto* typeNode =
        new UaObjectTypeTracked(UaNodeId(row.id, ns), UaQualifiedName(row.name, ns),
                                UaLocalizedText("", row.name), UaLocalizedText("", row.name), false);
    typeNode->setOnDestroy(row.reset);
    const UaNodeId superTypeId = superTypeNodeId(row, ns);
    if (superTypeId.isNull() ||
        config->addNodeAndReference(superTypeId, typeNode, UaNodeId(ReferenceTypeId::HasSubtype, 0)).isBad())
    {
        // The type node goes, and its hook clears the flag: a type that failed to link gets no
        // children, and the next call tries again.
        typeNode->releaseReference();
        return;
    }

    std::size_t next = 0;
    for (const DeclarationRow& declaration : row.declarations)
    {
        UaNode* node = makeDeclaration(declaration, config, ns);
        if (declaration.kind == Declaration::Method)
        {
            UaNode* methodSet = row.state.slots[declaration.parentSlot].load();
            if (!methodSet)
                node->releaseReference();
            else
                link(config, methodSet->getUaReferenceLists(), node, ReferenceTypeId::HasComponent);
            continue;
        }
        const OpcUa_UInt32 referenceTypeId = declaration.kind == Declaration::Property
                                                 ? ReferenceTypeId::HasProperty
                                                 : ReferenceTypeId::HasComponent;
        // The slot is filled only once the address space holds the node: it never names a freed one.
        if (link(config, typeNode, node, referenceTypeId))
            row.state.slots[next] = node;
        ++next;
    }
}

bool isBuilt(std::span<const TypeRow> types, OpcUa_UInt32 typeId)
{
    const TypeRow* row = find(types, typeId);
    return row && row->state.built.load();
}

UaNode* slot(std::span<const TypeRow> types, OpcUa_UInt32 typeId, std::size_t index)
{
    const TypeRow* row = find(types, typeId);
    return row && index < kMaxSlots ? row->state.slots[index].load() : nullptr;
}
} // namespace CompanionTypes
