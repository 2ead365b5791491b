// vosrouter: carries Orx messages between the ports of the device's processes
// and keeps the event log. Started on demand by the client library (--daemon);
// ends by itself once no process has been connected for a while.
//
//   vosrouter [--daemon] [--idle-exit SECONDS]   (0 = never end when idle; default 10)
//   vosrouter --stop                             asks a running router to end
#include "netid.h"
#include "router.h"

#include <os/deviceroot.h>


#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

int Usage()
{
    std::fprintf(stderr, "usage: vosrouter [--daemon] [--idle-exit SECONDS] | --stop\n");
    return 2;
}

void MakeDirs(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/')
            ::mkdir(path.substr(0, i).c_str(), 0755);
}

// Detaches from the starting process: it reaps the first child at once, the
// grandchild lives on with its standard streams on /dev/null.
bool Daemonize()
{
    pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid > 0)
        std::_Exit(0);
    ::setsid();
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0)
    {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (null > 2)
            ::close(null);
    }
    // Descriptors inherited from the starting process would keep its pipes open.
    ::close_range(3, ~0u, 0);
    return true;
}

int LockSingleInstance()
{
    int fd = os::openDeviceFile(vos::RouterLockPath(), O_RDWR | O_CREAT, 0644);
    if (fd < 0)
        return -1;
    struct flock fl
    {
    };
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &fl) != 0)
    {
        ::close(fd);
        return -1;
    }
    return fd;
}

int Listen()
{
    std::string path = vos::RouterSocketPath();
    sockaddr_un addr;
    socklen_t length = vos::RouterSocketAddress(addr);
    if (addr.sun_path[0] != '\0')
        ::unlink(path.c_str()); // left by a router that ended without cleaning up; we hold the lock
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0 || ::listen(fd, 64) != 0)
    {
        std::fprintf(stderr, "vosrouter: cannot listen on %s: %s\n", path.c_str(), std::strerror(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int main(int argc, char** argv)
{
    bool daemon = false;
    int idleExit = 10;
    for (int i = 1; i < argc; ++i)
    {
        std::string a = argv[i];
        if (a == "--daemon")
            daemon = true;
        else if (a == "--idle-exit" && i + 1 < argc)
            idleExit = std::atoi(argv[++i]);
        else if (a == "--stop")
            return vos::ShutdownRouter(10000) ? 0 : 1;
        else
            return Usage();
    }
    ::signal(SIGPIPE, SIG_IGN);
    std::string root = vos::DeviceRoot();
    MakeDirs(root);
    // A device root where the lock file cannot be made (read-only) can have no router: the
    // starting program hears it from the exit code at once instead of waiting for a socket.
    if (int probe = os::openDeviceFile(vos::RouterLockPath(), O_RDWR | O_CREAT, 0644); probe >= 0)
        ::close(probe);
    else
    {
        std::fprintf(stderr, "vosrouter: cannot open %s: %s\n", vos::RouterLockPath().c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (daemon && !Daemonize())
        return 1;
    int lock = LockSingleInstance();
    if (lock < 0)
        return 0; // another router serves this device root
    int listenFd = Listen();
    if (listenFd < 0)
        return 1;
    {
        const int pidFd = os::openDeviceFile(vos::RouterPidPath(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        FILE* pid = pidFd >= 0 ? ::fdopen(pidFd, "w") : nullptr;
        if (!pid && pidFd >= 0)
            ::close(pidFd);
        if (pid)
        {
            std::fprintf(pid, "%d\n", static_cast<int>(::getpid()));
            std::fclose(pid);
        }
    }
    vos::Router router(listenFd, vos::ReadLocalNetId(), idleExit);
    router.Run();
    // Refuse waiting connections before the lock is free, so that a client
    // retries and starts the next router instead of waiting on this one.
    ::close(listenFd);
    ::unlink(vos::RouterSocketPath().c_str());
    ::unlink(vos::RouterPidPath().c_str());
    ::close(lock);
    return 0;
}
