// Entry rings with look-back: access by ring place and the search for
// geometry entries, for the stages that hold entries while they look at the
// path ahead (collision detection, tangential following). Like every table,
// they never own their entries.
#pragma once

#include "fifo_table.h"

class CBaseTable : public CFiFoTable
{
public:
    CBaseTable() : CFiFoTable(MaxCapacity) {}

    // The entry at an absolute ring place; null for a place outside the ring.
    virtual CEntry* GetAt(int place) const;
    // The newest entry; null when empty.
    virtual CEntry* Last() const;
    // The newest geometry entry, searched from the newest towards the oldest.
    virtual CEntry* LastGeo() const;
    // Ring place of the newest entry (asked only of a table that holds entries).
    virtual int LastPlace() const;
    // Place of the newest geometry entry; -1 when there is none.
    virtual int LastGeoPlace() const;
    // Steps the place back (from 0 to the last place of the ring) at most
    // count times to the first geometry entry; null at an empty place, or for
    // a start place outside the ring.
    virtual CEntry* PrevGeo(int& place) const;
    virtual int FirstPlace() const;
    // Place of the oldest geometry entry; -1 when there is none.
    virtual int FirstGeoPlace() const;
    // Steps the place forward at most count times to the first geometry
    // entry; null at an empty place, for a start place outside the ring or
    // on an empty table.
    virtual CEntry* NextGeo(int& place) const;
    virtual int PushAgain(CEntry* entry) { return Push(entry); }

private:
    // Steps the place by step (modulo the capacity) at most count times.
    CEntry* SeekGeo(int& place, int step) const;
};

// The look-ahead table of the collision detection.
class CCollisionDetectionTable : public CBaseTable
{
};

// The look-ahead table of the tangential following.
class CTfTable : public CBaseTable
{
};
