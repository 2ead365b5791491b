#ifndef UASERVER_UANODEINTERFACES_H
#define UASERVER_UANODEINTERFACES_H

#include "uanode.h"

#include <uavariant.h>

class MethodManager;
class UaMethod;
class VariableHandle;

// The eight node class interfaces: each fixes nodeClass, adds its own attribute getters and reads
// its own attributes before it hands 1 to 7 to the common read.

class UaObject : public UaNode
{
public:
    OpcUa_NodeClass nodeClass() const override { return OpcUa_NodeClass_Object; }
    virtual OpcUa_Byte eventNotifier() const = 0;
    // The method manager that executes the method on this object; null when none does.
    virtual MethodManager* getMethodManager(UaMethod* /*methodNode*/) const { return nullptr; }
    void getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue) override;

private:
    InstanceCount m_classCount{UaNodeCounters::uaObject};
};

class UaObjectType : public UaNode
{
public:
    OpcUa_NodeClass nodeClass() const override { return OpcUa_NodeClass_ObjectType; }
    virtual bool isAbstract() const = 0;
    void getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue) override;

private:
    InstanceCount m_classCount{UaNodeCounters::uaObjectType};
};

class UaVariable : public UaNode
{
public:
    OpcUa_NodeClass nodeClass() const override { return OpcUa_NodeClass_Variable; }
    virtual UaDataValue value(Session* session) = 0;
    virtual UaStatus setValue(Session* session, const UaDataValue& dataValue, bool checkAccessLevel) = 0;
    virtual UaNodeId dataType() const = 0;
    virtual OpcUa_Int32 valueRank() const = 0;
    virtual bool isArrayDimensionsSupported() const = 0;
    virtual void arrayDimensions(UaUInt32Array& dimensions) const = 0;
    virtual OpcUa_Byte accessLevel() const = 0;
    virtual OpcUa_Byte userAccessLevel(Session* session) const = 0;
    virtual bool isMinimumSamplingIntervalSupported() const = 0;
    virtual OpcUa_Double minimumSamplingInterval() const = 0;
    virtual bool historizing() const = 0;
    // 0x1 device path, 0x2 cached in the node, 0x4 read through the device path although cached.
    virtual OpcUa_UInt32 valueHandling() const { return 0; }
    // The variable's own handle for its Value, with a reference added; null here.
    virtual VariableHandle* getVariableHandle() { return nullptr; }

    // Value goes to setValue; every other attribute is refused.
    UaStatus setAttributeValue(Session* session, OpcUa_Int32 attributeId, const UaDataValue& dataValue,
                               bool checkAccessLevel) override;
    void getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue) override;

private:
    InstanceCount m_classCount{UaNodeCounters::uaVariable};
};

class UaVariableType : public UaNode
{
public:
    OpcUa_NodeClass nodeClass() const override { return OpcUa_NodeClass_VariableType; }
    virtual bool isValueSupported() const = 0;
    virtual UaDataValue value(Session* session) const = 0;
    virtual UaNodeId dataType() const = 0;
    virtual OpcUa_Int32 valueRank() const = 0;
    virtual bool isArrayDimensionsSupported() const = 0;
    virtual void arrayDimensions(UaUInt32Array& dimensions) const = 0;
    virtual bool isAbstract() const = 0;
    void getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue) override;

private:
    InstanceCount m_classCount{UaNodeCounters::uaVariableType};
};

class UaReferenceType : public UaNode
{
public:
    OpcUa_NodeClass nodeClass() const override { return OpcUa_NodeClass_ReferenceType; }
    virtual bool isAbstract() const = 0;
    virtual bool isSymmetric() const = 0;
    virtual bool isInverseNameSupported() const = 0;
    virtual UaLocalizedText inverseName(Session* session) const = 0;
    // Whether referenceTypeId names a proper super type of this type.
    virtual bool isSubtypeOf(const UaNodeId& referenceTypeId) const = 0;
    void getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue) override;

private:
    InstanceCount m_classCount{UaNodeCounters::uaReferenceType};
};

class UaDataType : public UaNode
{
public:
    OpcUa_NodeClass nodeClass() const override { return OpcUa_NodeClass_DataType; }
    virtual bool isAbstract() const = 0;
    void getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue) override;

private:
    InstanceCount m_classCount{UaNodeCounters::uaDataType};
};

class UaMethod : public UaNode
{
public:
    OpcUa_NodeClass nodeClass() const override { return OpcUa_NodeClass_Method; }
    virtual bool isExecutable() const = 0;
    virtual bool isUserExecutable() const = 0;
    void getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue) override;

private:
    InstanceCount m_classCount{UaNodeCounters::uaMethod};
};

class UaView : public UaNode
{
public:
    OpcUa_NodeClass nodeClass() const override { return OpcUa_NodeClass_View; }
    virtual bool containsNoLoops() const = 0;
    virtual OpcUa_Byte eventNotifier() const = 0;
    void getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue) override;

private:
    InstanceCount m_classCount{UaNodeCounters::uaView};
};

#endif
