#include "uamodule.h"

#include "coremodule.h"
#include "uaserver.h"

#include <buildinformation.h>
#include <servermanager.h>

#include <uamutex.h>
#include <uatrace.h>

#include <new>

struct UaModule::Record
{
    UaServer* server = nullptr;
    CoreModule* coreModule = nullptr;
    bool started = false;
    UaMutex mutex;
};

UaModule::UaModule() : d(new Record)
{
    UaTrace::traceLevel5("Ctor UaModule");
}

UaModule::~UaModule()
{
    UaTrace::traceLevel5("--> Dtor UaModule");
    if (d->started)
        shutDown();
    if (d->server != nullptr)
    {
        d->server->shutDown();
        delete d->server;
        d->server = nullptr;
    }
    UaTrace::traceLevel5("<-- Dtor UaModule");
}

int UaModule::startUp(CoreModule* coreModule)
{
    UaTrace::traceLevel4("--> UaModule::startUp");
    UaMutexLocker lock(&d->mutex);
    if (d->started)
    {
        UaTrace::traceLevel1("<-- UaModule::startUp [ret=-1] - UaModule already started");
        return -1;
    }
    d->started = true;
    ServerManager* serverManager = coreModule != nullptr ? coreModule->getServerManager() : nullptr;
    d->coreModule = coreModule;
    if (d->server == nullptr)
    {
        d->server = new (std::nothrow) UaServer();
        ServerConfig* config = serverManager != nullptr ? serverManager->getServerConfig() : nullptr;
        if (d->server == nullptr || d->server->initStackSettings(config).isBad())
        {
            UaTrace::traceLevel4("<-- UaModule::startUp [ret=-1] - UaServer initStackSettings failed");
            return -1;
        }
    }
    if (d->server->startUp(serverManager).isBad())
    {
        UaTrace::traceLevel4("<-- UaModule::startUp [ret=-1] - UaServer startup failed");
        return -1;
    }
    traceVersionBlock("Runtime configuration information UA Stack:", getStackConfig().toUtf8());
    UaTrace::traceLevel4("<-- UaModule::startUp [ret=%d]", 0);
    return 0;
}

int UaModule::shutDown()
{
    UaTrace::traceLevel4("--> UaModule::shutDown");
    UaMutexLocker lock(&d->mutex);
    if (!d->started)
    {
        UaTrace::traceLevel4("<-- UaModule::shutDown [ret=-1] - UaModule not started");
        return -1;
    }
    d->started = false;
    if (d->server != nullptr)
    {
        d->server->shutDown();
        delete d->server;
        d->server = nullptr;
    }
    d->coreModule = nullptr;
    UaTrace::traceLevel4("<-- UaModule::shutDown [ret=%d]", 0);
    return 0;
}

UaServer* UaModule::server() const
{
    return d->server;
}
