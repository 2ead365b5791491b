// The host of a running program. The thread that calls runModal is the UI thread: it
// pumps posted messages, renderer input and timers until the dialog ends, also inside
// message boxes, popup menus and nested dialogs, as the device's modal loops do.
// Renderers submit input from their own threads and read the state as versioned
// snapshots, published after every event that changed it.
#pragma once

#include <ui/host.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>

namespace ui
{
class LiveHost final : public Host
{
public:
    // The clock must outlive the host; by default the steady clock.
    LiveHost();
    explicit LiveHost(Clock& clock);
    ~LiveHost() override;

    int runModal(Dialog& dialog) override;
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int trackPopupMenu(const Menu& menu, Point point) override;

    // Any thread. The answer comes once the UI thread has checked the input, before
    // the handlers run, so a handler that opens a prompt does not hold it up.
    std::future<InputResult> submit(Input input);
    std::shared_ptr<const Snapshot> snapshot() const;
    uint64_t version() const { return m_version.load(); }
    // Called on the UI thread after each new snapshot (set it before runModal).
    void setPublishListener(std::function<void()> listener);
    // Any thread: every modal loop and prompt returns (IDCANCEL, 0), no input is taken
    // any more, and runModal returns at once from now on.
    void quit();
    bool quitting() const { return m_quit.load(); }

private:
    // Runs what is due, or waits for the next event or timer.
    void pumpOnce();
    // Shows a message box or menu and pumps until it is answered.
    int prompt(Overlay overlay);
    void publish();
    void wakeFromClock();

    std::atomic<bool> m_quit{false};
    std::atomic<uint64_t> m_version{0};
    mutable std::mutex m_snapshotMutex;
    std::shared_ptr<const Snapshot> m_snapshot;
    std::mutex m_listenerMutex;
    std::function<void()> m_listener;
    uint64_t m_clockMoves = 0; // under the queue's lock
    int m_depth = 0;           // modal loops running; under the queue's lock
};
} // namespace ui
