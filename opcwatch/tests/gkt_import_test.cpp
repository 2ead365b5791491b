// The import of the device profile into the address space, through the real device manager and
// GktSim on descriptions in a temporary device root.
#include "gkt_server_fixture.h"

#include <referencetypes.h>
#include <uareference.h>
#include <uareferencelists.h>

#include <sstream>

namespace
{
using gkttest::GktServerTest;

// Two modules of one type, a table whose count entry the device calls Int32, a record without
// entries, a variable object, an object of area 9, and the areas 1 and 15 that are never shown.
const char* const kTwoModules = R"(
object 0x1000 VAR "Device Type"
  0 UINT32 ro 0x1389 "Device Type"
object 0x8010 RECORD "Module Header"
  0 UINT16 ro 4 "Number of Entries"
  1 UINT16 ro 1 "Module Type"
  2 VSTRING ro "CPU" "Type"
  3 VSTRING ro "Atom" "Name"
  4 UINT32 ro 1 "Module Revision"
object 0x8011 RECORD "Temperatures"
  0 INT32 ro 2 "Number of Entries"
  1 INT16 ro 45 "CPU Temperature [C]"
  2 UINT24 rw 5 "Raw Sensor"
object 0x8012 VAR "Uptime"
  0 UINT32 ro 5 "Uptime"
object 0x8013 RECORD "Nothing"
object 0x9010 VAR "Diagnosis"
  0 UINT32 ro 0 "Errors"
object 0x8020 RECORD "Module Header"
  0 UINT16 ro 3 "Number of Entries"
  1 UINT16 ro 1 "Module Type"
  2 VSTRING ro "CPU" "Type"
  3 VSTRING ro "Celeron" "Name"
object 0x8021 ARRAY "Counters"
  0 UINT16 ro 1 "Number of Entries"
  1 UINT32 rw 7 "Counter 1"
object 0xF000 RECORD "Modular Device Profile"
  0 UINT16 ro 0 "Number of Entries"
)";

// The tree below a node along its Organizes references: NodeId, browse name, node class, the data
// type of variables, and the description where the node has one.
void dump(UaNode& node, int depth, std::ostringstream& out)
{
    out << std::string(2 * depth, ' ') << node.nodeId().toString().toUtf8() << " \""
        << node.browseName().toString().toUtf8() << "\"";
    if (node.nodeClass() == OpcUa_NodeClass_Variable)
        out << " DataType=" << static_cast<UaVariable&>(node).dataType().toString().toUtf8();
    if (node.isDescriptionSupported())
        out << " (" << node.description(nullptr).toString().toUtf8() << ")";
    out << "\n";
    for (UaReference* reference = node.getUaReferenceLists()->firstForwardReference(); reference;
         reference = reference->pNextForward())
        if (reference->referenceTypeId() == UaNodeId(ReferenceTypeId::Organizes, 0) &&
            reference->pTargetNode())
            dump(*reference->pTargetNode(), depth + 1, out);
}

class GktImportTest : public GktServerTest
{
protected:
    std::string description() const override { return kTwoModules; }
    std::string tree() const
    {
        std::ostringstream out;
        dump(*node("GKT"), 0, out);
        return out.str();
    }
    bool traced(int level, const std::string& text) const { return m_trace.contains(level, text); }

    UaTraceCapture m_trace{7};
};

