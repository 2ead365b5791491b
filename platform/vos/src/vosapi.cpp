#include "vos/vosapi.h"

#include "vos/vossync.h"

#include <memory>
#include <mutex>

namespace
{

std::mutex g_lock;
std::unique_ptr<CVosSync> g_client;

} // namespace

LONG VosPortOpen()
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_client)
        g_client = std::make_unique<CVosSync>(0, FALSE, nullptr);
    if (g_client->VosSyncConnect() != 0)
    {
        g_client.reset();
        return 0;
    }
    return g_client->VosSyncGetAddr().port;
}

LONG VosPortClose()
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_client)
        return VOSERR_PORT_NOT_CONNECTED;
    g_client.reset();
    return 0;
}

LONG VosGetLocalAddress(OrxAddr* addr)
{
    if (!addr)
        return VOSERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_client)
        return VOSERR_PORT_NOT_CONNECTED;
    *addr = g_client->VosSyncGetAddr();
    return 0;
}

LONG VosSyncSetTimeout(LONG milliseconds)
{
    if (milliseconds < 0)
        return VOSERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_client)
        return VOSERR_PORT_NOT_CONNECTED;
    g_client->VosSyncSetTimeout(static_cast<ULONG>(milliseconds));
    return 0;
}

LONG VosSyncReadReq(const OrxAddr* addr, ULONG indexGroup, ULONG indexOffset, ULONG length, void* data)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_client)
        return VOSERR_PORT_NOT_CONNECTED;
    return g_client->VosSyncReadReq(addr, indexGroup, indexOffset, length, data);
}

LONG VosSyncReadDeviceInfoReq(const OrxAddr* addr, char* name, VosVersion* version)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_client)
        return VOSERR_PORT_NOT_CONNECTED;
    return g_client->VosSyncReadDeviceInfoReq(addr, name, version);
}
