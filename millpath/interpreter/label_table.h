// Table of label names and their positions in the program text. Entries keep
// the order of their first appearance; an entry is live when it is referenced
// or defined.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CLabelTable
{
public:
    static constexpr unsigned NameLimit = 11; // longer names are cut

    enum class Unresolved
    {
        ReferencedNotDefined = 0,
        ReferencedNotDeclared = 1,
        DefinedNotReferenced = 2,
    };

    explicit CLabelTable(unsigned capacity);

    bool reference(const char* name);
    bool declare(const char* name);
    bool define(const char* name, std::int32_t value);
    bool find(const char* name, std::int32_t& value) const;
    // Empty when there is none, or for a kind outside 0..2.
    std::string firstUnresolved(int kind) const;
    void clear() { m_count = 0; }

    unsigned capacity() const { return m_capacity; }
    unsigned count() const { return m_count; }

private:
    struct Entry
    {
        std::int32_t value;
        std::int32_t referenced;
        std::int32_t defined;
        std::int32_t declared;
        char name[NameLimit + 1];
    };

    Entry* lookupOrAppend(const char* name);
    static void cutName(const char* name, char (&out)[NameLimit + 1]);

    unsigned m_capacity = 0;
    unsigned m_count = 0;
    std::unique_ptr<Entry[]> m_entries;
};
