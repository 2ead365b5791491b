#ifndef UABASE_UADATAVALUE_H
#define UABASE_UADATAVALUE_H

#include "uadatetime.h"
#include "uasharedhandle.h"
#include "uavariant.h"

#include <opcua.h>

#include <atomic>

struct UaDataValueRecord
{
    OpcUa_DataValue value;
    std::atomic<OpcUa_UInt32> refCount;
    static UaDataValueRecord* empty();
    static void destroy(UaDataValueRecord* record);
};

// Shared stack data value: copies share one record, and every setter first gives this object a
// record of its own when the record is shared (copy on write).
class UaDataValue : public UaSharedHandle<UaDataValueRecord>
{
public:
    UaDataValue() = default;
    UaDataValue(const OpcUa_DataValue& other);

    // Shares the empty record again.
    void clear();

    operator const OpcUa_DataValue*() const { return &m_record->value; }

    OpcUa_StatusCode statusCode() const { return m_record->value.StatusCode; }
    OpcUa_DateTime sourceTimestamp() const { return m_record->value.SourceTimestamp; }
    OpcUa_DateTime serverTimestamp() const { return m_record->value.ServerTimestamp; }
    OpcUa_UInt16 sourcePicoseconds() const { return m_record->value.SourcePicoseconds; }
    OpcUa_UInt16 serverPicoseconds() const { return m_record->value.ServerPicoseconds; }
    bool isSourceTimestampSet() const { return !UaDateTime(m_record->value.SourceTimestamp).isNull(); }
    bool isServerTimestampSet() const { return !UaDateTime(m_record->value.ServerTimestamp).isNull(); }
    // A deep copy of the value.
    UaVariant value() const { return UaVariant(m_record->value.Value); }

    // A deep copy into a caller's structure (initialised first).
    OpcUa_StatusCode copyTo(OpcUa_DataValue* target) const;
    // A deep copy in a new structure from the stack allocator; null when memory runs out.
    static OpcUa_DataValue* copyTo(const UaDataValue& source);
    // Moves the data value into target when this object alone holds its record (this object is
    // empty afterwards) and returns target; returns null and changes nothing when it is shared.
    OpcUa_DataValue* detachTo(OpcUa_DataValue* target);

    // Replaces the value and sets the status to Good. detach moves the given variant's contents in
    // and leaves it empty (a const variant is always copied); updateTimestamps stamps source and
    // server time with the current time.
    void setValue(UaVariant& value, bool detach, bool updateTimestamps);
    void setValue(const UaVariant& value, bool detach, bool updateTimestamps);
    void setValue(OpcUa_Variant& value, bool detach, bool updateTimestamps);
    void setValue(const OpcUa_Variant& value, bool detach, bool updateTimestamps);
    // As above, with the source and the server time stamp each stamped on its own request.
    void setValue(UaVariant& value, bool detach, bool stampSource, bool stampServer);
    void setValue(const UaVariant& value, bool detach, bool stampSource, bool stampServer);
    void setStatusCode(OpcUa_StatusCode status);
    void setSourceTimestamp(const OpcUa_DateTime& time);
    void setServerTimestamp(const OpcUa_DateTime& time);
    void setSourceTimestamp(const OpcUa_DateTime& time, OpcUa_UInt16 picoseconds);
    void setServerTimestamp(const OpcUa_DateTime& time, OpcUa_UInt16 picoseconds);

    // Same record, or equal status codes and equal values.
    bool operator==(const UaDataValue& other) const;
    bool operator!=(const UaDataValue& other) const { return !(*this == other); }
    // As ==; withTimestamps also compares both time stamps and their picoseconds.
    bool isEqual(const UaDataValue& other, bool withTimestamps) const;

    // Absolute deadband: changed when the status codes, the types or the shapes differ, when the
    // deadband is not above 0, or when any numeric element moved by more than the deadband.
    // Non-numeric values give BadTypeMismatch.
    static OpcUa_StatusCode checkDeadband(const UaDataValue& last, const UaDataValue& current,
                                          double deadband, bool& changed);
    // The name under which the monitored items call the same test.
    static OpcUa_StatusCode compareWithDeadband(const UaDataValue& last, const UaDataValue& current,
                                                double deadband, bool& changed)
    {
        return checkDeadband(last, current, deadband, changed);
    }

private:
    // The record made private first; null when no private copy could be made (nothing changes).
    OpcUa_DataValue* writable();
    void moveValueIn(OpcUa_Variant& value, bool stampSource, bool stampServer);
};

#endif
