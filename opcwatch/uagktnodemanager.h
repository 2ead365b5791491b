// The node manager of the device-profile namespace "GKT": once started it imports the device's
// object dictionary through Profilelink and builds Objects/GKT/Modules with one folder per module
// type, module and table of area 8, and one variable per table entry. The Value of those
// variables goes to the device through CUaGktIoManager; every other attribute is served from the
// nodes by the IOManagerUaNode part.
#pragma once

#include "gktimport.h"

#include <iomanageruanode.h>
#include <nodemanageruanode.h>

#include <memory>
#include <string>

class CUaDescriptiveFolder;
class CUaGktIoManager;
class UaFolder;

class CUaGktNodeManager : public NodeManagerUaNode, public IOManagerUaNode
{
public:
    explicit CUaGktNodeManager(const UaString& namespaceUri);
    // The I/O manager goes first: its watch stops and the device closes before the nodes go.
    ~CUaGktNodeManager() override;

    // Creates "GKT", "GktObjectType" and "Modules", then imports the dictionary. Good in every
    // case: the server runs on without the device profile when the import fails.
    UaStatus afterStartUp() override;
    UaStatus beforeShutDown() override { return OpcUa_Good; }
    // The Value of an item goes to the device's I/O manager (through the item's own handle);
    // every other attribute is answered from the node.
    IOManager* getIOManager(UaNode* pNode, OpcUa_Int32 attributeId) const override;

    // The import: Good, or Bad with the reason in the trace.
    UaStatus LoadGkt();
    // The variables of one table under its folder; the first failed add ends it.
    UaStatus CreateTable(const GktObjectRecord& object, CUaDescriptiveFolder* pTableFolder,
                         const std::string& tableNodeId);

    CUaGktIoManager* gktIoManager() const { return m_pIoManager.get(); }
    bool isGktStarted() const { return m_started; }

private:
    UaStatus createModule(const GktModuleRecord& module);
    UaNodeId childNodeId(const std::string& parentId, const std::string& part, std::string& childId) const;

    std::unique_ptr<CUaGktIoManager> m_pIoManager;
    UaFolder* m_pModulesFolder = nullptr;
    bool m_started = false;
};
