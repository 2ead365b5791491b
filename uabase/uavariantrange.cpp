// Reading and writing index ranges of variants.
#include "utf8walk.h"
#include "uavariant.h"
#include "uavariantcopy.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
bool failed(OpcUa_StatusCode status)
{
    return (status & 0xC0000000u) != 0;
}

// One dimension as a first index and a count; the count of a range is taken in 64 bits, since
// h - l + 1 does not fit 32 bits for 0:4294967295.
struct Selection
{
    OpcUa_UInt64 first = 0;
    OpcUa_UInt64 count = 0;
    bool usable = false;
};

Selection selectionOf(const UaNumericRangeDimension& d)
{
    Selection s;
    if (d.kind == UaNumericRange::SingleIndex)
    {
        s.first = d.first;
        s.count = 1;
        s.usable = true;
    }
    else if (d.kind == UaNumericRange::IndexRange && d.first < d.last)
    {
        s.first = d.first;
        s.count = static_cast<OpcUa_UInt64>(d.last) - d.first + 1;
        s.usable = true;
    }
    return s;
}

// Elements of a selection that lie within `length`; 0 when it starts at or beyond the end.
OpcUa_UInt64 selectedWithin(const Selection& s, OpcUa_UInt64 length)
{
    if (s.first >= length)
        return 0;
    return std::min(s.count, length - s.first);
}

// ---- strings by character (UTF-16 units) and byte strings by byte ----

std::vector<std::uint16_t> unitsOf(const OpcUa_String& s)
{
    if (s.strContent == nullptr)
        return {};
    return Utf8Walk::toUtf16(s.strContent, s.uLength);
}

OpcUa_StatusCode assignUnits(OpcUa_String& target, const std::uint16_t* units, std::size_t count)
{
    std::vector<char> bytes = Utf8Walk::fromUtf16(reinterpret_cast<const char16_t*>(units), count);
    OpcUa_String_Clear(&target);
    UaString::fromBytes(bytes.data(), static_cast<int>(bytes.size())).copyTo(&target);
    return bytes.empty() || target.strContent != nullptr ? OpcUa_Good : OpcUa_BadOutOfMemory;
}

OpcUa_StatusCode assignBytes(OpcUa_ByteString& target, const OpcUa_Byte* bytes, std::size_t count)
{
    OpcUa_ByteString source{static_cast<OpcUa_Int32>(count), const_cast<OpcUa_Byte*>(bytes)};
    OpcUa_ByteString_Clear(&target);
    return VariantCopy::copyElement(OpcUaType_ByteString, &source, &target);
}

// The selected part of one String or ByteString element into a cleared target; false when the
// selection lies wholly beyond it.
bool subRange(OpcUa_Byte type, const void* element, const Selection& s, void* target,
              OpcUa_StatusCode& status)
{
    status = OpcUa_Good;
    if (type == OpcUaType_String)
    {
        std::vector<std::uint16_t> units = unitsOf(*static_cast<const OpcUa_String*>(element));
        OpcUa_UInt64 n = selectedWithin(s, units.size());
        if (n == 0)
            return false;
        status = assignUnits(*static_cast<OpcUa_String*>(target), units.data() + s.first, n);
        return true;
    }
    const auto* b = static_cast<const OpcUa_ByteString*>(element);
    OpcUa_UInt64 length = b->Data != nullptr && b->Length > 0 ? static_cast<OpcUa_UInt64>(b->Length) : 0;
    OpcUa_UInt64 n = selectedWithin(s, length);
    if (n == 0)
        return false;
    status = assignBytes(*static_cast<OpcUa_ByteString*>(target), b->Data + s.first, n);
    return true;
}

bool isTextLike(OpcUa_Byte type)
{
    return type == OpcUaType_String || type == OpcUaType_ByteString;
}

bool isRangeReadableArrayType(OpcUa_Byte type)
{
    return (type >= OpcUaType_Boolean && type <= OpcUaType_NodeId);
}
} // namespace

