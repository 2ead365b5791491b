// The local web renderer of the dialog programs: one generic page, built into the
// program, that shows whatever dialogs a LiveHost runs and sends the operator's input
// back. It listens on 127.0.0.1 only, through the platform's HTTP server.
//
//   GET  /?token=<t>               the page
//   GET  /api/state?since=<v>      the snapshot as JSON, parked (holding no worker) up
//                                  to 25 s until its version passes v
//   POST /api/input                one input event as a JSON object
//
// Every request needs the run's random token (the page in its query, the API in the
// header "X-Token") and a Host header of 127.0.0.1 or localhost with the port: 403
// otherwise. Input that is malformed or names what is not there is refused with 400,
// input for a dialog that does not take it now with 409, a body over 64 KiB with 413;
// a refused input leaves the dialogs as they were.
#pragma once

#include <ui/live_host.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ui::web
{
struct Options
{
    uint16_t port = 0; // 0: any free port
    std::string token; // empty: a random one
    std::chrono::milliseconds longPoll{25000};
};

class WebRenderer
{
public:
    WebRenderer(LiveHost& host, Options options = {});
    ~WebRenderer();
    WebRenderer(const WebRenderer&) = delete;
    WebRenderer& operator=(const WebRenderer&) = delete;

    // Binds 127.0.0.1 and serves; false when the port cannot be bound.
    bool start();
    // Wakes held requests and stops serving.
    void stop();
    uint16_t port() const;
    const std::string& token() const;
    // http://127.0.0.1:<port>/?token=<token>
    std::string url() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The snapshot as the page reads it.
std::string toJson(const Snapshot& snapshot);
// An input event from its JSON text; nothing, with the reason, when it is malformed.
std::optional<Input> inputFromJson(std::string_view text, std::string& error);
} // namespace ui::web
