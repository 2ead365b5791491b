#include "nodeattributereader.h"

#include <atomic>

namespace
{
std::atomic<NodeAttributeReader*> g_reader{nullptr};
}

NodeAttributeReader* NodeAttributeReader::instance()
{
    return g_reader.load();
}

void NodeAttributeReader::setInstance(NodeAttributeReader* reader)
{
    g_reader.store(reader);
}
