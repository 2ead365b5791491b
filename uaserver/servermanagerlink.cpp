#include "servermanagerlink.h"

#include <atomic>

namespace
{
std::atomic<ServerManagerLink*> g_running{nullptr};
}

ServerManagerLink* ServerManagerLink::running()
{
    return g_running.load();
}

void ServerManagerLink::setRunning(ServerManagerLink* serverManager)
{
    g_running.store(serverManager);
}
