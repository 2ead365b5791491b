#include "uavariablecache.h"

#include "attributeids.h"
#include "cachesamplingitem.h"
#include "standardnodeids.h"
#include "uaplainnodes.h"
#include "variablevaluerules.h"

#include <algorithm>

namespace
{
// The array type a value must have to be stored in a variable of that value rank.
OpcUa_Byte expectedArrayType(OpcUa_Int32 valueRank, OpcUa_Byte incoming)
{
    if (valueRank == -1)
        return OpcUa_VariantArrayType_Scalar;
    if (valueRank == 1)
        return OpcUa_VariantArrayType_Array;
    if (valueRank > 1)
        return OpcUa_VariantArrayType_Matrix;
    if (valueRank == 0)
        return incoming == OpcUa_VariantArrayType_Scalar
                   ? static_cast<OpcUa_Byte>(OpcUa_VariantArrayType_Array)
                   : incoming;
    return incoming;
}

bool differsInTime(const OpcUa_DateTime& a, OpcUa_UInt16 aPicoseconds, const OpcUa_DateTime& b,
                   OpcUa_UInt16 bPicoseconds)
{
    return UaDateTime(a) != UaDateTime(b) || aPicoseconds != bPicoseconds;
}
} // namespace

UaVariableCache::UaVariableCache() : UaVariableCache(nullptr) {}

UaVariableCache::UaVariableCache(UaMutexRefCounted* sharedMutex)
    : m_pSharedMutex(sharedMutex), m_variableHandle(*this, AttributeId::Value)
{
    if (m_pSharedMutex)
        m_pSharedMutex->addReference();
    else
        m_pSharedMutex = new UaMutexRefCounted;
}

UaVariableCache::~UaVariableCache()
{
    detachSamplingItems();
    m_pSharedMutex->releaseReference();
}

void UaVariableCache::detachSamplingItems()
{
    UaSharedMutexLocker locker(m_pSharedMutex);
    for (CacheSamplingItem* item : m_samplingItems)
        item->variableRemoved();
    m_samplingItems.clear();
}

void UaVariableCache::prepareRemove()
{
    detachSamplingItems();
}

UaDataValue UaVariableCache::value(Session*)
{
    // Only the shared copy needs the mutex: a shared value is never changed in place, so the stamp
    // below gives the copy a value of its own without holding up writers or other readers.
    UaDataValue copy = [this]
    {
        UaSharedMutexLocker locker(m_pSharedMutex);
        return m_cachedValue;
    }();
    copy.setServerTimestamp(UaDateTime::now());
    return copy;
}

UaStatus UaVariableCache::setValue(Session*, const UaDataValue& dataValue, bool checkAccessLevel)
{
    UaSharedMutexLocker locker(m_pSharedMutex);
    const OpcUa_DataValue& incoming = *static_cast<const OpcUa_DataValue*>(dataValue);
    const OpcUa_DataValue& cached = *static_cast<const OpcUa_DataValue*>(m_cachedValue);
    const bool emptyFailure = VariableValueRules::isEmptyFailure(dataValue);

    // A variable that cannot be written says so whatever it is offered.
    if (checkAccessLevel && (accessLevel() & AccessLevelBit::CurrentWrite) == 0)
        return OpcUa_BadNotWritable;
    if (incoming.Value.ArrayType != cached.Value.ArrayType && !emptyFailure &&
        incoming.Value.ArrayType != expectedArrayType(valueRank(), incoming.Value.ArrayType))
        return OpcUa_BadTypeMismatch;
    if (incoming.Value.Datatype != cached.Value.Datatype && !emptyFailure)
    {
        const UaNodeId variableType = dataType();
        if (variableType != UaNodeId(StandardNodeId::BaseDataType, 0) &&
            variableType != UaNodeId(static_cast<OpcUa_UInt32>(incoming.Value.Datatype), 0))
            return OpcUa_BadTypeMismatch;
    }

    // Status or value first; an equal value still counts when it brings a newer server time, or
    // failing that a newer source time.
    bool changed = !(dataValue == m_cachedValue);
    if (!changed && dataValue.isServerTimestampSet())
        changed = differsInTime(incoming.ServerTimestamp, incoming.ServerPicoseconds, cached.ServerTimestamp,
                                cached.ServerPicoseconds);
    if (!changed && dataValue.isSourceTimestampSet())
        changed = differsInTime(incoming.SourceTimestamp, incoming.SourcePicoseconds, cached.SourceTimestamp,
                                cached.SourcePicoseconds);
    if (!changed)
        return OpcUa_Good;
    m_cachedValue = dataValue;
    VariableValueRules::stampMissingTimestamps(m_cachedValue);
    for (CacheSamplingItem* item : m_samplingItems)
        item->sample();
    return OpcUa_Good;
}

