#include "nodeidcompare.h"

#include <cstring>

namespace
{
// A negative length is the null byte string, whatever its exact value.
OpcUa_Int32 opaqueLength(const OpcUa_NodeId& id)
{
    return id.Identifier.ByteString.Length < 0 ? -1 : id.Identifier.ByteString.Length;
}

int compareOpaque(const OpcUa_NodeId& a, const OpcUa_NodeId& b)
{
    OpcUa_Int32 la = opaqueLength(a);
    OpcUa_Int32 lb = opaqueLength(b);
    if (la != lb)
        return la < lb ? -1 : 1;
    if (la <= 0)
        return 0;
    const OpcUa_Byte* da = a.Identifier.ByteString.Data;
    const OpcUa_Byte* db = b.Identifier.ByteString.Data;
    if (da == nullptr || db == nullptr)
        return da == db ? 0 : (da == nullptr ? -1 : 1);
    return std::memcmp(da, db, static_cast<std::size_t>(la));
}

const OpcUa_Guid& guidOf(const OpcUa_NodeId& id)
{
    return id.Identifier.Guid != nullptr ? *id.Identifier.Guid : OpcUa_Guid_Null;
}

int compareGuid(const OpcUa_NodeId& a, const OpcUa_NodeId& b)
{
    return std::memcmp(&guidOf(a), &guidOf(b), sizeof(OpcUa_Guid));
}

OpcUa_UInt32 stringSize(const OpcUa_NodeId& id)
{
    return OpcUa_String_StrSize(&id.Identifier.String);
}

int compareStringIgnoringCase(const OpcUa_NodeId& a, const OpcUa_NodeId& b)
{
    return OpcUa_String_StrnCmp(&a.Identifier.String, &b.Identifier.String, OPCUA_STRING_LENDONTCARE,
                                OpcUa_True);
}
} // namespace

namespace NodeIdCompare
{
bool isNull(const OpcUa_NodeId& id)
{
    if (id.NamespaceIndex != 0)
        return false;
    switch (id.IdentifierType)
    {
    case OpcUa_IdentifierType_Numeric:
        return id.Identifier.Numeric == 0;
    case OpcUa_IdentifierType_String:
        return stringSize(id) == 0;
    case OpcUa_IdentifierType_Guid:
        return id.Identifier.Guid == nullptr || OpcUa_Guid_IsNull(id.Identifier.Guid);
    case OpcUa_IdentifierType_Opaque:
        return opaqueLength(id) == -1;
    default:
        return false;
    }
}

bool equal(const OpcUa_NodeId& a, const OpcUa_NodeId& b)
{
    if (a.IdentifierType != b.IdentifierType || a.NamespaceIndex != b.NamespaceIndex)
        return false;
    switch (a.IdentifierType)
    {
    case OpcUa_IdentifierType_Numeric:
        return a.Identifier.Numeric == b.Identifier.Numeric;
    case OpcUa_IdentifierType_String:
        return stringSize(a) == stringSize(b) && compareStringIgnoringCase(a, b) == 0;
    case OpcUa_IdentifierType_Guid:
        return OpcUa_Guid_Compare(&guidOf(a), &guidOf(b)) == 0;
    case OpcUa_IdentifierType_Opaque:
        return compareOpaque(a, b) == 0;
    default:
        return false;
    }
}

bool less(const OpcUa_NodeId& a, const OpcUa_NodeId& b)
{
    if (a.IdentifierType != b.IdentifierType)
        return a.IdentifierType < b.IdentifierType;
    if (a.NamespaceIndex != b.NamespaceIndex)
        return a.NamespaceIndex < b.NamespaceIndex;
    switch (a.IdentifierType)
    {
    case OpcUa_IdentifierType_Numeric:
        return a.Identifier.Numeric < b.Identifier.Numeric;
    case OpcUa_IdentifierType_String:
        if (stringSize(a) != stringSize(b))
            return stringSize(a) < stringSize(b);
        return compareStringIgnoringCase(a, b) < 0;
    case OpcUa_IdentifierType_Guid:
        return compareGuid(a, b) < 0;
    case OpcUa_IdentifierType_Opaque:
        return compareOpaque(a, b) < 0;
    default:
        return false;
    }
}
} // namespace NodeIdCompare
