#include <ui/live_host.h>

namespace ui
{
namespace
{
// However long the next timer is off, the loop looks again this often.
constexpr Milliseconds kLongestWait{1000};
} // namespace

LiveHost::LiveHost() : LiveHost(steadyClock()) {}

LiveHost::LiveHost(Clock& clock) : Host(clock), m_snapshot(std::make_shared<const Snapshot>())
{
    if (&clock != &steadyClock())
        clock.setListener([this] { wakeFromClock(); });
}

LiveHost::~LiveHost()
{
    if (&clock() != &steadyClock())
        clock().setListener(nullptr);
}

int LiveHost::runModal(Dialog& dialog)
{
    if (m_quit)
        return IDCANCEL;
    {
        std::lock_guard lock(queueMutex());
        ++m_depth;
    }
    open(dialog);
    publish();
    while (dialog.isOpen() && !m_quit)
        pumpOnce();
    const int result = dialog.isOpen() ? IDCANCEL : dialog.result();
    close(dialog);
    bool last = false;
    {
        std::lock_guard lock(queueMutex());
        last = --m_depth == 0;
    }
    // Input that came while the last dialog ended is answered: there is nothing for it now.
    if (last)
    {
        while (hasPosted())
            runOne();
    }
    publish();
    return result;
}

int LiveHost::messageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    Overlay overlay;
    overlay.kind = OverlayKind::MessageBox;
    overlay.text = text;
    overlay.caption = caption;
    overlay.flags = flags;
    overlay.choices = messageBoxChoices(flags);
    return prompt(std::move(overlay));
}

int LiveHost::trackPopupMenu(const Menu& menu, Point point)
{
    Overlay overlay;
    overlay.kind = OverlayKind::Menu;
    overlay.x = point.x;
    overlay.y = point.y;
    for (const MenuItem& item : menu.items)
        overlay.choices.push_back(Choice{item.id, item.text, item.enabled, item.separator});
    return prompt(std::move(overlay));
}

int LiveHost::prompt(Overlay overlay)
{
    const int id = pushOverlay(std::move(overlay)).id;
    publish();
    int result = 0;
    while (!m_quit)
    {
        if (const Pending* pending = findOverlay(id); pending && pending->answer)
        {
            result = *pending->answer;
            break;
        }
        pumpOnce();
    }
    popOverlay(id);
    publish();
    return result;
}

std::future<InputResult> LiveHost::submit(Input input)
{
    auto reply = std::make_shared<std::promise<InputResult>>();
    std::future<InputResult> answer = reply->get_future();
    if (m_quit)
    {
        reply->set_value({InputStatus::Inactive, "the program is ending"});
        return answer;
    }
    if (!queueInputWhile([this] { return m_depth > 0; }, std::move(input), reply))
        reply->set_value({InputStatus::Refused, "no dialog runs"});
    return answer;
}

std::shared_ptr<const Snapshot> LiveHost::snapshot() const
{
    std::lock_guard lock(m_snapshotMutex);
    return m_snapshot;
}

void LiveHost::setPublishListener(std::function<void()> listener)
{
    // Waits for a call in progress, so the old listener may go away on return.
    std::lock_guard lock(m_listenerMutex);
    m_listener = std::move(listener);
}

void LiveHost::quit()
{
    {
        std::lock_guard lock(queueMutex());
        m_quit = true;
    }
    queueChanged().notify_all();
}

void LiveHost::wakeFromClock()
{
    {
        std::lock_guard lock(queueMutex());
        ++m_clockMoves;
    }
    queueChanged().notify_all();
}

void LiveHost::pumpOnce()
{
    if (runOne())
    {
        publish();
        return;
    }
    const std::optional<Milliseconds> due = nextDue();
    std::unique_lock lock(queueMutex());
    if (!queueEmpty() || m_quit)
        return;
    Milliseconds wait = kLongestWait;
    if (due)
    {
        const Milliseconds now = clock().now();
        if (*due <= now)
            return;
        wait = std::min(wait, *due - now);
    }
    const uint64_t moves = m_clockMoves;
    queueChanged().wait_for(lock, wait, [&] { return !queueEmpty() || m_quit || m_clockMoves != moves; });
}

void LiveHost::publish()
{
    Snapshot next = describe();
    {
        std::lock_guard lock(m_snapshotMutex);
        if (m_snapshot->sameContent(next))
            return;
        next.version = m_snapshot->version + 1;
        m_snapshot = std::make_shared<const Snapshot>(std::move(next));
        m_version = m_snapshot->version;
    }
    std::lock_guard lock(m_listenerMutex);
    if (m_listener)
        m_listener();
}
} // namespace ui