VariableHandle* UaVariableCache::getVariableHandle()
{
    m_variableHandle.addReference();
    return &m_variableHandle;
}

void UaVariableCache::setSharedMutex(UaMutexRefCounted* sharedMutex)
{
    if (!sharedMutex || sharedMutex == m_pSharedMutex)
        return;
    sharedMutex->addReference();
    m_pSharedMutex->releaseReference();
    m_pSharedMutex = sharedMutex;
}

void UaVariableCache::addSamplingItem(CacheSamplingItem* item)
{
    UaSharedMutexLocker locker(m_pSharedMutex);
    m_samplingItems.push_back(item);
}

void UaVariableCache::removeSamplingItem(CacheSamplingItem* item)
{
    UaSharedMutexLocker locker(m_pSharedMutex);
    m_samplingItems.erase(std::remove(m_samplingItems.begin(), m_samplingItems.end(), item),
                          m_samplingItems.end());
}

OpcUa_UInt32 UaVariableCache::samplingItemCount() const
{
    UaSharedMutexLocker locker(m_pSharedMutex);
    return static_cast<OpcUa_UInt32>(m_samplingItems.size());
}

void UaVariableCache::copySamplingItems(std::vector<OpcUa_UInt32>& itemHandles) const
{
    UaSharedMutexLocker locker(m_pSharedMutex);
    itemHandles.clear();
    for (const CacheSamplingItem* item : m_samplingItems)
        itemHandles.push_back(item->itemHandle());
}

UaDataVariableCache::UaDataVariableCache(const UaString& name, const UaNodeId& nodeId,
                                         const UaVariant& initialValue, OpcUa_Byte accessLevel,
                                         const UaString& defaultLocaleId)
    : UaNamedNode(name, nodeId, defaultLocaleId), m_dataType(VariableValueRules::dataTypeOf(initialValue)),
      m_valueRank(VariableValueRules::valueRankOf(initialValue)), m_accessLevel(accessLevel)
{
    m_cachedValue.setValue(initialValue, false, false);
}

UaStatus UaDataVariableCache::browse(const ServiceContext& context, BrowseContext& browseContext,
                                     UaReferenceDescriptionArray& references)
{
    return browseWithTrace(*this, m_nodeId, "UaDataVariableCache", "DataVariable", context, browseContext,
                           references);
}

UaNodeId UaDataVariableCache::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::BaseDataVariableType, 0);
}

UaNodeId UaDataVariableCache::dataType() const
{
    UaSharedMutexLocker locker(sharedMutex());
    return m_dataType;
}

OpcUa_Int32 UaDataVariableCache::valueRank() const
{
    UaSharedMutexLocker locker(sharedMutex());
    return m_valueRank;
}

void UaDataVariableCache::arrayDimensions(UaUInt32Array& dimensions) const
{
    unknownArrayDimensions(valueRank(), dimensions);
}

void UaDataVariableCache::setDataType(const UaNodeId& dataType)
{
    UaSharedMutexLocker locker(sharedMutex());
    m_dataType = dataType;
}

void UaDataVariableCache::setValueRank(OpcUa_Int32 valueRank)
{
    UaSharedMutexLocker locker(sharedMutex());
    m_valueRank = valueRank;
}

UaNodeId UaPropertyCache::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::PropertyType, 0);
}
