#ifndef UASERVER_UARELATIVEPATHELEMENTS_H
#define UASERVER_UARELATIVEPATHELEMENTS_H

#include <opcua.h>

// The elements of one browse path, borrowed from the request, with the position of the element to
// match next.
class UaRelativePathElements
{
public:
    UaRelativePathElements() = default;
    UaRelativePathElements(const OpcUa_RelativePathElement* elements, OpcUa_Int32 count,
                           OpcUa_UInt32 position = 0)
        : m_elements(elements), m_count(elements && count > 0 ? static_cast<OpcUa_UInt32>(count) : 0),
          m_position(position)
    {
    }

    OpcUa_UInt32 length() const { return m_count; }
    OpcUa_UInt32 position() const { return m_position; }
    // The element at the position; null when none is left.
    const OpcUa_RelativePathElement* current() const
    {
        return m_position < m_count ? &m_elements[m_position] : nullptr;
    }
    void advance() { ++m_position; }

private:
    const OpcUa_RelativePathElement* m_elements = nullptr;
    OpcUa_UInt32 m_count = 0;
    OpcUa_UInt32 m_position = 0;
};

#endif
