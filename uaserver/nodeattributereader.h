#ifndef UASERVER_NODEATTRIBUTEREADER_H
#define UASERVER_NODEATTRIBUTEREADER_H

#include <uastatus.h>
#include <uastructurearrays.h>
#include <uavariantarrays.h>

class ServiceContext;

// Reads attributes of any node by NodeId, whatever node manager owns it: the browse and translate
// walks read the names of far nodes they hold no pointer to through it. The server connects its
// core read transactions here; with none connected those names stay empty.
class NodeAttributeReader
{
public:
    virtual ~NodeAttributeReader() = default;
    // One result per item of nodesToRead, in order.
    virtual UaStatus readByNodeIds(const ServiceContext& context, OpcUa_Double maxAge,
                                   OpcUa_TimestampsToReturn timestampsToReturn,
                                   const UaReadValueIdArray& nodesToRead, UaDataValueArray& results) = 0;

    // The reader of the running server; null when none. Set before the services start, cleared
    // after they stopped.
    static NodeAttributeReader* instance();
    static void setInstance(NodeAttributeReader* reader);
};

#endif
