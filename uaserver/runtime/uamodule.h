#ifndef UASERVER_RUNTIME_UAMODULE_H
#define UASERVER_RUNTIME_UAMODULE_H

#include <memory>

class CoreModule;
class UaServer;

// The application's handle on the server core: it makes the UaServer, applies the stack settings
// and opens the endpoints on a started core module. 0 is success, -1 failure.
class UaModule
{
public:
    UaModule();
    virtual ~UaModule();
    UaModule(const UaModule&) = delete;
    UaModule& operator=(const UaModule&) = delete;

    // Started from here on also when it fails: shutDown then cleans up.
    int startUp(CoreModule* coreModule);
    int shutDown();

    // The server made by startUp; null before and after shutDown.
    UaServer* server() const;

private:
    struct Record;
    std::unique_ptr<Record> d;
};

#endif
