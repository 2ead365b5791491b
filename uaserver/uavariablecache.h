#ifndef UASERVER_UAVARIABLECACHE_H
#define UASERVER_UAVARIABLECACHE_H

#include "uanodebases.h"
#include "variablehandle.h"

#include <uamutex.h>

#include <vector>

class CacheSamplingItem;

// Holds a shared mutex for its scope.
class UaSharedMutexLocker
{
public:
    explicit UaSharedMutexLocker(UaMutexRefCounted* mutex) : m_mutex(mutex) { m_mutex->lock(); }
    ~UaSharedMutexLocker() { m_mutex->unlock(); }
    UaSharedMutexLocker(const UaSharedMutexLocker&) = delete;
    UaSharedMutexLocker& operator=(const UaSharedMutexLocker&) = delete;

private:
    UaMutexRefCounted* m_mutex;
};

// A variable that keeps its value in the node, guarded by a mutex that several variables may share,
// and tells the sampling items that watch it of every new value. The I/O manager answers its Value
// from the cache.
class UaVariableCache : public UaVariable
{
public:
    // With a mutex of its own.
    UaVariableCache();
    // Shares the mutex (a reference is added); null makes one of its own.
    explicit UaVariableCache(UaMutexRefCounted* sharedMutex);
    // Tells the remaining sampling items that the variable is gone.
    ~UaVariableCache() override;

    // The items leave with the variable: each is told, and the list is emptied.
    void prepareRemove() override;
    // A copy of the cached value with the server timestamp of now.
    UaDataValue value(Session* session) override;
    // Checks the value's shape and type against the variable's value rank and data type, then stores
    // it and tells the sampling items, unless it changes nothing (same status and value and no newer
    // time stamp).
    UaStatus setValue(Session* session, const UaDataValue& dataValue, bool checkAccessLevel) override;
    OpcUa_UInt32 valueHandling() const override { return 0x3; }
    VariableHandle* getVariableHandle() override;

    // Releases the old mutex and shares the new one; null is ignored.
    virtual void setSharedMutex(UaMutexRefCounted* sharedMutex);
    UaMutexRefCounted* sharedMutex() const { return m_pSharedMutex; }
    void addSamplingItem(CacheSamplingItem* item);
    void removeSamplingItem(CacheSamplingItem* item);
    OpcUa_UInt32 samplingItemCount() const;
    // Empties the list, then appends the handle of each item of this variable.
    void copySamplingItems(std::vector<OpcUa_UInt32>& itemHandles) const;

protected:
    // The cached value, guarded by the shared mutex.
    UaDataValue m_cachedValue;

private:
    void detachSamplingItems();

    UaMutexRefCounted* m_pSharedMutex;
    UaVariableOwnHandle m_variableHandle;
    std::vector<CacheSamplingItem*> m_samplingItems;
};

// A cached data variable named by one text, with its own reference lists; data type and value rank
// come from the initial value.
class UaDataVariableCache : public UaNamedNode<UaVariableCache>
{
public:
    UaDataVariableCache(const UaString& name, const UaNodeId& nodeId, const UaVariant& initialValue,
                        OpcUa_Byte accessLevel, const UaString& defaultLocaleId);

    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override;
    UaNodeId typeDefinitionId() const override;
    UaNodeId dataType() const override;
    OpcUa_Int32 valueRank() const override;
    bool isArrayDimensionsSupported() const override { return true; }
    void arrayDimensions(UaUInt32Array& dimensions) const override;
    OpcUa_Byte accessLevel() const override { return m_accessLevel; }
    OpcUa_Byte userAccessLevel(Session*) const override { return m_accessLevel; }
    bool isMinimumSamplingIntervalSupported() const override { return true; }
    OpcUa_Double minimumSamplingInterval() const override { return 0.0; }
    bool historizing() const override { return false; }
    virtual void setDataType(const UaNodeId& dataType);
    virtual void setValueRank(OpcUa_Int32 valueRank);

private:
    UaNodeId m_dataType;
    OpcUa_Int32 m_valueRank;
    OpcUa_Byte m_accessLevel;
};

// A cached property: a data variable of type PropertyType.
class UaPropertyCache : public UaDataVariableCache
{
public:
    using UaDataVariableCache::UaDataVariableCache;
    UaNodeId typeDefinitionId() const override;
};

#endif