TEST_F(GktImportTest, BuildsOneFolderPerTypeModuleAndTableAndOneVariablePerEntry)
{
    startNodeManager();
    EXPECT_EQ(tree(), R"(GKT "GKT"
  Modules "Modules"
    Modules|CPU "CPU" (CPU)
      Modules|CPU|Atom "Atom" (Atom)
        Modules|CPU|Atom|0x8nn0 "0x8nn0-Module Header" (Module Header)
          Modules|CPU|Atom|0x8nn0|0x00 "0x00 - Number of Entries" DataType=5 (Number of Entries)
          Modules|CPU|Atom|0x8nn0|0x01 "0x01 - Module Type" DataType=5 (Module Type)
          Modules|CPU|Atom|0x8nn0|0x02 "0x02 - Type" DataType=12 (Type)
          Modules|CPU|Atom|0x8nn0|0x03 "0x03 - Name" DataType=12 (Name)
          Modules|CPU|Atom|0x8nn0|0x04 "0x04 - Module Revision" DataType=7 (Module Revision)
        Modules|CPU|Atom|0x8nn1 "0x8nn1-Temperatures" (Temperatures)
          Modules|CPU|Atom|0x8nn1|0x00 "0x00 - Number of Entries" DataType=5 (Number of Entries)
          Modules|CPU|Atom|0x8nn1|0x01 "0x01 - CPU Temperature [C]" DataType=4 (CPU Temperature [C])
          Modules|CPU|Atom|0x8nn1|0x02 "0x02 - Raw Sensor" DataType=0 (Raw Sensor)
        Modules|CPU|Atom|0x8nn2 "0x8nn2-Uptime" (Uptime)
        Modules|CPU|Atom|0x8nn3 "0x8nn3-Nothing" (Nothing)
      Modules|CPU|Celeron "Celeron" (Celeron)
        Modules|CPU|Celeron|0x8nn0 "0x8nn0-Module Header" (Module Header)
          Modules|CPU|Celeron|0x8nn0|0x00 "0x00 - Number of Entries" DataType=5 (Number of Entries)
          Modules|CPU|Celeron|0x8nn0|0x01 "0x01 - Module Type" DataType=5 (Module Type)
          Modules|CPU|Celeron|0x8nn0|0x02 "0x02 - Type" DataType=12 (Type)
          Modules|CPU|Celeron|0x8nn0|0x03 "0x03 - Name" DataType=12 (Name)
        Modules|CPU|Celeron|0x8nn1 "0x8nn1-Counters" (Counters)
          Modules|CPU|Celeron|0x8nn1|0x00 "0x00 - Number of Entries" DataType=5 (Number of Entries)
          Modules|CPU|Celeron|0x8nn1|0x01 "0x01 - Counter 1" DataType=7 (Counter 1)
)");
    EXPECT_TRUE(traced(3, "CUaGktNodeManager::LoadGkt() - 2 modules imported"));
    EXPECT_TRUE(traced(6, "<-- CUaGktNodeManager::LoadGkt() [OpcUa_Good]"));

    // The object's type, under BaseObjectType; every item is a readable and writable scalar.
    auto type = node("GktObjectType");
    ASSERT_TRUE(type);
    EXPECT_EQ(std::string(type->description(nullptr).toString().toUtf8()), "GKT Object object type");
    EXPECT_EQ(node("GKT")->typeDefinitionId(), type->nodeId());
    CUaGktItem* counter = item("Modules|CPU|Celeron|0x8nn1|0x01");
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(counter->accessLevel(), 3);
    EXPECT_EQ(counter->valueRank(), -1);
    EXPECT_EQ(counter->index(), 0x8021);
    EXPECT_EQ(counter->subindex(), 1);
    EXPECT_EQ(counter->typeDefinitionId(), UaNodeId(63, 0));
    // A folder without a description still answers one, but has no Description attribute.
    CUaDescriptiveFolder bare("bare", UaNodeId("bare", 2), "en");
    EXPECT_FALSE(bare.isDescriptionSupported());
    EXPECT_EQ(std::string(bare.description(nullptr).toString().toUtf8()), "Description not available");
}

TEST_F(GktImportTest, ModulesOfOneTypeAndNameCollideAndEndTheImportBad)
{
    std::string twins = kTwoModules;
    const std::string celeron = "3 VSTRING ro \"Celeron\" \"Name\"";
    twins.replace(twins.find(celeron), celeron.size(), "3 VSTRING ro \"Atom\" \"Name\"");
    restartDevice(twins);
    openControl();
    startNodeManager();
    EXPECT_TRUE(traced(
        1, "CUaGktNodeManager::LoadGkt() - CreateModule : addNodeAndReference failed with 0x805e0000"));
    EXPECT_TRUE(traced(6, "<-- CUaGktNodeManager::LoadGkt() [OpcUa_Bad]"));
    // The first module stays; the server runs on.
    EXPECT_NE(item("Modules|CPU|Atom|0x8nn1|0x01"), nullptr);
    EXPECT_TRUE(m_nodeManager->isGktStarted());
}

