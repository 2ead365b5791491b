// cellpanel: the battery status dialog, shown as a local web page.
//   cellpanel [--port N]
// Prints the page's address and runs until the dialog is closed, or SIGINT or SIGTERM.
#include "cellpanel_dialog.h"

#include <ui/live_host.h>
#include <ui/web/web_renderer.h>

#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace
{
void usage(FILE* out)
{
    std::fprintf(out, "usage: cellpanel [--port N]\n"
                      "  Shows the battery status dialog at http://127.0.0.1:<port>/?token=...\n"
                      "  --port N  the port to listen on (default: any free port)\n");
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

int main(int argc, char** argv)
{
    ui::web::Options options;
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h")
        {
            usage(stdout);
            return 0;
        }
        if (argument == "--port" && i + 1 < argc && parsePort(argv[i + 1], options.port))
        {
            ++i;
            continue;
        }
        std::fprintf(stderr, "cellpanel: bad argument \"%s\"\n", argument.c_str());
        usage(stderr);
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

    ui::LiveHost host;
    ui::web::WebRenderer renderer(host, options);
    if (!renderer.start())
    {
        std::fprintf(stderr, "cellpanel: cannot listen on 127.0.0.1:%u\n", options.port);
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

    cellpanel::CCellpanelDlg dialog;
    host.runModal(dialog);

    pthread_kill(signalWaiter.native_handle(), SIGUSR1);
    signalWaiter.join();
    renderer.stop();
    return 0;
}
