#ifndef UASERVER_FARNODENAMES_H
#define UASERVER_FARNODENAMES_H

#include <ualocalizedtext.h>
#include <uanodeid.h>
#include <uaqualifiedname.h>

#include <vector>

class ServiceContext;

// Browse names and display names of nodes the walks hold no pointer to: from the node itself when a
// node manager of this process keeps it in memory, else read by NodeId through the server's
// attribute reader in one call. Called with no node lock held: the lookups reach other node
// managers, which take theirs.
struct FarNodeNames
{
    std::vector<UaQualifiedName> browseNames;
    std::vector<UaLocalizedText> displayNames;

    // One entry per NodeId in each list asked for; empty names where the read gives none.
    void read(const ServiceContext& context, const std::vector<UaNodeId>& nodeIds, bool withBrowseNames,
              bool withDisplayNames);
};

#endif
