#ifndef UASERVER_UATYPENODESNS0_H
#define UASERVER_UATYPENODESNS0_H

#include "uanodebases.h"

// A type node of namespace 0 named by its text, as namespace 0 is built: the NodeId is the numeric
// identifier in namespace 0, the browse name the text in namespace 0, the display name the text
// without locale.
template <typename Interface> class UaNs0TypeNode : public UaNodeWithLists<Interface>
{
public:
    UaNs0TypeNode(OpcUa_UInt32 identifier, const UaString& name, bool isAbstract)
        : m_identifier(identifier), m_name(name), m_isAbstract(isAbstract)
    {
    }

    UaNodeId nodeId() const override { return UaNodeId(m_identifier, 0); }
    UaQualifiedName browseName() const override { return UaQualifiedName(m_name, 0); }
    UaLocalizedText displayName(Session*) const override { return UaLocalizedText("", m_name); }
    bool isDescriptionSupported() const override { return false; }
    UaLocalizedText description(Session*) const override { return UaLocalizedText(); }
    bool isWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 writeMask() const override { return 0; }
    bool isUserWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 userWriteMask(Session*) const override { return 0; }
    bool isAbstract() const override { return m_isAbstract; }

protected:
    OpcUa_UInt32 m_identifier;
    UaString m_name;
    bool m_isAbstract;
};

// A standard reference type; its subtype test answers from the standard hierarchy by identifier.
class UaReferenceTypeNs0 : public UaNs0TypeNode<UaReferenceType>
{
public:
    UaReferenceTypeNs0(OpcUa_UInt32 identifier, const UaString& name, bool isAbstract, bool symmetric,
                       const UaString& inverseName)
        : UaNs0TypeNode(identifier, name, isAbstract), m_symmetric(symmetric), m_inverseName(inverseName)
    {
    }

    // Reference type names are English, unlike the data type names.
    UaLocalizedText displayName(Session*) const override { return UaLocalizedText("en", m_name); }
    bool isSymmetric() const override { return m_symmetric; }
    // Supported when the inverse name is not empty.
    bool isInverseNameSupported() const override { return !m_inverseName.isEmpty(); }
    UaLocalizedText inverseName(Session*) const override { return UaLocalizedText("en", m_inverseName); }
    bool isSubtypeOf(const UaNodeId& referenceTypeId) const override;

private:
    bool m_symmetric;
    UaString m_inverseName;
};

class UaDataTypeNs0 : public UaNs0TypeNode<UaDataType>
{
public:
    using UaNs0TypeNode::UaNs0TypeNode;
};

#endif
