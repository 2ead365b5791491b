#include "device_server.h"
#include "driver_calls.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace devmgr
{

using os::devio::Message;
using os::devio::Op;

namespace
{

bool makeAddress(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// True when another manager answers on the socket.
bool managerAnswers(const sockaddr_un& address)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answers = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

bool failFunction()
{
    SetLastError(ERROR_INVALID_FUNCTION);
    return false;
}

bool invalidHandle()
{
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

} // namespace

DeviceServer::~DeviceServer()
{
    stop();
}

uint64_t DeviceServer::firstFileId()
{
    std::random_device random;
    return static_cast<uint64_t>(random()) << 32 | 1; // 2^32 opens before the next such start
}

bool DeviceServer::managerRunning()
{
    sockaddr_un address{};
    return makeAddress(os::devio::managerSocketPath(), address) && managerAnswers(address);
}

bool DeviceServer::start(std::string& error)
{
    m_socketPath = os::devio::managerSocketPath();
    const std::string bindPath = m_socketPath + "." + std::to_string(::getpid());
    sockaddr_un finalAddress{}, bindAddress{};
    if (!makeAddress(m_socketPath, finalAddress) || !makeAddress(bindPath, bindAddress))
    {
        error = "the device root's path is too long for a socket: " + m_socketPath;
        return false;
    }
    if (managerAnswers(finalAddress))
    {
        error = "another device manager serves " + m_socketPath;
        return false;
    }
    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::unlink(bindPath.c_str());
    if (m_listenFd < 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&bindAddress), sizeof bindAddress) != 0 ||
        ::listen(m_listenFd, 64) != 0 || ::pipe2(m_wakeFds, O_CLOEXEC) != 0 ||
        ::rename(bindPath.c_str(), m_socketPath.c_str()) != 0)
    {
        error = "cannot listen on " + m_socketPath + ": " + std::strerror(errno);
        ::unlink(bindPath.c_str());
        return false;
    }
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void DeviceServer::stop()
{
    if (!m_acceptThread.joinable())
        return;
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
    }
    const char wake = 1;
    (void)!::write(m_wakeFds[1], &wake, 1);
    m_acceptThread.join();
    ::unlink(m_socketPath.c_str());
    ::close(m_listenFd);
    ::close(m_wakeFds[0]);
    ::close(m_wakeFds[1]);

    std::unique_lock guard(m_lock);
    for (int fd : m_connectionFds)
        ::shutdown(fd, SHUT_RDWR);
    m_connectionsEnded.wait(guard, [this] { return m_connectionThreads == 0; });
    auto files = std::move(m_files);
    guard.unlock();
    for (auto& [id, file] : files)
        closeNow(file);
}

void DeviceServer::acceptLoop()
{
    for (;;)
    {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard guard(m_lock);
        if (m_stopping)
        {
            ::close(fd);
            return;
        }
        const uint64_t connection = m_nextConnection++;
        m_connectionFds.insert(fd);
        ++m_connectionThreads;
        std::thread([this, fd, connection] { serve(fd, connection); }).detach();
    }
}

void DeviceServer::serve(int fd, uint64_t connection)
{
    for (;;)
    {
        Message request, reply;
        if (!os::devio::receiveMessage(fd, request) || !answer(request, reply, connection) ||
            !os::devio::sendMessage(fd, reply))
            break;
    }
    // The process behind the connection is gone or done: what it opened here is closed.
    closeFilesOf(connection);
    std::lock_guard guard(m_lock);
    m_connectionFds.erase(fd);
    ::close(fd);
    if (--m_connectionThreads == 0)
        m_connectionsEnded.notify_all();
}

bool DeviceServer::answer(Message& request, Message& reply, uint64_t connection)
{
    uint32_t op = 0;
    if (!request.getU32(op))
        return false;
    if (static_cast<Op>(op) == Op::open)
    {
        openFile(request, reply, connection);
        return true;
    }
    uint64_t id = 0;
    if (!request.getU64(id))
        return false;
    if (static_cast<Op>(op) == Op::close)
    {
        closeFile(id, reply);
        return true;
    }
    // The whole request is decoded before a driver sees it.
    FileCall call;
    call.op = static_cast<Op>(op);
    if (!decodeCall(request, call))
        return false;
    const auto file = beginCall(id);
    runCall(file ? file.get() : nullptr, call, reply);
    if (file)
        endCall(file);
    return true;
}

bool DeviceServer::decodeCall(Message& request, FileCall& call)
{
    switch (call.op)
    {
    case Op::ioControl:
        return request.getU32(call.code) && request.getU32(call.flags) && request.getU32(call.inSize) &&
               request.getU32(call.outSize) && request.getBytes(call.input) &&
               request.getBytes(call.output) &&
               (!(call.flags & os::devio::kHasInput) || call.input.size() == call.inSize) &&
               (!(call.flags & os::devio::kHasOutput) || call.output.size() == call.outSize);
    case Op::read:
        if (!request.getU32(call.size) || call.size > os::devio::kMaxTransfer)
            return false;
        call.output.resize(call.size);
        return true;
    case Op::write:
        return request.getBytes(call.input);
    case Op::seek:
        return request.getU32(call.distance) && request.getU32(call.method);
    default:
        return false;
    }
}

void DeviceServer::runCall(OpenFile* file, FileCall& call, Message& reply)
{
    Driver* driver = file ? file->driver : nullptr;
    switch (call.op)
    {
    case Op::ioControl:
    {
        DWORD returned = 0;
        const CallResult result = runEntry(
            driver, &Driver::ioControl,
            [&]
            {
                return driver->ioControl(
                           file->context, call.code,
                           (call.flags & os::devio::kHasInput) ? call.input.data() : nullptr, call.inSize,
                           (call.flags & os::devio::kHasOutput) ? call.output.data() : nullptr, call.outSize,
                           (call.flags & os::devio::kHasReturned) ? &returned : nullptr) != FALSE;
            });
        reply.putU32(result.ok);
        reply.putU32(result.error);
        reply.putU32(returned);
        reply.putBytes(call.input.data(), static_cast<uint32_t>(call.input.size()));
        reply.putBytes(call.output.data(), static_cast<uint32_t>(call.output.size()));
        break;
    }
    case Op::read:
    {
        DWORD done = 0;
        const CallResult result = runEntry(driver, &Driver::read,
                                           [&]
                                           {
                                               done =
                                                   driver->read(file->context, call.output.data(), call.size);
                                               return done != 0xFFFFFFFFu;
                                           });
        reply.putU32(result.ok);
        reply.putU32(result.error);
        reply.putBytes(call.output.data(), result.ok ? std::min(done, call.size) : 0);
        break;
    }
    case Op::write:
    {
        DWORD done = 0;
        const CallResult result = runEntry(driver, &Driver::write,
                                           [&]
                                           {
                                               done = driver->write(file->context, call.input.data(),
                                                                    static_cast<DWORD>(call.input.size()));
                                               return done != 0xFFFFFFFFu;
                                           });
        reply.putU32(result.ok);
        reply.putU32(result.error);
        reply.putU32(result.ok ? done : 0);
        break;
    }
    case Op::seek:
    {
        DWORD position = 0xFFFFFFFFu;
        SetLastError(0);
        if (!driver)
            invalidHandle();
        else if (!driver->seek)
            failFunction();
        else
            position =
                driver->seek(file->context, static_cast<LONG>(call.distance), static_cast<WORD>(call.method));
        reply.putU32(position);
        reply.putU32(static_cast<uint32_t>(GetLastError()));
        break;
    }
    default:
        break;
    }
}

void DeviceServer::openFile(Message& request, Message& reply, uint64_t connection)
{
    std::string name;
    uint32_t access = 0, share = 0;
    Driver* driver = nullptr;
    if (request.getText(name) && request.getU32(access) && request.getU32(share))
        driver = m_drivers.find(name);
    if (!driver)
    {
        reply.putU32(0);
        reply.putU32(ERROR_FILE_NOT_FOUND);
        reply.putU64(0);
        return;
    }
    DWORD_PTR context = 0;
    const CallResult result = runDriver(
        [&]
        {
            context = driver->open(driver->deviceContext, access, share);
            return context != 0;
        });
    uint64_t id = 0;
    if (result.ok)
    {
        auto file = std::make_shared<OpenFile>();
        file->driver = driver;
        file->context = context;
        file->connection = connection;
        std::lock_guard guard(m_lock);
        id = m_nextFileId++;
        m_files.emplace(id, std::move(file));
    }
    reply.putU32(result.ok);
    reply.putU32(result.error);
    reply.putU64(id);
}

void DeviceServer::closeFile(uint64_t id, Message& reply)
{
    std::shared_ptr<OpenFile> file;
    bool closeHere = false;
    {
        std::lock_guard guard(m_lock);
        auto it = m_files.find(id);
        if (it != m_files.end())
        {
            file = it->second;
            m_files.erase(it);
            file->closing = true;
            closeHere = file->callsInProgress == 0;
        }
    }
    if (!file)
    {
        reply.putU32(0);
        reply.putU32(ERROR_INVALID_HANDLE);
        return;
    }
    // With calls still running the driver's Close follows the last of them.
    const CallResult result =
        closeHere ? runDriver([&] { return closeNow(file) != FALSE; }) : CallResult{1, 0};
    reply.putU32(result.ok);
    reply.putU32(result.error);
}

BOOL DeviceServer::closeNow(const std::shared_ptr<OpenFile>& file)
{
    return file->driver->close(file->context);
}

void DeviceServer::closeFilesOf(uint64_t connection)
{
    std::vector<std::shared_ptr<OpenFile>> toClose;
    {
        std::lock_guard guard(m_lock);
        for (auto it = m_files.begin(); it != m_files.end();)
        {
            if (it->second->connection != connection)
            {
                ++it;
                continue;
            }
            it->second->closing = true;
            if (it->second->callsInProgress == 0)
                toClose.push_back(it->second);
            it = m_files.erase(it);
        }
    }
    for (auto& file : toClose)
        closeNow(file);
}

std::shared_ptr<DeviceServer::OpenFile> DeviceServer::beginCall(uint64_t id)
{
    std::lock_guard guard(m_lock);
    auto it = m_files.find(id);
    if (it == m_files.end() || it->second->closing)
        return nullptr;
    ++it->second->callsInProgress;
    return it->second;
}

void DeviceServer::endCall(const std::shared_ptr<OpenFile>& file)
{
    bool closeHere = false;
    {
        std::lock_guard guard(m_lock);
        closeHere = --file->callsInProgress == 0 && file->closing;
    }
    if (closeHere)
        closeNow(file);
}

} // namespace devmgr