OpcUa_StatusCode UaVariant::getRange(const UaNumericRange& range, OpcUa_Variant* out) const
{
    if (range.dimensionCount() == 0 || !selectionOf(range.dimension(0)).usable)
        return OpcUa_BadIndexRangeInvalid;
    if (out == nullptr)
        return OpcUa_BadInvalidArgument;
    OpcUa_Variant_Clear(out);
    Selection first = selectionOf(range.dimension(0));
    OpcUa_Byte type = m_value.Datatype;

    if (m_value.ArrayType == OpcUa_VariantArrayType_Scalar)
    {
        if (!isTextLike(type) || range.dimensionCount() != 1)
            return OpcUa_BadIndexRangeNoData;
        OpcUa_Variant result;
        OpcUa_Variant_Initialize(&result);
        if (type == OpcUaType_ByteString)
            OpcUa_ByteString_Initialize(&result.Value.ByteString);
        OpcUa_StatusCode status = OpcUa_Good;
        if (!subRange(type, &m_value.Value.String, first, &result.Value.String, status))
            return OpcUa_BadIndexRangeNoData;
        result.Datatype = type;
        if (failed(status))
        {
            OpcUa_Variant_Clear(&result);
            return status;
        }
        *out = result;
        return OpcUa_Good;
    }
    if (m_value.ArrayType != OpcUa_VariantArrayType_Array || !isRangeReadableArrayType(type))
        return OpcUa_BadIndexRangeNoData;
    if (range.dimensionCount() > (isTextLike(type) ? 2u : 1u))
        return OpcUa_BadIndexRangeNoData;
    Selection inner;
    if (range.dimensionCount() == 2)
    {
        inner = selectionOf(range.dimension(1));
        if (!inner.usable)
            return OpcUa_BadIndexRangeInvalid;
    }
    OpcUa_Int32 length = m_value.Value.Array.Length;
    OpcUa_UInt64 n = selectedWithin(first, length > 0 ? static_cast<OpcUa_UInt64>(length) : 0);
    if (n == 0 || m_value.Value.Array.Value.Array == nullptr)
        return OpcUa_BadIndexRangeNoData;

    const OpcUa_UInt32 size = VariantCopy::elementSize(type);
    const auto* source = static_cast<const OpcUa_Byte*>(m_value.Value.Array.Value.Array) + first.first * size;
    OpcUa_Variant result;
    OpcUa_Variant_Initialize(&result);
    OpcUa_StatusCode status = OpcUa_Good;
    if (!inner.usable)
        status = VariantCopy::copyElements(type, source, static_cast<OpcUa_Int32>(n),
                                           &result.Value.Array.Value.Array);
    else
    {
        auto* block = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(n * size)));
        if (block == nullptr)
            return OpcUa_BadOutOfMemory;
        std::memset(block, 0, n * size);
        result.Value.Array.Value.Array = block;
        // An element where the inner selection finds nothing stays empty (zero-filled).
        for (OpcUa_UInt64 i = 0; i < n && !failed(status); ++i)
            subRange(type, source + i * size, inner, block + i * size, status);
    }
    result.Datatype = type;
    result.ArrayType = OpcUa_VariantArrayType_Array;
    result.Value.Array.Length = static_cast<OpcUa_Int32>(n);
    if (failed(status))
    {
        if (result.Value.Array.Value.Array == nullptr)
            result.Value.Array.Length = 0;
        OpcUa_Variant_Clear(&result);
        return status;
    }
    *out = result;
    return OpcUa_Good;
}

namespace
{
// The replacement of one String or ByteString element's stretch, built aside; the new element
// lands in `target` (a cleared slot). NoData when the sizes do not match the selection.
OpcUa_StatusCode replacedText(OpcUa_Byte type, const void* element, const Selection& s,
                              const void* replacement, void* target)
{
    if (type == OpcUaType_String)
    {
        std::vector<std::uint16_t> units = unitsOf(*static_cast<const OpcUa_String*>(element));
        std::vector<std::uint16_t> with = unitsOf(*static_cast<const OpcUa_String*>(replacement));
        if (s.first + s.count > units.size() || with.size() != s.count)
            return OpcUa_BadIndexRangeNoData;
        std::copy(with.begin(), with.end(), units.begin() + static_cast<std::ptrdiff_t>(s.first));
        return assignUnits(*static_cast<OpcUa_String*>(target), units.data(), units.size());
    }
    const auto* b = static_cast<const OpcUa_ByteString*>(element);
    const auto* w = static_cast<const OpcUa_ByteString*>(replacement);
    OpcUa_UInt64 length = b->Data != nullptr && b->Length > 0 ? static_cast<OpcUa_UInt64>(b->Length) : 0;
    OpcUa_UInt64 withLength = w->Data != nullptr && w->Length > 0 ? static_cast<OpcUa_UInt64>(w->Length) : 0;
    if (s.first + s.count > length || withLength != s.count)
        return OpcUa_BadIndexRangeNoData;
    std::vector<OpcUa_Byte> bytes(b->Data, b->Data + length);
    std::memcpy(bytes.data() + s.first, w->Data, withLength);
    OpcUa_ByteString_Initialize(static_cast<OpcUa_ByteString*>(target));
    return assignBytes(*static_cast<OpcUa_ByteString*>(target), bytes.data(), bytes.size());
}
} // namespace

