#ifndef UASERVER_ATTRIBUTERECORD_H
#define UASERVER_ATTRIBUTERECORD_H

#include "attributewriterules.h"
#include "uavariablecache.h"

// The attribute record a standard type node owns: read under the node's shared mutex, and made a
// full record (kind 3) by the first write. Record answers its kind and makes a Full copy of itself.
template <typename Record, typename Full> class AttributeRecord
{
public:
    explicit AttributeRecord(Record* record) : m_record(record) {}
    ~AttributeRecord() { delete m_record; }
    AttributeRecord(const AttributeRecord&) = delete;
    AttributeRecord& operator=(const AttributeRecord&) = delete;

    template <typename T> T read(UaMutexRefCounted* mutex, T (Record::*getter)() const) const
    {
        UaSharedMutexLocker locker(mutex);
        return (m_record->*getter)();
    }
    template <typename T, typename V> void write(UaMutexRefCounted* mutex, T Full::*field, const V& value)
    {
        UaSharedMutexLocker locker(mutex);
        full().*field = value;
    }
    // A write of attributeId that the write rules allow under the record's write mask; apply(full)
    // stores the value, under the mutex like the check.
    template <typename Apply>
    UaStatus writeChecked(UaMutexRefCounted* mutex, OpcUa_Int32 attributeId, const UaVariant& value,
                          bool checkWriteMask, Apply apply)
    {
        UaSharedMutexLocker locker(mutex);
        const UaStatus allowed =
            AttributeWriteRules::check(attributeId, m_record->writeMask(), value, checkWriteMask);
        if (allowed.isBad())
            return allowed;
        apply(full());
        return OpcUa_Good;
    }
    // The caller holds the shared mutex.
    const Record& current() const { return *m_record; }
    Full& full()
    {
        if (m_record->kind() != 3)
        {
            Full* promoted = m_record->makeFull();
            delete m_record;
            m_record = promoted;
        }
        return static_cast<Full&>(*m_record);
    }

private:
    Record* m_record;
};

#endif
