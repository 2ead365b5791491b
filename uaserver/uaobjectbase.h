#ifndef UASERVER_UAOBJECTBASE_H
#define UASERVER_UAOBJECTBASE_H

#include "standardnodeids.h"
#include "uanodebases.h"

// An object with its own reference lists, named by one text; the derived class gives its event
// notifier.
class UaObjectBase : public UaNamedNode<UaObject>
{
public:
    UaObjectBase(const UaString& name, const UaNodeId& nodeId, const UaString& defaultLocaleId)
        : UaNamedNode(name, nodeId, defaultLocaleId)
    {
    }
};

// An object of type FolderType.
class UaFolder : public UaObjectBase
{
public:
    using UaObjectBase::UaObjectBase;
    UaNodeId typeDefinitionId() const override;
    OpcUa_Byte eventNotifier() const override { return 0; }
};

class UaObjectTypeSimple : public UaNamedNode<UaObjectType>
{
public:
    UaObjectTypeSimple(const UaString& name, const UaNodeId& nodeId, const UaString& defaultLocaleId,
                       bool isAbstract)
        : UaNamedNode(name, nodeId, defaultLocaleId), m_isAbstract(isAbstract)
    {
    }
    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override;
    bool isAbstract() const override { return m_isAbstract; }

private:
    bool m_isAbstract;
};

// A variable type without a value: data type BaseDataType, value rank Any, no array dimensions.
class UaVariableTypeSimple : public UaNamedNode<UaVariableType>
{
public:
    UaVariableTypeSimple(const UaString& name, const UaNodeId& nodeId, const UaString& defaultLocaleId,
                         bool isAbstract)
        : UaNamedNode(name, nodeId, defaultLocaleId), m_isAbstract(isAbstract)
    {
    }
    bool isValueSupported() const override { return false; }
    UaDataValue value(Session*) const override { return UaDataValue(); }
    UaNodeId dataType() const override;
    OpcUa_Int32 valueRank() const override { return -2; }
    bool isArrayDimensionsSupported() const override { return false; }
    void arrayDimensions(UaUInt32Array& dimensions) const override { dimensions.clear(); }
    bool isAbstract() const override { return m_isAbstract; }

private:
    bool m_isAbstract;
};

#endif
