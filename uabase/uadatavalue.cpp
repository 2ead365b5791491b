#include "uadatavalue.h"

#include "uavariantcopy.h"

#include <cmath>
#include <new>

UaDataValueRecord* UaDataValueRecord::empty()
{
    static UaDataValueRecord* record = []
    {
        auto* r = new UaDataValueRecord;
        OpcUa_DataValue_Initialize(&r->value);
        r->refCount.store(kImmortalRefCount);
        return r;
    }();
    return record;
}

void UaDataValueRecord::destroy(UaDataValueRecord* record)
{
    OpcUa_DataValue_Clear(&record->value);
    delete record;
}

namespace
{
UaDataValueRecord* newRecord(const OpcUa_DataValue& source)
{
    auto* record = new (std::nothrow) UaDataValueRecord;
    if (record == nullptr)
        return nullptr;
    record->refCount.store(1);
    if ((VariantCopy::copyDataValue(source, record->value) & 0xC0000000u) != 0)
    {
        delete record;
        return nullptr;
    }
    return record;
}
} // namespace

UaDataValue::UaDataValue(const OpcUa_DataValue& other) : UaSharedHandle()
{
    adopt(newRecord(other));
}

void UaDataValue::clear()
{
    adopt(sharedEmpty());
}

OpcUa_DataValue* UaDataValue::writable()
{
    if (m_record->refCount.load() > 1)
    {
        UaDataValueRecord* own = newRecord(m_record->value);
        if (own == nullptr)
            return nullptr;
        adopt(own);
    }
    return &m_record->value;
}

OpcUa_StatusCode UaDataValue::copyTo(OpcUa_DataValue* target) const
{
    if (target == nullptr)
        return OpcUa_BadInvalidArgument;
    return VariantCopy::copyDataValue(m_record->value, *target);
}

OpcUa_DataValue* UaDataValue::copyTo(const UaDataValue& source)
{
    auto* target = static_cast<OpcUa_DataValue*>(OpcUa_Memory_Alloc(sizeof(OpcUa_DataValue)));
    if (target == nullptr)
        return nullptr;
    if ((VariantCopy::copyDataValue(source.m_record->value, *target) & 0xC0000000u) != 0)
    {
        OpcUa_Memory_Free(target);
        return nullptr;
    }
    return target;
}

OpcUa_DataValue* UaDataValue::detachTo(OpcUa_DataValue* target)
{
    if (target == nullptr || m_record->refCount.load() != 1 || m_record == UaDataValueRecord::empty())
        return nullptr;
    *target = m_record->value;
    OpcUa_DataValue_Initialize(&m_record->value);
    adopt(sharedEmpty());
    return target;
}

void UaDataValue::moveValueIn(OpcUa_Variant& value, bool stampSource, bool stampServer)
{
    OpcUa_DataValue* record = writable();
    if (record == nullptr)
    {
        OpcUa_Variant_Clear(&value);
        return;
    }
    OpcUa_Variant_Clear(&record->Value);
    record->Value = value;
    record->StatusCode = OpcUa_Good;
    if (stampSource)
        record->SourceTimestamp = UaDateTime::now();
    if (stampServer)
        record->ServerTimestamp = UaDateTime::now();
}

void UaDataValue::setValue(UaVariant& value, bool detach, bool updateTimestamps)
{
    setValue(value, detach, updateTimestamps, updateTimestamps);
}

void UaDataValue::setValue(const UaVariant& value, bool detach, bool updateTimestamps)
{
    setValue(value, detach, updateTimestamps, updateTimestamps);
}

void UaDataValue::setValue(UaVariant& value, bool detach, bool stampSource, bool stampServer)
{
    if (!detach)
    {
        setValue(static_cast<const UaVariant&>(value), false, stampSource, stampServer);
        return;
    }
    OpcUa_Variant taken = value.m_value;
    OpcUa_Variant_Initialize(&value.m_value);
    moveValueIn(taken, stampSource, stampServer);
}

void UaDataValue::setValue(const UaVariant& value, bool, bool stampSource, bool stampServer)
{
    OpcUa_Variant copy;
    VariantCopy::copy(value.m_value, copy);
    moveValueIn(copy, stampSource, stampServer);
}

void UaDataValue::setValue(OpcUa_Variant& value, bool detach, bool updateTimestamps)
{
    if (!detach)
    {
        setValue(static_cast<const OpcUa_Variant&>(value), false, updateTimestamps);
        return;
    }
    OpcUa_Variant taken = value;
    OpcUa_Variant_Initialize(&value);
    moveValueIn(taken, updateTimestamps, updateTimestamps);
}

void UaDataValue::setValue(const OpcUa_Variant& value, bool, bool updateTimestamps)
{
    OpcUa_Variant copy;
    VariantCopy::copy(value, copy);
    moveValueIn(copy, updateTimestamps, updateTimestamps);
}

void UaDataValue::setStatusCode(OpcUa_StatusCode status)
{
    if (OpcUa_DataValue* record = writable())
        record->StatusCode = status;
}

void UaDataValue::setSourceTimestamp(const OpcUa_DateTime& time)
{
    if (OpcUa_DataValue* record = writable())
        record->SourceTimestamp = time;
}

void UaDataValue::setServerTimestamp(const OpcUa_DateTime& time)
{
    if (OpcUa_DataValue* record = writable())
        record->ServerTimestamp = time;
}

void UaDataValue::setSourceTimestamp(const OpcUa_DateTime& time, OpcUa_UInt16 picoseconds)
{
    if (OpcUa_DataValue* record = writable())
    {
        record->SourceTimestamp = time;
        record->SourcePicoseconds = picoseconds;
    }
}

