#include "uanodeinterfaces.h"

#include "attributeids.h"

// Each interface's read: its own attributes answer here, everything else goes to the common read,
// which refuses what no node class of this kind has.

namespace
{
// The read of a type that adds IsAbstract alone.
template <typename Node>
void readAbstractType(Node& node, Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    if (attributeId != AttributeId::IsAbstract)
        return node.UaNode::getAttributeValue(session, attributeId, dataValue);
    UaNode::beginAttributeRead(dataValue);
    UaNode::setAttributeResult(dataValue, UaVariant(node.isAbstract()));
}

// Reads DataType, ValueRank and ArrayDimensions, which variables and variable types share; false for
// any other id.
template <typename Node> bool readShape(const Node& node, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    UaVariant attribute;
    switch (attributeId)
    {
    case AttributeId::DataType:
        attribute.setNodeId(node.dataType());
        break;
    case AttributeId::ValueRank:
        attribute.setInt32(node.valueRank());
        break;
    case AttributeId::ArrayDimensions:
        if (!node.isArrayDimensionsSupported())
        {
            UaNode::refuseAttribute(dataValue);
            return true;
        }
        {
            UaUInt32Array dimensions;
            node.arrayDimensions(dimensions);
            attribute.setUInt32Array(dimensions, true);
        }
        break;
    default:
        return false;
    }
    UaNode::beginAttributeRead(dataValue);
    UaNode::setAttributeResult(dataValue, attribute);
    return true;
}

// The Value read: the value's own time stamps stand; one without a server time gets the read's.
void takeValue(UaDataValue& dataValue, const UaDataValue& value)
{
    dataValue = value;
    if (!dataValue.isServerTimestampSet())
        dataValue.setServerTimestamp(UaDateTime::now());
}
} // namespace

void UaObject::getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    if (attributeId != AttributeId::EventNotifier)
        return UaNode::getAttributeValue(session, attributeId, dataValue);
    beginAttributeRead(dataValue);
    UaVariant attribute;
    attribute.setByte(eventNotifier());
    setAttributeResult(dataValue, attribute);
}

void UaObjectType::getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    readAbstractType(*this, session, attributeId, dataValue);
}

UaStatus UaVariable::setAttributeValue(Session* session, OpcUa_Int32 attributeId,
                                       const UaDataValue& dataValue, bool checkAccessLevel)
{
    if (attributeId != AttributeId::Value)
        return OpcUa_BadNotWritable;
    return setValue(session, dataValue, checkAccessLevel);
}

void UaVariable::getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    if (readShape(*this, attributeId, dataValue))
        return;
    UaVariant attribute;
    switch (attributeId)
    {
    case AttributeId::Value:
    {
        // A value read replaces the whole data value, so only a refusal needs the read's own stamp.
        const OpcUa_StatusCode refusal =
            (accessLevel() & AccessLevelBit::CurrentRead) == 0              ? OpcUa_BadNotReadable
            : (userAccessLevel(session) & AccessLevelBit::CurrentRead) == 0 ? OpcUa_BadUserAccessDenied
                                                                            : OpcUa_Good;
        if (refusal == OpcUa_Good)
            return takeValue(dataValue, value(session));
        beginAttributeRead(dataValue);
        return setAttributeFailure(dataValue, refusal);
    }
    case AttributeId::AccessLevel:
        attribute.setByte(accessLevel());
        break;
    case AttributeId::UserAccessLevel:
        attribute.setByte(userAccessLevel(session));
        break;
    case AttributeId::MinimumSamplingInterval:
        if (!isMinimumSamplingIntervalSupported())
            return refuseAttribute(dataValue);
        attribute.setDouble(minimumSamplingInterval());
        break;
    case AttributeId::Historizing:
        attribute.setBool(historizing());
        break;
    default:
        return UaNode::getAttributeValue(session, attributeId, dataValue);
    }
    beginAttributeRead(dataValue);
    setAttributeResult(dataValue, attribute);
}

void UaVariableType::getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    if (readShape(*this, attributeId, dataValue))
        return;
    UaVariant attribute;
    switch (attributeId)
    {
    case AttributeId::IsAbstract:
        attribute.setBool(isAbstract());
        break;
    case AttributeId::Value:
        beginAttributeRead(dataValue);
        if (!isValueSupported())
        {
            dataValue.setSourceTimestamp(UaDateTime::now());
            return setAttributeFailure(dataValue, OpcUa_BadAttributeIdInvalid);
        }
        return takeValue(dataValue, value(session));
    default:
        return UaNode::getAttributeValue(session, attributeId, dataValue);
    }
    beginAttributeRead(dataValue);
    setAttributeResult(dataValue, attribute);
}

void UaReferenceType::getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    UaVariant attribute;
    switch (attributeId)
    {
    case AttributeId::IsAbstract:
        attribute.setBool(isAbstract());
        break;
    case AttributeId::Symmetric:
        attribute.setBool(isSymmetric());
        break;
    case AttributeId::InverseName:
        if (!isInverseNameSupported())
            return refuseAttribute(dataValue);
        attribute.setLocalizedText(inverseName(session));
        break;
    default:
        return UaNode::getAttributeValue(session, attributeId, dataValue);
    }
    beginAttributeRead(dataValue);
    setAttributeResult(dataValue, attribute);
}

void UaDataType::getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    readAbstractType(*this, session, attributeId, dataValue);
}

void UaMethod::getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    if (attributeId != AttributeId::Executable && attributeId != AttributeId::UserExecutable)
        return UaNode::getAttributeValue(session, attributeId, dataValue);
    beginAttributeRead(dataValue);
    setAttributeResult(
        dataValue, UaVariant(attributeId == AttributeId::Executable ? isExecutable() : isUserExecutable()));
}

void UaView::getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue)
{
    UaVariant attribute;
    if (attributeId == AttributeId::ContainsNoLoops)
        attribute.setBool(containsNoLoops());
    else if (attributeId == AttributeId::EventNotifier)
        attribute.setByte(eventNotifier());
    else
        return UaNode::getAttributeValue(session, attributeId, dataValue);
    beginAttributeRead(dataValue);
    setAttributeResult(dataValue, attribute);
}
