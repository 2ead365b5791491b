#ifndef UABASE_UABYTESTRING_H
#define UABASE_UABYTESTRING_H

#include "uastackvalue.h"

#include <opcua.h>

// Byte string held inline; copies are deep.
class UaByteString : public UaStackValue<OpcUa_ByteString>
{
public:
    using UaStackValue::UaStackValue;
    UaByteString(OpcUa_Int32 length, const OpcUa_Byte* data);

    // Copies the bytes; no block for a length below 1.
    void setByteString(OpcUa_Int32 length, const OpcUa_Byte* data);
    OpcUa_Int32 length() const { return m_value.Length; }
    const OpcUa_Byte* data() const { return m_value.Data; }
    const OpcUa_ByteString* toOpcUaByteString() const { return &m_value; }

    // Same length, and both blocks absent or both present with equal bytes.
    bool operator==(const UaByteString& other) const;
    bool operator!=(const UaByteString& other) const { return !(*this == other); }

    using UaStackValue::detach;
    // Hands the block to the caller: length -1 and no data afterwards, nothing freed.
    void detach();
    // Clears, then takes the other's length and block (the caller gives them up).
    void attach(OpcUa_ByteString* other);
};

#endif
