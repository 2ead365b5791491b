#ifndef UABASE_UAGUID_H
#define UABASE_UAGUID_H

#include <opcua.h>

class UaString;

// GUID held inline; the null GUID by default.
class UaGuid
{
public:
    UaGuid();
    UaGuid(const OpcUa_Guid& other);

    // Fills in a newly created GUID.
    void create();
    bool isNull() const;
    const OpcUa_Guid* toOpcUaGuid() const { return &m_value; }
    bool operator==(const UaGuid& other) const;
    bool operator!=(const UaGuid& other) const { return !(*this == other); }

    void copyTo(OpcUa_Guid* target) const;
    OpcUa_Guid* clone() const;
    UaString toString() const;

private:
    OpcUa_Guid m_value;
};

#endif
