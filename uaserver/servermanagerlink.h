#ifndef UASERVER_SERVERMANAGERLINK_H
#define UASERVER_SERVERMANAGERLINK_H

class NodeManager;
class ServerConfig;

// What the library's objects reach of the running server manager: the server configuration and
// the root (namespace 0) node manager. The server manager registers itself while it runs and
// clears the link when it stops; with none registered, callers use their own defaults.
class ServerManagerLink
{
public:
    virtual ~ServerManagerLink() = default;

    virtual ServerConfig* getServerConfig() = 0;
    virtual NodeManager* getNodeManagerRoot() = 0;

    // Null while no server manager runs.
    static ServerManagerLink* running();
    static void setRunning(ServerManagerLink* serverManager);
};

#endif
