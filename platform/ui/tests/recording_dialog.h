// A dialog that writes down every handler call, for the dialog model's tests.
#pragma once

#include <ui/dialog.h>
#include <ui/host.h>
#include <ui/text.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace uitest
{
class RecordingDialog : public ui::Dialog
{
public:
    using ui::Dialog::Dialog;

    // Extra work of a handler, run after the call is written down.
    std::map<int, std::function<void()>> onClick;
    std::function<void(int id, ui::Notify&)> onNotifyHook;
    std::function<void(int timer)> onTimerHook;

    std::vector<std::string> events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    void record(std::string event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }

    void onInit() override { record("init"); }
    void onCommand(int id, ui::Command code) override
    {
        record(ui::format("command %d %d", id, static_cast<int>(code)));
        if (auto hook = onClick.find(id); hook != onClick.end() && code == ui::Command::Clicked)
            hook->second();
    }
    void onNotify(int id, ui::Notify& notify) override
    {
        record(ui::format("notify %d %d item %d position %d delta %d key %d", id,
                          static_cast<int>(notify.code), notify.item, notify.position, notify.delta,
                          notify.key));
        if (onNotifyHook)
            onNotifyHook(id, notify);
    }
    void onTimer(int timer) override
    {
        record(ui::format("timer %d at %lld", timer, static_cast<long long>(host().clock().now().count())));
        if (onTimerHook)
            onTimerHook(timer);
    }
    intptr_t onUser(unsigned message, intptr_t param) override
    {
        record(ui::format("user %u %ld", message, static_cast<long>(param)));
        return 0;
    }
    void onOk() override
    {
        record("ok");
        ui::Dialog::onOk();
    }
    void onCancel() override
    {
        record("cancel");
        ui::Dialog::onCancel();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};
} // namespace uitest
