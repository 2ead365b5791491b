// The node hash table: its exact bucket numbers, chains of several entries, and what clearing does
// to the references and the lives of the nodes.
#include "testaddressspace.h"

#include "hashtable.h"

#include <uabytestring.h>
#include <uaguid.h>

using testspace::newObject;

namespace
{
UaNodeId guidId(OpcUa_UInt16 ns)
{
    // Fields laid out so that the 16 bytes in memory are 00 01 02 ... 0F.
    OpcUa_Guid guid;
    guid.Data1 = 0x03020100;
    guid.Data2 = 0x0504;
    guid.Data3 = 0x0706;
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<OpcUa_Byte>(8 + i);
    UaNodeId id;
    id.setNodeId(UaGuid(guid), ns);
    return id;
}

UaNodeId opaqueId(std::initializer_list<OpcUa_Byte> bytes, OpcUa_UInt16 ns)
{
    std::vector<OpcUa_Byte> data(bytes);
    UaByteString opaque(static_cast<OpcUa_Int32>(data.size()), data.data());
    UaNodeId id;
    id.setNodeId(opaque, ns);
    return id;
}

// Counts how often its table told it that it leaves.
class CountingNode : public UaObjectPlain
{
public:
    CountingNode(const UaNodeId& id, int& removals)
        : UaObjectPlain(id, UaQualifiedName("n", 0), UaLocalizedText(), UaLocalizedText(), UaNodeId(), 0),
          m_removals(removals)
    {
    }
    void prepareRemove() override { ++m_removals; }

private:
    int& m_removals;
};

struct BucketCase
{
    const char* what;
    UaNodeId nodeId;
    OpcUa_UInt32 bucket;
};

TEST(HashTable, BucketsOfA10007BucketTable)
{
    const BucketCase cases[] = {
        // One whole word: h = 1, rotated to 16, XOR the identifier 0.
        {"numeric 0", UaNodeId(0, 0), 16},
        {"numeric 1", UaNodeId(1, 0), 17},
        // 16 XOR 0x2717 = 0x2707.
        {"numeric 10007", UaNodeId(10007, 0), 9991},
        {"the namespace is not hashed", UaNodeId(10007, 5), 9991},
        // No bytes: h = 0.
        {"empty string", UaNodeId(UaString(""), 2), 0},
        // No whole word, tail 0x616263 = 6382179.
        {"string abc", UaNodeId(UaString("abc"), 2), 6382179 % 10007},
        // One word 0x64636261: 16 XOR it; the numeric id with the same four bytes hashes alike.
        {"string abcd", UaNodeId(UaString("abcd"), 2), 0x64636271u % 10007},
        {"numeric with the bytes abcd", UaNodeId(0x64636261, 2), 0x64636271u % 10007},
        // Then the tail 0x65: rotate 0x64636271 to 0x46362716, XOR 0x65.
        {"string abcde", UaNodeId(UaString("abcde"), 2), 0x46362773u % 10007},
        // Four words 0x03020100 ... 0x0F0E0D0C, starting from h = 4.
        {"guid 00..0F", guidId(3), 2579470779u % 10007},
        // A one-byte tail: h = 0 XOR 1.
        {"opaque 01", opaqueId({0x01}, 3), 1},
    };
    HashTable table(10007);
    ASSERT_TRUE(table.isValid());
    for (const BucketCase& c : cases)
        EXPECT_EQ(table.bucketOf(c.nodeId), c.bucket) << c.what;
}

TEST(HashTable, EqualKeyBytesShareABucketAndAreToldApart)
{
    HashTable table(10007);
    const UaNodeId numeric(0x64636261, 2);
    const UaNodeId string(UaString("abcd"), 2);
    ASSERT_EQ(table.bucketOf(numeric), table.bucketOf(string));
    UaObjectPlain* first = newObject(numeric, "numeric");
    UaObjectPlain* second = newObject(string, "string");
    table.add(numeric, first);
    table.add(string, second);

    EXPECT_EQ(table.lookup(numeric), first);
    EXPECT_EQ(table.lookup(string), second);
    EXPECT_EQ(table.lookup(UaNodeId(0x64636261, 3)), nullptr) << "another namespace";
    EXPECT_EQ(table.lookup(UaNodeId(UaString("abce"), 2)), nullptr);
    EXPECT_EQ(table.remove(UaNodeId(UaString("abce"), 2)), nullptr);
    EXPECT_EQ(table.remove(numeric), first);
    EXPECT_EQ(table.lookup(string), second);
    EXPECT_EQ(table.lookup(numeric), nullptr);
    first->releaseReference();
    table.clear(true);
}

// Lookups by a NodeId as a request carries it, in storage of its own, against keys of every kind
// filed in one chain: each compares the identifier where it lies, bytes and length alike.
TEST(HashTable, RequestNodeIdsOfEveryKindFindTheirEntriesInOneChain)
{
    HashTable table(1);
    const UaNodeId filed[] = {UaNodeId(7, 2), UaNodeId(UaString("Level"), 2), guidId(2),
                              opaqueId({0x01, 0x02}, 2), UaNodeId(UaString(""), 2)};
    for (const UaNodeId& id : filed)
        table.add(id, newObject(id, "n"));
    for (const UaNodeId& id : filed)
    {
        // A deep copy: a record and identifier storage of its own.
        const UaNodeId request(*id.toOpcUaNodeId());
        ASSERT_FALSE(request.sharesRecordWith(id));
        ChainEntry* entry = table.lookup(*request.toOpcUaNodeId());
        ASSERT_NE(entry, nullptr) << id.toFullString().toUtf8();
        EXPECT_EQ(entry->key(), id);
    }

    struct Miss
    {
        const char* what;
        UaNodeId nodeId;
    };
    const Miss misses[] = {
        {"numeric in another namespace", UaNodeId(7, 3)},
        {"string in another namespace", UaNodeId(UaString("Level"), 3)},
        {"string in another case", UaNodeId(UaString("LEVEL"), 2)},
        {"string prefix", UaNodeId(UaString("Leve"), 2)},
        {"string longer", UaNodeId(UaString("Levels"), 2)},
        {"guid in another namespace", guidId(4)},
        {"opaque longer", opaqueId({0x01, 0x02, 0x03}, 2)},
        {"opaque prefix", opaqueId({0x01}, 2)},
    };
    for (const Miss& miss : misses)
        EXPECT_EQ(table.lookup(*miss.nodeId.toOpcUaNodeId()), nullptr) << miss.what;
    table.clear(true);
}

TEST(HashTable, RemovingTheHeadOrTheSecondEntryKeepsTheChain)
{
    for (bool removeHead : {true, false})
    {
        SCOPED_TRACE(removeHead ? "head" : "second");
        HashTable table(1);
        UaObjectPlain* older = newObject(UaNodeId(1, 2), "older");
        UaObjectPlain* newer = newObject(UaNodeId(2, 2), "newer");
        table.add(older->nodeId(), older);
        table.add(newer->nodeId(), newer);
        // Entries go in at the front.
        ASSERT_EQ(table.bucketHead(0), newer);
        ASSERT_EQ(newer->nextEntry(), older);

        UaObjectPlain* removed = removeHead ? newer : older;
        UaObjectPlain* kept = removeHead ? older : newer;
        EXPECT_EQ(table.remove(removed->nodeId()), removed);
        EXPECT_EQ(removed->nextEntry(), nullptr);
        EXPECT_EQ(table.bucketHead(0), kept);
        EXPECT_EQ(kept->nextEntry(), nullptr);
        EXPECT_EQ(removed->referenceCount(), 1) << "the table's reference goes to the caller";

        // Adding the head again changes nothing.
        table.add(kept->nodeId(), kept);
        EXPECT_EQ(table.bucketHead(0), kept);
        EXPECT_EQ(kept->nextEntry(), nullptr);
        removed->releaseReference();
        table.clear(true);
    }
}

TEST(HashTable, ClearWithoutReleaseLeavesTheNodesAlone)
{
    const OpcUa_Int32 nodesBefore = UaNodeCounters::uaNode;
    HashTable table(3);
    std::vector<UaObjectPlain*> nodes;
    for (OpcUa_UInt32 i = 0; i < 10; ++i)
    {
        nodes.push_back(newObject(UaNodeId(i, 2), "n"));
        table.add(nodes.back()->nodeId(), nodes.back());
    }
    table.clear(false);
    for (OpcUa_UInt32 bucket = 0; bucket < 3; ++bucket)
        EXPECT_EQ(table.bucketHead(bucket), nullptr);
    EXPECT_EQ(UaNodeCounters::uaNode, nodesBefore + 10);
    for (UaObjectPlain* node : nodes)
    {
        EXPECT_EQ(node->referenceCount(), 1);
        EXPECT_EQ(table.lookup(node->nodeId()), nullptr);
        node->setNextEntry(nullptr);
        node->releaseReference();
    }
    EXPECT_EQ(UaNodeCounters::uaNode, nodesBefore);
}

TEST(HashTable, ClearWithReleaseDestroysEveryChainButNodesHeldElsewhere)
{
    const OpcUa_Int32 nodesBefore = UaNodeCounters::uaNode;
    const OpcUa_Int32 objectsBefore = UaNodeCounters::uaObject;
    int removals = 0;
    HashTable table(7);
    CountingNode* held = nullptr;
    for (OpcUa_UInt32 i = 0; i < 50; ++i)
    {
        auto* node = new CountingNode(UaNodeId(i, 2), removals);
        table.add(node->nodeId(), node);
        if (i == 20)
        {
            held = node;
            held->addReference();
        }
    }
    EXPECT_EQ(UaNodeCounters::uaObject, objectsBefore + 50);
    table.clear(true);
    for (OpcUa_UInt32 bucket = 0; bucket < 7; ++bucket)
        EXPECT_EQ(table.bucketHead(bucket), nullptr);
    // The held node survives with the rest of its chain, which it still holds.
    ASSERT_EQ(held->referenceCount(), 1);
    OpcUa_Int32 survivors = 1;
    for (ChainEntry* entry = held->nextEntry(); entry; entry = entry->nextEntry())
        ++survivors;
    EXPECT_GT(survivors, 1);
    EXPECT_EQ(UaNodeCounters::uaNode, nodesBefore + survivors);
    EXPECT_EQ(removals, 50 - (survivors - 1)) << "every destroyed entry was told it leaves";
    held->releaseReference();
    EXPECT_EQ(removals, 50);
    EXPECT_EQ(UaNodeCounters::uaNode, nodesBefore);
    EXPECT_EQ(UaNodeCounters::uaObject, objectsBefore);
}

TEST(HashTable, AChainOfTwentyThousandGoesWithItsHead)
{
    const OpcUa_Int32 nodesBefore = UaNodeCounters::uaNode;
    HashTable table(1);
    for (OpcUa_UInt32 i = 0; i < 20000; ++i)
    {
        UaObjectPlain* node = newObject(UaNodeId(i, 2), "n");
        table.add(node->nodeId(), node);
    }
    EXPECT_EQ(table.lookup(UaNodeId(0, 2))->key(), UaNodeId(0, 2));
    table.clear(true);
    EXPECT_EQ(UaNodeCounters::uaNode, nodesBefore);
}
} // namespace
