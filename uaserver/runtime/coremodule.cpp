#include "coremodule.h"

#include <buildinformation.h>
#include <servermanager.h>

#include <uamutex.h>
#include <uatrace.h>

#include <new>
#include <string>

struct CoreModule::Record
{
    ServerManager* serverManager = nullptr;
    bool initialized = false;
    bool started = false;
    UaMutex mutex;
};

void traceVersionBlock(const char* heading, const char* text)
{
    if (!UaTrace::isTraceLevelOn(3))
        return;
    UaTrace::traceLevel3("%s", heading);
    const std::string all = text != nullptr ? text : "";
    std::string::size_type begin = 0;
    for (;;)
    {
        const std::string::size_type end = all.find('\\', begin);
        UaTrace::traceLevel3("    %s", all.substr(begin, end - begin).c_str());
        if (end == std::string::npos)
            break;
        begin = end + 1;
    }
}

CoreModule::CoreModule() : d(new Record)
{
    UaTrace::traceLevel5("Ctor CoreModule");
}

CoreModule::~CoreModule()
{
    UaTrace::traceLevel5("--> Dtor CoreModule");
    if (d->started || d->initialized)
        shutDown();
    UaTrace::traceLevel5("<-- Dtor CoreModule");
}

int CoreModule::initialize(ServerManager* serverManager)
{
    UaMutexLocker lock(&d->mutex);
    UaTrace::traceLevel4("==> CoreModule::initialize");
    traceVersionBlock("Version information UA Server SDK:", getSdkVersionInfo().toUtf8());
    traceVersionBlock("Version information UA Stack:", getStackVersion().toUtf8());
    traceVersionBlock("Static configuration information UA Stack:", getStackStaticConfig().toUtf8());
    traceVersionBlock("Version information UA Stack Platform Layer:", getPlatformLayerVersion().toUtf8());
    traceVersionBlock("Configuration information UA Stack Platform Layer:",
                      getPlatformLayerConfig().toUtf8());
    // A second initialize replaces a server manager that was never started.
    if (d->serverManager != nullptr && d->serverManager != serverManager && !d->started)
        delete d->serverManager;
    d->serverManager = serverManager != nullptr ? serverManager : new (std::nothrow) ServerManager();
    d->initialized = true;
    UaTrace::traceLevel4("<== CoreModule::initialize [ret=%d]", 0);
    return 0;
}

int CoreModule::startUp(ServerConfig* serverConfig)
{
    UaMutexLocker lock(&d->mutex);
    UaTrace::traceLevel4("==> CoreModule::startUp");
    if (d->started)
    {
        UaTrace::traceLevel4("<== CoreModule::startUp [ret=-1] - CoreModule already started");
        return -1;
    }
    if (!d->initialized)
    {
        UaTrace::traceLevel4("<== CoreModule::startUp [ret=-1] - CoreModule not initialized");
        return -1;
    }
    // A failed start-up took the server manager with it: initialize makes a new one first.
    if (d->serverManager == nullptr)
    {
        UaTrace::traceLevel4("<== CoreModule::startUp [ret=-1] - no ServerManager");
        return -1;
    }
    const UaStatus status = d->serverManager->startUp(serverConfig);
    if (status.isBad())
    {
        delete d->serverManager;
        d->serverManager = nullptr;
        UaTrace::traceLevel1("CoreModule::startUp - ServerManager::startUp failed [ret=0x%lx]",
                             static_cast<unsigned long>(status.statusCode()));
        UaTrace::traceLevel4("<== CoreModule::startUp [ret=%d]", -1);
        return -1;
    }
    d->started = true;
    UaTrace::traceLevel4("<== CoreModule::startUp [ret=%d]", 0);
    return 0;
}

int CoreModule::shutDown()
{
    UaMutexLocker lock(&d->mutex);
    UaTrace::traceLevel4("==> CoreModule::shutDown");
    if (!d->started && !d->initialized)
    {
        UaTrace::traceLevel4("<== CoreModule::shutDown [ret=-1] - CoreModule not started");
        return -1;
    }
    d->started = false;
    d->initialized = false;
    if (d->serverManager != nullptr)
    {
        d->serverManager->shutDown();
        delete d->serverManager;
        d->serverManager = nullptr;
    }
    UaTrace::traceLevel4("<== CoreModule::shutDown [ret=%d]", 0);
    return 0;
}

ServerManager* CoreModule::getServerManager()
{
    UaTrace::traceLevel4("==> CoreModule::getServerManager");
    if (!d->started)
    {
        UaTrace::traceLevel4("<== CoreModule::getServerManager [ret=-1] - CoreModule not started");
        return nullptr;
    }
    UaTrace::traceLevel4("<== CoreModule::getServerManager");
    return d->serverManager;
}