TEST_F(GktImportTest, LongNamesAreCutTo255Characters)
{
    // The import offers 254 bytes for an object's name: a longer one leaves the object out.
    const std::string table(254, 't'), entry(300, 'e');
    restartDevice(std::string(kTwoModules) + "object 0x8014 RECORD \"" + table + "\"\n  0 UINT16 ro 1 \"" +
                  entry + "\"\nobject 0x8015 RECORD \"" + std::string(255, 'x') + "\"\n");
    openControl();
    startNodeManager();
    const auto folder = node("Modules|CPU|Atom|0x8nn4");
    ASSERT_TRUE(folder);
    EXPECT_EQ(std::string(folder->browseName().toString().toUtf8()), "0x8nn4-" + table.substr(0, 248));
    EXPECT_EQ(std::string(folder->description(nullptr).toString().toUtf8()), table);
    CUaGktItem* count = item("Modules|CPU|Atom|0x8nn4|0x00");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(std::string(count->browseName().toString().toUtf8()), "0x00 - " + entry.substr(0, 248));
    EXPECT_EQ(std::string(count->displayName(nullptr).toString().toUtf8()), "0x00 - " + entry.substr(0, 248));
    EXPECT_EQ(std::string(count->description(nullptr).toString().toUtf8()), entry);
    EXPECT_FALSE(node("Modules|CPU|Atom|0x8nn5"));
    EXPECT_TRUE(traced(6, "<-- CUaGktNodeManager::LoadGkt() [OpcUa_Good]"));
}

TEST_F(GktImportTest, ADeviceWithoutObjectsGivesAnEmptyModulesFolder)
{
    restartDevice("# no objects\n");
    openControl();
    startNodeManager();
    EXPECT_EQ(tree(), "GKT \"GKT\"\n  Modules \"Modules\"\n");
    EXPECT_TRUE(traced(3, "CUaGktNodeManager::LoadGkt() - 0 modules imported"));
    EXPECT_TRUE(traced(6, "<-- CUaGktNodeManager::LoadGkt() [OpcUa_Good]"));
}

TEST_F(GktImportTest, AnEntryWhoseNameLiesOutsideTheAnswerIsLeftOut)
{
    // The first entry described is subindex 0 of the first module's header.
    setFault(gktsim::FaultKind::nameOffset, 5000, gktsim::kIoctlEntryDescription);
    startNodeManager();
    EXPECT_EQ(item("Modules|CPU|Atom|0x8nn0|0x00"), nullptr);
    EXPECT_NE(item("Modules|CPU|Atom|0x8nn0|0x01"), nullptr);
    EXPECT_TRUE(traced(6, "<-- CUaGktNodeManager::LoadGkt() [OpcUa_Good]"));
}

TEST_F(GktImportTest, AFailingDeviceEndsTheImportWithItsCode)
{
    setFault(gktsim::FaultKind::failIo, 31, gktsim::kIoctlObjectList);
    startNodeManager();
    EXPECT_TRUE(traced(1, "CUaGktNodeManager::LoadGkt() - GKTInfo import failed with 0x0000001f"));
    EXPECT_EQ(tree(), "GKT \"GKT\"\n  Modules \"Modules\"\n");
    // The import leaves no handle of its own open on the device.
    EXPECT_EQ(stats().openContexts, 1u);
}

TEST_F(GktImportTest, TwoStartsInOneProcessBuildTheSameTree)
{
    startNodeManager();
    const std::string first = tree();
    stopNodeManager();
    m_server.reset();
    m_server = std::make_unique<servertest::StartedServer>();
    startNodeManager();
    EXPECT_EQ(tree(), first);
    EXPECT_TRUE(node("GktObjectType"));
}
} // namespace