OpcUa_StatusCode UaVariant::setRange(const UaNumericRange& range, const UaVariant& newValue)
{
    if (range.dimensionCount() == 0)
        return OpcUa_BadIndexRangeInvalid;
    for (OpcUa_UInt32 i = 0; i < range.dimensionCount(); ++i)
    {
        if (!selectionOf(range.dimension(i)).usable)
            return OpcUa_BadIndexRangeInvalid;
    }
    const OpcUa_Variant& with = newValue.m_value;
    if (with.Datatype != m_value.Datatype || with.ArrayType != m_value.ArrayType)
        return OpcUa_BadTypeMismatch;
    const OpcUa_Byte type = m_value.Datatype;
    const Selection first = selectionOf(range.dimension(0));

    if (m_value.ArrayType == OpcUa_VariantArrayType_Scalar)
    {
        if (!isTextLike(type) || range.dimensionCount() != 1)
            return OpcUa_BadIndexRangeNoData;
        OpcUa_Variant result;
        OpcUa_Variant_Initialize(&result);
        OpcUa_StatusCode status =
            replacedText(type, &m_value.Value.String, first, &with.Value.String, &result.Value.String);
        if (failed(status))
            return status;
        result.Datatype = type;
        OpcUa_Variant_Clear(&m_value);
        m_value = result;
        return OpcUa_Good;
    }
    if (m_value.ArrayType != OpcUa_VariantArrayType_Array || VariantCopy::elementSize(type) == 0)
        return OpcUa_BadIndexRangeNoData;
    if (range.dimensionCount() > (isTextLike(type) ? 2u : 1u))
        return OpcUa_BadIndexRangeNoData;
    const OpcUa_Int32 length = m_value.Value.Array.Length;
    if (length <= 0 || first.first + first.count > static_cast<OpcUa_UInt64>(length) ||
        with.Value.Array.Length < 0 || static_cast<OpcUa_UInt64>(with.Value.Array.Length) != first.count ||
        m_value.Value.Array.Value.Array == nullptr || with.Value.Array.Value.Array == nullptr)
        return OpcUa_BadIndexRangeNoData;

    // The new elements are built aside, so that a failure leaves the value as it was.
    const OpcUa_UInt32 size = VariantCopy::elementSize(type);
    auto* target = static_cast<OpcUa_Byte*>(m_value.Value.Array.Value.Array) + first.first * size;
    const auto* replacement = static_cast<const OpcUa_Byte*>(with.Value.Array.Value.Array);
    void* fresh = nullptr;
    OpcUa_StatusCode status = OpcUa_Good;
    if (range.dimensionCount() == 1)
        status = VariantCopy::copyElements(type, replacement, static_cast<OpcUa_Int32>(first.count), &fresh);
    else
    {
        const Selection inner = selectionOf(range.dimension(1));
        fresh = OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(first.count * size));
        if (fresh == nullptr)
            return OpcUa_BadOutOfMemory;
        std::memset(fresh, 0, first.count * size);
        auto* block = static_cast<OpcUa_Byte*>(fresh);
        OpcUa_UInt64 done = 0;
        for (; done < first.count && !failed(status); ++done)
            status = replacedText(type, target + done * size, inner, replacement + done * size,
                                  block + done * size);
        if (failed(status))
        {
            for (OpcUa_UInt64 i = 0; i < done; ++i)
                VariantCopy::clearElement(type, block + i * size);
            OpcUa_Memory_Free(fresh);
            return status;
        }
    }
    if (failed(status))
        return status;
    for (OpcUa_UInt64 i = 0; i < first.count; ++i)
        VariantCopy::clearElement(type, target + i * size);
    std::memcpy(target, fresh, first.count * size);
    OpcUa_Memory_Free(fresh);
    return OpcUa_Good;
}
