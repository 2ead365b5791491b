#ifndef UASERVER_UADATAVARIABLEDEVICE_H
#define UASERVER_UADATAVARIABLEDEVICE_H

#include "uanodebases.h"

#include <uamutex.h>

// A data variable whose value is read and written through its node manager's I/O path; the node
// keeps the last value it was given.
class UaDataVariableDevice : public UaNamedNode<UaVariable>
{
public:
    UaDataVariableDevice(const UaString& name, const UaNodeId& nodeId, const UaNodeId& dataType,
                         OpcUa_Int32 valueRank, OpcUa_Byte accessLevel, const UaString& defaultLocaleId);

    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override;
    UaNodeId typeDefinitionId() const override;
    UaDataValue value(Session* session) override;
    // A value of another built-in type than the data type (unless that is BaseDataType), or a scalar
    // for a variable that is not scalar, is refused; a missing server or source time is stamped.
    UaStatus setValue(Session* session, const UaDataValue& dataValue, bool checkAccessLevel) override;
    UaNodeId dataType() const override { return m_dataType; }
    OpcUa_Int32 valueRank() const override { return m_valueRank; }
    bool isArrayDimensionsSupported() const override { return true; }
    void arrayDimensions(UaUInt32Array& dimensions) const override;
    OpcUa_Byte accessLevel() const override { return m_accessLevel; }
    OpcUa_Byte userAccessLevel(Session*) const override { return m_accessLevel; }
    bool isMinimumSamplingIntervalSupported() const override { return true; }
    OpcUa_Double minimumSamplingInterval() const override { return 0.0; }
    bool historizing() const override { return false; }
    OpcUa_UInt32 valueHandling() const override { return 0x1; }

private:
    // The stored value has a lock of its own: read jobs store values on pool threads, where the node
    // manager's lock is not held.
    mutable UaMutex m_valueMutex;
    UaDataValue m_value;
    UaNodeId m_dataType;
    OpcUa_Int32 m_valueRank;
    OpcUa_Byte m_accessLevel;
};

#endif
