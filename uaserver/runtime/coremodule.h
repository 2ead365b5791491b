#ifndef UASERVER_RUNTIME_COREMODULE_H
#define UASERVER_RUNTIME_COREMODULE_H

#include <memory>

class ServerConfig;
class ServerManager;

// The application's handle on the server library's core: it owns the server manager (address
// space, sessions, namespaces) and writes the version texts of the library and of the stack to
// the trace. 0 is success, -1 failure.
class CoreModule
{
public:
    CoreModule();
    // Shuts down what is still started.
    virtual ~CoreModule();
    CoreModule(const CoreModule&) = delete;
    CoreModule& operator=(const CoreModule&) = delete;

    // Takes serverManager over, or makes one when none is given.
    int initialize(ServerManager* serverManager = nullptr);
    // Loads the configuration and starts the server manager; a failure deletes the server manager.
    int startUp(ServerConfig* serverConfig);
    int shutDown();
    // Null unless started.
    ServerManager* getServerManager();

private:
    struct Record;
    std::unique_ptr<Record> d;
};

// Writes heading, then every part of text between '\' characters as a line "    <part>", at
// trace level 3.
void traceVersionBlock(const char* heading, const char* text);

#endif
