#include <ui/host.h>

#include <algorithm>

namespace ui
{
Menu& Menu::append(int id, std::string text, bool enabled)
{
    items.push_back(MenuItem{id, std::move(text), enabled, false});
    return *this;
}

Menu& Menu::separator()
{
    items.push_back(MenuItem{0, {}, false, true});
    return *this;
}

void Menu::enable(int id, bool enabled)
{
    for (MenuItem& item : items)
    {
        if (item.id == id && !item.separator)
            item.enabled = enabled;
    }
}

std::vector<Choice> messageBoxChoices(unsigned flags)
{
    switch (flags & MB_TYPEMASK)
    {
    case MB_OKCANCEL:
        return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO:
        return {{IDYES, "Yes"}, {IDNO, "No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    default:
        return {{IDOK, "OK"}};
    }
}

Host::Host(Clock& clock) : m_clock(clock) {}

Host::~Host()
{
    for (Dialog* dialog : m_known)
        dialog->m_host = nullptr;
}

void Host::post(Dialog& target, unsigned message, intptr_t param)
{
    {
        std::lock_guard lock(m_queueMutex);
        m_posted.push_back(Posted{&target, message, param, std::nullopt, nullptr});
    }
    m_queueChanged.notify_all();
}

bool Host::queueInputWhile(const std::function<bool()>& condition, Input input,
                           std::shared_ptr<std::promise<InputResult>> reply)
{
    {
        std::lock_guard lock(m_queueMutex);
        if (!condition())
            return false;
        m_posted.push_back(Posted{nullptr, 0, 0, std::move(input), std::move(reply)});
    }
    m_queueChanged.notify_all();
    return true;
}

void Host::setTimer(Dialog& dialog, int timerId, unsigned periodMilliseconds)
{
    {
        std::lock_guard lock(m_queueMutex);
        const Milliseconds period(std::max(1u, periodMilliseconds));
        const Milliseconds due = m_clock.now() + period;
        auto existing =
            std::find_if(m_timers.begin(), m_timers.end(),
                         [&](const Timer& timer) { return timer.dialog == &dialog && timer.id == timerId; });
        if (existing != m_timers.end())
        {
            existing->period = period;
            existing->due = due;
            existing->order = m_timerOrder++;
        }
        else
        {
            m_timers.push_back(Timer{&dialog, timerId, period, due, m_timerOrder++});
        }
    }
    m_queueChanged.notify_all();
}

void Host::killTimer(Dialog& dialog, int timerId)
{
    std::lock_guard lock(m_queueMutex);
    std::erase_if(m_timers,
                  [&](const Timer& timer) { return timer.dialog == &dialog && timer.id == timerId; });
}

void Host::dropQueued(const Dialog& dialog)
{
    std::lock_guard lock(m_queueMutex);
    std::erase_if(m_timers, [&](const Timer& timer) { return timer.dialog == &dialog; });
    std::erase_if(m_posted, [&](const Posted& posted) { return posted.target == &dialog; });
}

void Host::open(Dialog& dialog)
{
    dialog.attach(*this, nullptr, 0);
    if (std::find(m_known.begin(), m_known.end(), &dialog) == m_known.end())
        m_known.push_back(&dialog);
    m_stack.push_back(&dialog);
    dialog.onInit();
}

void Host::openChild(Dialog& parent, Dialog& child, int anchorControl)
{
    child.attach(*this, &parent, anchorControl);
    if (std::find(m_known.begin(), m_known.end(), &child) == m_known.end())
        m_known.push_back(&child);
    child.onInit();
}

void Host::close(Dialog& dialog)
{
    m_stack.erase(std::remove(m_stack.begin(), m_stack.end(), &dialog), m_stack.end());
    dialog.closeTree();
    // A closed window takes no more timers or messages, nor do its children.
    std::vector<const Dialog*> tree{&dialog};
    for (size_t i = 0; i < tree.size(); ++i)
    {
        for (const Dialog* child : tree[i]->children())
            tree.push_back(child);
    }
    for (const Dialog* closed : tree)
        dropQueued(*closed);
}

void Host::forget(Dialog& dialog)
{
    m_stack.erase(std::remove(m_stack.begin(), m_stack.end(), &dialog), m_stack.end());
    m_known.erase(std::remove(m_known.begin(), m_known.end(), &dialog), m_known.end());
    dropQueued(dialog);
}

Host::Pending& Host::pushOverlay(Overlay overlay)
{
    Pending pending;
    pending.id = m_nextOverlay++;
    overlay.id = pending.id;
    pending.overlay = std::move(overlay);
    m_overlays.push_back(std::move(pending));
    return m_overlays.back();
}

void Host::popOverlay(int id)
{
    std::erase_if(m_overlays, [id](const Pending& pending) { return pending.id == id; });
}

const Host::Pending* Host::findOverlay(int id) const
{
    for (const Pending& pending : m_overlays)
    {
        if (pending.id == id)
            return &pending;
    }
    return nullptr;
}

void Host::answer(int overlayId, int value)
{
    for (Pending& pending : m_overlays)
    {
        if (pending.id == overlayId)
            pending.answer = value;
    }
}

bool Host::runOne()
{
    std::unique_lock lock(m_queueMutex);
    if (!m_posted.empty())
    {
        Posted posted = std::move(m_posted.front());
        m_posted.pop_front();
        lock.unlock();
        if (posted.input)
        {
            const InputResult result = validate(*posted.input);
            posted.reply->set_value(result);
            if (result.accepted())
                apply(*posted.input);
        }
        else if (posted.target->isOpen())
        {
            posted.target->onUser(posted.message, posted.param);
        }
        return true;
    }
    const Milliseconds now = m_clock.now();
    Timer* next = nullptr;
    for (Timer& timer : m_timers)
    {
        if (timer.due <= now &&
            (!next || timer.due < next->due || (timer.due == next->due && timer.order < next->order)))
            next = &timer;
    }
    if (!next)
        return false;
    Dialog* dialog = next->dialog;
    const int id = next->id;
    // Ticks missed while the thread was busy come as one, as the device's timers do.
    next->due += next->period;
    if (next->due <= now)
        next->due = now + next->period;
    lock.unlock();
    dialog->onTimer(id);
    return true;
}

bool Host::hasPosted() const
{
    std::lock_guard lock(m_queueMutex);
    return !m_posted.empty();
}

std::optional<Milliseconds> Host::nextDue() const
{
    std::lock_guard lock(m_queueMutex);
    std::optional<Milliseconds> due;
    for (const Timer& timer : m_timers)
    {
        if (!due || timer.due < *due)
            due = timer.due;
    }
    return due;
}

Snapshot Host::describe() const
{
    Snapshot snapshot;
    snapshot.running = !m_stack.empty();
    for (const Dialog* dialog : m_stack)
    {
        DialogState state = dialog->describe();
        state.active = dialog == m_stack.back() && m_overlays.empty();
        snapshot.dialogs.push_back(std::move(state));
    }
    for (const Pending& pending : m_overlays)
        snapshot.overlays.push_back(pending.overlay);
    return snapshot;
}
} // namespace ui
