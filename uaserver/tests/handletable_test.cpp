// The handle table: which handle an object gets, and who deletes it.
#include "handletable.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
class Item
{
public:
    Item(std::string name, int& deleted) : m_name(std::move(name)), m_deleted(deleted) {}
    virtual ~Item() { ++m_deleted; }
    const std::string& name() const { return m_name; }

private:
    std::string m_name;
    int& m_deleted;
};

// One step of a sequence: add (expecting a handle), remove (expecting the answer) or insertAt.
struct Step
{
    enum Kind
    {
        Add,
        Remove,
        InsertAt
    } kind;
    OpcUa_UInt32 handle;
    bool ok;
};

struct Sequence
{
    const char* what;
    std::vector<Step> steps;
    OpcUa_UInt32 inUse;
};

TEST(HandleTable, SequencesGiveTheMostRecentlyFreedHandleFirst)
{
    const Sequence sequences[] = {
        {"removed 1 then 3: 3, 1, then a new 4",
         {{Step::Add, 1, true},
          {Step::Add, 2, true},
          {Step::Add, 3, true},
          {Step::Remove, 1, true},
          {Step::Remove, 3, true},
          {Step::Add, 3, true},
          {Step::Add, 1, true},
          {Step::Add, 4, true}},
         4},
        {"a removed handle is gone once",
         {{Step::Add, 1, true},
          {Step::Add, 2, true},
          {Step::Remove, 2, true},
          {Step::Remove, 2, false},
          {Step::Remove, 0, false},
          {Step::Remove, 7, false}},
         1},
        {"insertAt 6 over a count of 3 frees 4 and 5, handed out 5 first",
         {{Step::Add, 1, true},
          {Step::Add, 2, true},
          {Step::Add, 3, true},
          {Step::InsertAt, 6, true},
          {Step::Add, 5, true},
          {Step::Add, 4, true},
          {Step::Add, 7, true}},
         7},
        {"insertAt takes a free handle within the table and refuses a taken one",
         {{Step::Add, 1, true},
          {Step::Add, 2, true},
          {Step::Add, 3, true},
          {Step::Remove, 2, true},
          {Step::Remove, 1, true},
          {Step::InsertAt, 2, true},
          {Step::InsertAt, 3, false},
          {Step::InsertAt, 0, false},
          {Step::InsertAt, 4, true},
          {Step::Add, 1, true},
          {Step::Add, 5, true}},
         5},
        {"insertAt beyond the first 100 entries grows the array",
         {{Step::InsertAt, 250, true},
          {Step::Add, 249, true},
          {Step::InsertAt, 1, true},
          {Step::Add, 248, true}},
         4},
    };
    for (const Sequence& sequence : sequences)
    {
        SCOPED_TRACE(sequence.what);
        int deleted = 0;
        int refused = 0;
        int made = 0;
        {
            HandleTable<Item> table;
            for (const Step& step : sequence.steps)
            {
                switch (step.kind)
                {
                case Step::Add:
                {
                    auto* item = new Item("item", deleted);
                    ++made;
                    EXPECT_EQ(table.add(item), step.handle);
                    EXPECT_EQ(table.get(step.handle), item);
                    break;
                }
                case Step::Remove:
                    EXPECT_EQ(table.remove(step.handle), step.ok) << step.handle;
                    EXPECT_EQ(table.get(step.handle), nullptr);
                    break;
                case Step::InsertAt:
                {
                    auto* item = new Item("inserted", step.ok ? deleted : refused);
                    const OpcUa_StatusCode status = table.insertAt(step.handle, item);
                    EXPECT_EQ(status, step.ok ? OpcUa_Good : OpcUa_BadInvalidArgument) << step.handle;
                    if (status == OpcUa_Good)
                    {
                        ++made;
                        EXPECT_EQ(table.get(step.handle), item);
                    }
                    else
                        delete item;
                    break;
                }
                }
            }
            EXPECT_EQ(table.inUse(), sequence.inUse);
            EXPECT_EQ(deleted, made - static_cast<int>(sequence.inUse)) << "removed objects are deleted";
        }
        EXPECT_EQ(deleted, made) << "the table deletes what it still holds";
    }
}

TEST(HandleTable, MarkPostedForgetsWithoutDeleting)
{
    int deleted = 0;
    HandleTable<Item> table;
    Item posted("posted", deleted);
    const OpcUa_UInt32 handle = table.add(&posted);
    EXPECT_EQ(table.inUse(), 1u);
    EXPECT_TRUE(table.markPosted(handle));
    EXPECT_FALSE(table.markPosted(handle));
    EXPECT_EQ(table.get(handle), nullptr);
    EXPECT_EQ(table.inUse(), 0u);
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(table.add(new Item("next", deleted)), handle) << "the posted handle is free again";
}

TEST(HandleTable, NullObjectsGetNoHandle)
{
    HandleTable<Item> table;
    EXPECT_EQ(table.add(nullptr), 0u);
    EXPECT_EQ(table.insertAt(1, nullptr), static_cast<OpcUa_StatusCode>(OpcUa_BadInvalidArgument));
    EXPECT_EQ(table.count(), 0u);
    EXPECT_EQ(table.get(0), nullptr);
}

TEST(HandleTable, ClearDeletesEverythingAndStartsAgainAtOne)
{
    int deleted = 0;
    HandleTable<Item> table;
    for (int i = 0; i < 150; ++i)
        table.add(new Item("i", deleted));
    table.remove(7);
    table.clear();
    EXPECT_EQ(deleted, 150);
    EXPECT_EQ(table.inUse(), 0u);
    EXPECT_EQ(table.add(new Item("first", deleted)), 1u);
}
} // namespace
