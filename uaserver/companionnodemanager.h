#ifndef UASERVER_COMPANIONNODEMANAGER_H
#define UASERVER_COMPANIONNODEMANAGER_H

#include "iomanageruanode.h"
#include "nodemanageruanode.h"

#include <atomic>

// What the node managers of the companion models share: a node manager whose nodes answer through
// its own I/O part, with the locale "en", that keeps the process-wide namespace index of its last
// start and is the target of its model's type builders while it runs.
class CompanionNodeManager : public NodeManagerUaNode, public IOManagerUaNode
{
public:
    ~CompanionNodeManager() override;

    // Ends the builders' access to this node manager.
    UaStatus beforeShutDown() override;
    IOManager* getIOManager(UaNode* pNode, OpcUa_Int32 attributeId) const override;
    IOManagerUaNode* getIOManagerUaNode() override { return this; }

protected:
    // The two statics are the model's own: the running node manager and the namespace index.
    CompanionNodeManager(const char* namespaceUri, std::atomic<CompanionNodeManager*>& started,
                         std::atomic<OpcUa_UInt16>& namespaceIndex);
    // Keeps the namespace index and makes this node manager the builders' target.
    void enterStarted();
    // Adds the model's entry node below a folder of namespace 0; a node refused is released.
    void addEntryNode(OpcUa_UInt32 folderId, UaNode* pNode, OpcUa_UInt32 referenceTypeId);

private:
    // Leaves the target slot when it still names this node manager.
    void leaveStarted();

    std::atomic<CompanionNodeManager*>& m_started;
    std::atomic<OpcUa_UInt16>& m_namespaceIndex;
};

#endif