void UaDataValue::setServerTimestamp(const OpcUa_DateTime& time, OpcUa_UInt16 picoseconds)
{
    if (OpcUa_DataValue* record = writable())
    {
        record->ServerTimestamp = time;
        record->ServerPicoseconds = picoseconds;
    }
}

bool UaDataValue::operator==(const UaDataValue& other) const
{
    if (m_record == other.m_record)
        return true;
    if (m_record->value.StatusCode != other.m_record->value.StatusCode)
        return false;
    return UaVariant::isSame(m_record->value.Value, other.m_record->value.Value);
}

bool UaDataValue::isEqual(const UaDataValue& other, bool withTimestamps) const
{
    if (!(*this == other))
        return false;
    if (!withTimestamps)
        return true;
    const OpcUa_DataValue& a = m_record->value;
    const OpcUa_DataValue& b = other.m_record->value;
    return UaDateTime(a.SourceTimestamp).toInt64() == UaDateTime(b.SourceTimestamp).toInt64() &&
           UaDateTime(a.ServerTimestamp).toInt64() == UaDateTime(b.ServerTimestamp).toInt64() &&
           a.SourcePicoseconds == b.SourcePicoseconds && a.ServerPicoseconds == b.ServerPicoseconds;
}

// ---- absolute deadband ----

namespace
{
bool isNumeric(OpcUa_Byte type)
{
    return type >= OpcUaType_SByte && type <= OpcUaType_Double;
}

// One numeric element widened to double, each integer by its own signedness.
double widen(OpcUa_Byte type, const void* element)
{
    switch (type)
    {
    case OpcUaType_SByte:
        return *static_cast<const OpcUa_SByte*>(element);
    case OpcUaType_Byte:
        return *static_cast<const OpcUa_Byte*>(element);
    case OpcUaType_Int16:
        return *static_cast<const OpcUa_Int16*>(element);
    case OpcUaType_UInt16:
        return *static_cast<const OpcUa_UInt16*>(element);
    case OpcUaType_Int32:
        return *static_cast<const OpcUa_Int32*>(element);
    case OpcUaType_UInt32:
        return *static_cast<const OpcUa_UInt32*>(element);
    case OpcUaType_Int64:
        return static_cast<double>(*static_cast<const OpcUa_Int64*>(element));
    case OpcUaType_UInt64:
        return static_cast<double>(*static_cast<const OpcUa_UInt64*>(element));
    case OpcUaType_Float:
        return *static_cast<const OpcUa_Float*>(element);
    default:
        return *static_cast<const OpcUa_Double*>(element);
    }
}

bool anyBeyond(OpcUa_Byte type, const void* a, const void* b, OpcUa_Int64 count, double deadband)
{
    if (a == nullptr || b == nullptr)
        return a != b;
    OpcUa_UInt32 size = VariantCopy::elementSize(type);
    const auto* pa = static_cast<const OpcUa_Byte*>(a);
    const auto* pb = static_cast<const OpcUa_Byte*>(b);
    for (OpcUa_Int64 i = 0; i < count; ++i)
    {
        if (std::fabs(widen(type, pa + i * size) - widen(type, pb + i * size)) > deadband)
            return true;
    }
    return false;
}
} // namespace

OpcUa_StatusCode UaDataValue::checkDeadband(const UaDataValue& last, const UaDataValue& current,
                                            double deadband, bool& changed)
{
    changed = false;
    const OpcUa_DataValue& a = last.m_record->value;
    const OpcUa_DataValue& b = current.m_record->value;
    if (a.StatusCode != b.StatusCode || !(deadband > 0) || a.Value.Datatype != b.Value.Datatype ||
        a.Value.ArrayType != b.Value.ArrayType)
    {
        changed = true;
        return OpcUa_Good;
    }
    OpcUa_Byte type = a.Value.Datatype;
    switch (a.Value.ArrayType)
    {
    case OpcUa_VariantArrayType_Scalar:
    {
        if (!isNumeric(type))
            return OpcUa_BadTypeMismatch;
        changed = std::fabs(widen(type, &a.Value.Value) - widen(type, &b.Value.Value)) > deadband;
        return OpcUa_Good;
    }
    case OpcUa_VariantArrayType_Array:
        if (a.Value.Value.Array.Length != b.Value.Value.Array.Length)
        {
            changed = true;
            return OpcUa_Good;
        }
        if (!isNumeric(type))
            return OpcUa_BadTypeMismatch;
        changed = anyBeyond(type, a.Value.Value.Array.Value.Array, b.Value.Value.Array.Value.Array,
                            a.Value.Value.Array.Length, deadband);
        return OpcUa_Good;
    default:
    {
        const OpcUa_VariantMatrixValue& x = a.Value.Value.Matrix;
        const OpcUa_VariantMatrixValue& y = b.Value.Value.Matrix;
        if (x.NoOfDimensions != y.NoOfDimensions)
        {
            changed = true;
            return OpcUa_Good;
        }
        for (OpcUa_Int32 i = 0; i < x.NoOfDimensions; ++i)
        {
            if (x.Dimensions == nullptr || y.Dimensions == nullptr || x.Dimensions[i] != y.Dimensions[i])
            {
                changed = true;
                return OpcUa_Good;
            }
        }
        if (!isNumeric(type))
            return OpcUa_BadTypeMismatch;
        OpcUa_Int64 count = VariantCopy::matrixElementCount(x);
        changed = count != 0 && (count < 0 || anyBeyond(type, x.Value.Array, y.Value.Array, count, deadband));
        return OpcUa_Good;
    }
    }
}
