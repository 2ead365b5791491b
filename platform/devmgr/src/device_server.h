// Serves the loaded drivers' device files to every process of the device over
// the manager's local socket. Each connection has its own thread, so calls of
// several threads and processes run in the drivers at the same time.
#pragma once

#include "driver_table.h"

#include <os/devio.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace devmgr
{

class DeviceServer
{
public:
    explicit DeviceServer(DriverTable& drivers) : m_drivers(drivers) {}
    ~DeviceServer();

    // True when a manager already answers on this device root's socket.
    static bool managerRunning();

    // Listens on the socket; it appears under its final name only once
    // connections are accepted, so its presence means the manager is ready.
    bool start(std::string& error);
    // Stops accepting, ends every connection after its call in progress and
    // closes the device files still open.
    void stop();

private:
    struct OpenFile
    {
        Driver* driver = nullptr;
        DWORD_PTR context = 0;
        uint64_t connection = 0; // the connection that opened it
        int callsInProgress = 0;
        bool closing = false;
    };

    // One call on an open file, as the client sent it.
    struct FileCall
    {
        os::devio::Op op = os::devio::Op::ioControl;
        uint32_t code = 0, flags = 0, inSize = 0, outSize = 0; // I/O control
        uint32_t size = 0;                                     // read
        uint32_t distance = 0, method = 0;                     // seek
        std::vector<uint8_t> input, output;
    };

    static uint64_t firstFileId();
    void acceptLoop();
    void serve(int fd, uint64_t connection);
    bool answer(os::devio::Message& request, os::devio::Message& reply, uint64_t connection);

    static bool decodeCall(os::devio::Message& request, FileCall& call);
    static void runCall(OpenFile* file, FileCall& call, os::devio::Message& reply);
    void openFile(os::devio::Message& request, os::devio::Message& reply, uint64_t connection);
    void closeFile(uint64_t id, os::devio::Message& reply);
    BOOL closeNow(const std::shared_ptr<OpenFile>& file);
    void closeFilesOf(uint64_t connection);

    // A call on an open file keeps it from being closed under it.
    std::shared_ptr<OpenFile> beginCall(uint64_t id);
    void endCall(const std::shared_ptr<OpenFile>& file);

    DriverTable& m_drivers;
    std::string m_socketPath;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    std::thread m_acceptThread;

    std::mutex m_lock;
    std::condition_variable m_connectionsEnded;
    std::map<uint64_t, std::shared_ptr<OpenFile>> m_files;
    // File ids of one run of the manager start at a random place, so that a handle
    // opened on an earlier run is unknown here and never names another file.
    uint64_t m_nextFileId = firstFileId();
    uint64_t m_nextConnection = 1;
    std::set<int> m_connectionFds;
    int m_connectionThreads = 0;
    bool m_stopping = false;
};

} // namespace devmgr
