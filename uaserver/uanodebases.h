#ifndef UASERVER_UANODEBASES_H
#define UASERVER_UANODEBASES_H

#include "uanodeinterfaces.h"
#include "uareferencelists.h"

#include <uastring.h>

// Browse of a node's own lists with its entry and exit traces: "--> <class>::browse - <kind> <NodeId>"
// and "<-- <class>::browse [ret=0x...]" at level 6.
UaStatus browseWithTrace(UaReferenceLists& lists, const UaNodeId& nodeId, const char* className,
                         const char* nodeKind, const ServiceContext& context, BrowseContext& browseContext,
                         UaReferenceDescriptionArray& references);

// A node of one node class interface with its own reference lists; the lists' owner is the node.
template <typename Interface> class UaNodeWithLists : public Interface, public UaReferenceLists
{
public:
    using Interface::Interface;
    UaReferenceLists* getUaReferenceLists() override { return this; }
    UaNode* getUaNode() override { return this; }
    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override
    {
        return browseReferences(context, browseContext, references);
    }
};

// A node named by one text: the browse name is (the NodeId's namespace, name), the display name
// (default locale, name). No description; write masks 0.
template <typename Interface> class UaNamedNode : public UaNodeWithLists<Interface>
{
public:
    UaNamedNode(const UaString& name, const UaNodeId& nodeId, const UaString& defaultLocaleId)
        : m_defaultLocaleId(defaultLocaleId), m_nodeId(nodeId), m_name(name)
    {
    }

    UaNodeId nodeId() const override { return m_nodeId; }
    UaQualifiedName browseName() const override { return UaQualifiedName(m_name, m_nodeId.namespaceIndex()); }
    UaLocalizedText displayName(Session*) const override
    {
        return UaLocalizedText(m_defaultLocaleId, m_name);
    }
    bool isDescriptionSupported() const override { return false; }
    UaLocalizedText description(Session*) const override { return UaLocalizedText(); }
    bool isWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 writeMask() const override { return 0; }
    bool isUserWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 userWriteMask(Session*) const override { return 0; }

protected:
    UaString m_defaultLocaleId;
    UaNodeId m_nodeId;
    UaString m_name;
};

// The attributes every plain node keeps as members, set by the constructor.
struct UaPlainAttributes
{
    UaNodeId nodeId;
    UaQualifiedName browseName;
    UaLocalizedText displayName;
    UaLocalizedText description;
    OpcUa_UInt32 writeMask = 0;

    // Writes BrowseName, DisplayName, Description or WriteMask: with checkWriteMask the attribute's
    // bit must be set; only a scalar of the attribute's type is taken.
    UaStatus write(OpcUa_Int32 attributeId, const UaVariant& value, bool checkWriteMask);
};

// A node whose attributes are plain members; the UserWriteMask reads the WriteMask.
template <typename Interface> class UaPlainNode : public UaNodeWithLists<Interface>
{
public:
    UaPlainNode(const UaNodeId& nodeId, const UaQualifiedName& browseName, const UaLocalizedText& displayName,
                const UaLocalizedText& description)
        : m_attributes{nodeId, browseName, displayName, description}
    {
    }

    UaNodeId nodeId() const override { return m_attributes.nodeId; }
    UaQualifiedName browseName() const override { return m_attributes.browseName; }
    UaLocalizedText displayName(Session*) const override { return m_attributes.displayName; }
    bool isDescriptionSupported() const override { return true; }
    UaLocalizedText description(Session*) const override { return m_attributes.description; }
    bool isWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 writeMask() const override { return m_attributes.writeMask; }
    bool isUserWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 userWriteMask(Session*) const override { return m_attributes.writeMask; }
    void setWriteMask(OpcUa_UInt32 writeMask) { m_attributes.writeMask = writeMask; }

    UaStatus setAttributeValue(Session*, OpcUa_Int32 attributeId, const UaDataValue& dataValue,
                               bool checkWriteMask) override
    {
        return m_attributes.write(attributeId, dataValue.value(), checkWriteMask);
    }

protected:
    UaPlainAttributes m_attributes;
};

#endif
