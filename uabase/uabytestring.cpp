#include "uabytestring.h"

#include <cstring>

UaByteString::UaByteString(OpcUa_Int32 length, const OpcUa_Byte* data)
{
    setByteString(length, data);
}

void UaByteString::setByteString(OpcUa_Int32 length, const OpcUa_Byte* data)
{
    OpcUa_ByteString view{length, const_cast<OpcUa_Byte*>(data)};
    if (length < 1 || data == nullptr)
        view.Data = nullptr;
    StackCopy::copy(view, m_value);
}

bool UaByteString::operator==(const UaByteString& other) const
{
    if (m_value.Length != other.m_value.Length)
        return false;
    if (m_value.Data == nullptr || other.m_value.Data == nullptr)
        return m_value.Data == other.m_value.Data;
    return m_value.Length <= 0 ||
           std::memcmp(m_value.Data, other.m_value.Data, static_cast<std::size_t>(m_value.Length)) == 0;
}

void UaByteString::detach()
{
    m_value.Length = -1;
    m_value.Data = nullptr;
}

void UaByteString::attach(OpcUa_ByteString* other)
{
    clear();
    if (other == nullptr)
        return;
    m_value = *other;
}
