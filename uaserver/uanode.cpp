#include "uanode.h"

#include "attributeids.h"

std::atomic<OpcUa_Int32> UaNodeCounters::uaNode{0};
std::atomic<OpcUa_Int32> UaNodeCounters::uaObject{0};
std::atomic<OpcUa_Int32> UaNodeCounters::uaObjectType{0};
std::atomic<OpcUa_Int32> UaNodeCounters::uaVariable{0};
std::atomic<OpcUa_Int32> UaNodeCounters::uaVariableType{0};
std::atomic<OpcUa_Int32> UaNodeCounters::uaReferenceType{0};
std::atomic<OpcUa_Int32> UaNodeCounters::uaDataType{0};
std::atomic<OpcUa_Int32> UaNodeCounters::uaMethod{0};
std::atomic<OpcUa_Int32> UaNodeCounters::uaView{0};

UaStatus UaNode::setAttributeValue(Session*, OpcUa_Int32, const UaDataValue&, bool)
{
    return OpcUa_BadNotWritable;
}

void UaNode::beginAttributeRead(UaDataValue& dataValue)
{
    dataValue.clear();
    dataValue.setServerTimestamp(UaDateTime::now());
}

void UaNode::setAttributeResult(UaDataValue& dataValue, const UaVariant& value)
{
    dataValue.setValue(value, false, false);
}

void UaNode::setAttributeFailure(UaDataValue& dataValue, OpcUa_StatusCode status)
{
    dataValue.setStatusCode(status);
}

void UaNode::refuseAttribute(UaDataValue& dataValue)
{
    beginAttributeRead(dataValue);
    setAttributeFailure(dataValue, OpcUa_BadAttributeIdInvalid);
}

void UaNode::getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    beginAttributeRead(dataValue);
    UaVariant attribute;
    switch (attributeId)
    {
    case AttributeId::NodeId:
        attribute.setNodeId(nodeId());
        break;
    case AttributeId::NodeClass:
        attribute.setInt32(nodeClass());
        break;
    case AttributeId::BrowseName:
        attribute.setQualifiedName(browseName());
        break;
    case AttributeId::DisplayName:
        attribute.setLocalizedText(displayName(session));
        break;
    case AttributeId::Description:
        if (!isDescriptionSupported())
            return refuseAttribute(dataValue);
        attribute.setLocalizedText(description(session));
        break;
    case AttributeId::WriteMask:
        if (!isWriteMaskSupported())
            return refuseAttribute(dataValue);
        attribute.setUInt32(writeMask());
        break;
    case AttributeId::UserWriteMask:
        if (!isUserWriteMaskSupported())
            return refuseAttribute(dataValue);
        attribute.setUInt32(userWriteMask(session));
        break;
    default:
        return refuseAttribute(dataValue);
    }
    setAttributeResult(dataValue, attribute);
}
