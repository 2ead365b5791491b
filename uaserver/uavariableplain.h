#ifndef UASERVER_UAVARIABLEPLAIN_H
#define UASERVER_UAVARIABLEPLAIN_H

#include "uavariablecache.h"

#include <atomic>

// A variable whose attributes are plain members set by the constructor, its value in the cache.
class UaVariablePlain : public UaPlainNode<UaVariableCache>
{
public:
    UaVariablePlain(const UaNodeId& nodeId, const UaQualifiedName& browseName,
                    const UaLocalizedText& displayName, const UaLocalizedText& description,
                    const UaNodeId& typeDefinitionId, const UaDataValue& value, const UaNodeId& dataType,
                    OpcUa_Int32 valueRank, OpcUa_Byte accessLevel, OpcUa_Byte userAccessLevel,
                    OpcUa_Double minimumSamplingInterval, bool historizing);

    UaNodeId typeDefinitionId() const override { return m_typeDefinitionId; }
    UaNodeId dataType() const override { return m_dataType; }
    OpcUa_Int32 valueRank() const override { return m_valueRank; }
    bool isArrayDimensionsSupported() const override { return true; }
    void arrayDimensions(UaUInt32Array& dimensions) const override;
    OpcUa_Byte accessLevel() const override;
    OpcUa_Byte userAccessLevel(Session* session) const override;
    bool isMinimumSamplingIntervalSupported() const override { return true; }
    OpcUa_Double minimumSamplingInterval() const override { return m_minimumSamplingInterval; }
    bool historizing() const override { return m_historizing; }

    // BrowseName, DisplayName, Description and WriteMask as every plain node; Value through the
    // variable's own setValue, allowed by the access level's current-write bit; AccessLevel and
    // UserAccessLevel by their write-mask bits.
    UaStatus setAttributeValue(Session* session, OpcUa_Int32 attributeId, const UaDataValue& dataValue,
                               bool checkWriteMask) override;

private:
    UaNodeId m_typeDefinitionId;
    UaNodeId m_dataType;
    OpcUa_Int32 m_valueRank;
    // Read without the node's mutex (the sampling of every value asks for them); written under it.
    std::atomic<OpcUa_Byte> m_accessLevel;
    std::atomic<OpcUa_Byte> m_userAccessLevel;
    OpcUa_Double m_minimumSamplingInterval;
    bool m_historizing;
};

#endif
