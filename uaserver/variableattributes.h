#ifndef UASERVER_VARIABLEATTRIBUTES_H
#define UASERVER_VARIABLEATTRIBUTES_H

#include <ualocalizedtext.h>
#include <uanodeid.h>
#include <uaqualifiedname.h>
#include <uastring.h>
#include <uavariantarrays.h>

#include <vector>

class VariableAttributesFull;

// The attributes of a standard variable node, in one record the node owns. Kinds: 0 compact (what
// thousands of plain instances need), 3 full (everything that can be changed); a node's first setter
// replaces a compact record by a full one. Kinds 1 and 2, records whose attributes come from other
// nodes, come with the first node that needs them.
class VariableAttributes
{
public:
    virtual ~VariableAttributes() = default;

    virtual OpcUa_UInt32 kind() const = 0;
    // A full record with the same attributes.
    virtual VariableAttributesFull* makeFull() const = 0;

    virtual UaNodeId nodeId() const = 0;
    virtual UaQualifiedName browseName() const = 0;
    virtual UaLocalizedText displayName() const = 0;
    virtual UaLocalizedText description() const = 0;
    virtual OpcUa_UInt32 writeMask() const = 0;
    virtual OpcUa_UInt32 userWriteMask() const = 0;
    virtual UaNodeId dataType() const = 0;
    virtual OpcUa_Int32 valueRank() const = 0;
    virtual void arrayDimensions(UaUInt32Array& dimensions) const = 0;
    virtual OpcUa_Byte accessLevel() const = 0;
    virtual OpcUa_Byte userAccessLevel() const = 0;
    virtual OpcUa_Double minimumSamplingInterval() const = 0;
    virtual bool historizing() const = 0;
    virtual UaNodeId modellingRuleId() const = 0;
};

// Kind 0: the browse name as text and namespace, the data type as a namespace-0 number. The display
// name is the browse name's text without locale; masks, user access and history are the defaults.
class VariableAttributesCompact : public VariableAttributes
{
public:
    VariableAttributesCompact(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                              OpcUa_UInt32 dataTypeId, OpcUa_Int32 valueRank, OpcUa_Byte accessLevel)
        : m_nodeId(nodeId), m_name(name), m_namespaceIndex(namespaceIndex), m_dataTypeId(dataTypeId),
          m_valueRank(valueRank), m_accessLevel(accessLevel)
    {
    }

    OpcUa_UInt32 kind() const override { return 0; }
    VariableAttributesFull* makeFull() const override;
    UaNodeId nodeId() const override { return m_nodeId; }
    UaQualifiedName browseName() const override { return UaQualifiedName(m_name, m_namespaceIndex); }
    UaLocalizedText displayName() const override { return UaLocalizedText("", m_name); }
    UaLocalizedText description() const override { return UaLocalizedText(); }
    OpcUa_UInt32 writeMask() const override { return 0; }
    OpcUa_UInt32 userWriteMask() const override { return 0; }
    UaNodeId dataType() const override { return UaNodeId(m_dataTypeId, 0); }
    OpcUa_Int32 valueRank() const override { return m_valueRank; }
    void arrayDimensions(UaUInt32Array& dimensions) const override;
    OpcUa_Byte accessLevel() const override { return m_accessLevel; }
    OpcUa_Byte userAccessLevel() const override { return m_accessLevel; }
    OpcUa_Double minimumSamplingInterval() const override { return 0.0; }
    bool historizing() const override { return false; }
    UaNodeId modellingRuleId() const override { return m_modellingRuleId; }

private:
    UaNodeId m_nodeId;
    UaString m_name;
    OpcUa_UInt16 m_namespaceIndex;
    OpcUa_UInt32 m_dataTypeId;
    OpcUa_Int32 m_valueRank;
    OpcUa_Byte m_accessLevel;
    UaNodeId m_modellingRuleId;
};

// Kind 3: every attribute as a field of its own; the node's setters write the fields.
class VariableAttributesFull : public VariableAttributes
{
public:
    OpcUa_UInt32 kind() const override { return 3; }
    VariableAttributesFull* makeFull() const override { return new VariableAttributesFull(*this); }
    UaNodeId nodeId() const override { return m_nodeId; }
    UaQualifiedName browseName() const override { return m_browseName; }
    UaLocalizedText displayName() const override { return m_displayName; }
    UaLocalizedText description() const override { return m_description; }
    OpcUa_UInt32 writeMask() const override { return m_writeMask; }
    OpcUa_UInt32 userWriteMask() const override { return m_userWriteMask; }
    UaNodeId dataType() const override { return m_dataType; }
    OpcUa_Int32 valueRank() const override { return m_valueRank; }
    void arrayDimensions(UaUInt32Array& dimensions) const override;
    OpcUa_Byte accessLevel() const override { return m_accessLevel; }
    OpcUa_Byte userAccessLevel() const override { return m_userAccessLevel; }
    OpcUa_Double minimumSamplingInterval() const override { return m_minimumSamplingInterval; }
    bool historizing() const override { return m_historizing; }
    UaNodeId modellingRuleId() const override { return m_modellingRuleId; }

    UaNodeId m_nodeId;
    UaQualifiedName m_browseName;
    UaLocalizedText m_displayName;
    UaLocalizedText m_description;
    OpcUa_UInt32 m_writeMask = 0;
    OpcUa_UInt32 m_userWriteMask = 0;
    UaNodeId m_dataType;
    OpcUa_Int32 m_valueRank = -1;
    // Lengths of each dimension, 0 for unknown; none given: as many zeros as the value rank says.
    std::vector<OpcUa_UInt32> m_arrayDimensions;
    bool m_hasArrayDimensions = false;
    OpcUa_Byte m_accessLevel = 0;
    OpcUa_Byte m_userAccessLevel = 0;
    OpcUa_Double m_minimumSamplingInterval = 0.0;
    bool m_historizing = false;
    UaNodeId m_modellingRuleId;

    // A full record with the values of any record.
    static VariableAttributesFull* copyOf(const VariableAttributes& record);
};

#endif
