#include <ui/web/program.h>
#include <ui/web/web_renderer.h>

#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace ui::web
{
namespace
{
void usage(FILE* out, const Program& program)
{
    std::fprintf(out,
                 "usage: %s [--port N]\n"
                 "  %s at http://127.0.0.1:<port>/?token=...\n"
                 "  --port N  the port to listen on (default: any free port)\n",
                 program.name, program.description);
}

bool parsePort(const char* text, uint16_t& port)
{
    unsigned value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    if (*text == '\0' || error != std::errc() || stop != end || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}
} // namespace

int runDialogProgram(int argc, char** argv, const Program& program, const std::function<void(LiveHost&)>& run)
{
    Options options;
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h")
        {
            usage(stdout, program);
            return 0;
        }
        if (argument == "--port" && i + 1 < argc && parsePort(argv[i + 1], options.port))
        {
            ++i;
            continue;
        }
        std::fprintf(stderr, "%s: bad argument \"%s\"\n", program.name, argument.c_str());
        usage(stderr, program);
        return 2;
    }

    // Signals are taken by one thread, which ends the dialog in order; SIGUSR1 only
    // wakes it when the dialog ended by itself.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    LiveHost host;
    WebRenderer renderer(host, options);
    if (!renderer.start())
    {
        std::fprintf(stderr, "%s: cannot listen on 127.0.0.1:%u\n", program.name, options.port);
        return 1;
    }
    std::thread signalWaiter(
        [&]
        {
            int received = 0;
            sigwait(&signals, &received);
            if (received != SIGUSR1)
                host.quit();
        });
    std::printf("%s\n", renderer.url().c_str());
    std::fflush(stdout);

    run(host);

    pthread_kill(signalWaiter.native_handle(), SIGUSR1);
    signalWaiter.join();
    renderer.stop();
    return 0;
}
} // namespace ui::web
