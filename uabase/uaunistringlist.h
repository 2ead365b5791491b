#ifndef UABASE_UAUNISTRINGLIST_H
#define UABASE_UAUNISTRINGLIST_H

#include "uaunistring.h"

#include <opcua.h>

// List of wide strings in a block of pointer slots that grows by a fixed step.
class UaUniStringList
{
public:
    explicit UaUniStringList(int capacity = 0);
    UaUniStringList(const UaUniStringList& other);
    UaUniStringList& operator=(const UaUniStringList& other);
    ~UaUniStringList();

    int count() const { return m_count; }
    int capacity() const { return m_capacity; }
    const UaUniString& at(int i) const { return *m_items[i]; }
    const UaUniString& operator[](int i) const { return *m_items[i]; }

    OpcUa_StatusCode append(const UaUniString& s);
    OpcUa_StatusCode prepend(const UaUniString& s);
    // Refuses a position below 0 or beyond the count.
    OpcUa_StatusCode insert(int i, const UaUniString& s);
    OpcUa_StatusCode resize(int n);
    void clear();
    void sort(bool ascending = true, bool caseSensitive = true);

private:
    bool ensureRoom(int needed);
    OpcUa_StatusCode copyFrom(const UaUniStringList& other);

    UaUniString** m_items = nullptr;
    int m_count = 0;
    int m_capacity = 0;
    int m_growStep = 10;
};

#endif
