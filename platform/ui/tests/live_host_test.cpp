// The live host: a UI thread that pumps while other threads send input, as the web
// renderer does. These tests also run under ThreadSanitizer.
#include "recording_dialog.h"

#include <ui/live_host.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using ui::InputStatus;
using ui::InputType;
using ui::LiveHost;
using uitest::RecordingDialog;

namespace
{
// Waits, with a generous limit, until the published snapshot satisfies the condition.
std::shared_ptr<const ui::Snapshot> waitFor(const LiveHost& host,
                                            const std::function<bool(const ui::Snapshot&)>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    for (;;)
    {
        auto snapshot = host.snapshot();
        if (condition(*snapshot) || std::chrono::steady_clock::now() > deadline)
            return snapshot;
        std::this_thread::sleep_for(2ms);
    }
}

ui::InputResult submit(LiveHost& host, ui::Input input)
{
    auto reply = host.submit(std::move(input));
    if (reply.wait_for(60s) != std::future_status::ready)
        return {InputStatus::Busy, "no answer"};
    return reply.get();
}

ui::Input click(int dialog, int control)
{
    ui::Input input;
    input.type = InputType::Click;
    input.dialog = dialog;
    input.control = control;
    return input;
}

ui::Input answer(int overlay, int value)
{
    ui::Input input;
    input.type = InputType::Answer;
    input.overlay = overlay;
    input.value = value;
    return input;
}

TEST(LiveHost, NestedModalWithAMessageBoxInsideAHandler)
{
    LiveHost host;
    RecordingDialog outer(100, "Outer");
    outer.addButton(10, "Open");
    outer.addLabel(20, "before");
    outer.addButton(IDOK, "OK");
    RecordingDialog inner(200, "Inner");
    inner.addButton(11, "Ask");
    outer.onClick[10] = [&]
    {
        const int result = host.runModal(inner);
        outer.setItemText(20, ui::format("inner gave %d", result));
    };
    inner.onClick[11] = [&]
    {
        const int asked = inner.messageBox("Reset now?", "Reset Device?", MB_YESNO | MB_ICONINFORMATION);
        inner.endDialog(asked == IDYES ? 77 : 78);
    };
    std::atomic<int> result{0};
    std::thread ui([&] { result = host.runModal(outer); });
    waitFor(host, [](const ui::Snapshot& s) { return !s.dialogs.empty(); });

    ASSERT_TRUE(submit(host, click(100, 10)).accepted());
    auto snapshot = waitFor(host, [](const ui::Snapshot& s) { return s.dialogs.size() == 2; });
    ASSERT_EQ(snapshot->dialogs.size(), 2u);
    EXPECT_FALSE(snapshot->dialogs[0].active);
    EXPECT_TRUE(snapshot->dialogs[1].active);
    EXPECT_EQ(submit(host, click(100, IDOK)).status, InputStatus::Inactive);

    ASSERT_TRUE(submit(host, click(200, 11)).accepted());
    snapshot = waitFor(host, [](const ui::Snapshot& s) { return !s.overlays.empty(); });
    ASSERT_EQ(snapshot->overlays.size(), 1u);
    const ui::Overlay prompt = snapshot->overlays[0];
    EXPECT_EQ(prompt.text, "Reset now?");
    EXPECT_EQ(prompt.caption, "Reset Device?");
    EXPECT_EQ(prompt.choices.size(), 2u);
    EXPECT_FALSE(snapshot->dialogs[1].active);
    // While the prompt waits, only its answer counts, and only with a button it has.
    EXPECT_EQ(submit(host, click(200, 11)).status, InputStatus::Inactive);
    EXPECT_EQ(submit(host, answer(prompt.id, IDOK)).status, InputStatus::Refused);
    EXPECT_EQ(submit(host, answer(prompt.id + 1, IDYES)).status, InputStatus::Refused);
    ASSERT_TRUE(submit(host, answer(prompt.id, IDYES)).accepted());

    snapshot = waitFor(host, [](const ui::Snapshot& s)
                       { return s.dialogs.size() == 1 && s.dialogs[0].controls[1].text == "inner gave 77"; });
    EXPECT_EQ(snapshot->dialogs[0].controls[1].text, "inner gave 77");
    EXPECT_TRUE(snapshot->overlays.empty());
    ASSERT_TRUE(submit(host, click(100, IDOK)).accepted());
    ui.join();
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(host.snapshot()->running);
    EXPECT_EQ(submit(host, click(100, IDOK)).status, InputStatus::Refused);
}

TEST(LiveHost, RendererInputWhileTimersFire)
{
    ui::FakeClock clock;
    LiveHost host(clock);
    RecordingDialog dialog(100, "Busy");
    dialog.addEdit(1007);
    dialog.addLabel(1002, "ticks 0");
    dialog.addButton(IDOK, "OK");
    int ticks = 0;
    dialog.onTimerHook = [&](int) { dialog.setItemText(1002, ui::format("ticks %d", ++ticks)); };
    std::thread ui([&] { host.runModal(dialog); });
    waitFor(host, [](const ui::Snapshot& s) { return !s.dialogs.empty(); });
    // The timer is set on the UI thread, as programs set it in their start-up.
    ui::Input start;
    start.type = InputType::Key;
    start.dialog = 100;
    start.value = VK_SPACE;
    dialog.onNotifyHook = [&](int, ui::Notify&) { dialog.setTimer(1, 10); };
    ASSERT_TRUE(submit(host, start).accepted());

    std::atomic<bool> typing{true};
    std::thread ticker(
        [&]
        {
            while (typing)
            {
                clock.advance(10ms);
                std::this_thread::sleep_for(1ms);
            }
        });
    std::thread reader(
        [&]
        {
            while (typing)
                (void)host.snapshot()->dialogs.size();
        });
    constexpr int kInputs = 200;
    for (int i = 1; i <= kInputs; ++i)
    {
        ui::Input typed;
        typed.type = InputType::Text;
        typed.dialog = 100;
        typed.control = 1007;
        typed.text = std::to_string(i);
        ASSERT_TRUE(submit(host, typed).accepted());
    }
    auto snapshot = waitFor(
        host, [](const ui::Snapshot& s)
        { return s.dialogs[0].controls[0].text == "200" && s.dialogs[0].controls[1].text != "ticks 0"; });
    typing = false;
    ticker.join();
    reader.join();
    EXPECT_EQ(snapshot->dialogs[0].controls[0].text, std::to_string(kInputs));
    EXPECT_NE(snapshot->dialogs[0].controls[1].text, "ticks 0");
    const auto events = dialog.events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const std::string& e) { return e == "command 1007 1"; }),
              kInputs);
    ASSERT_TRUE(submit(host, click(100, IDOK)).accepted());
    ui.join();
}

TEST(LiveHost, QuitEndsTheLoopsAndThePrompts)
{
    LiveHost host;
    RecordingDialog dialog(100, "Quit");
    dialog.addButton(10, "Ask");
    int asked = -1;
    dialog.onClick[10] = [&] { asked = dialog.messageBox("Still there?", "", MB_OKCANCEL); };
    std::atomic<int> result{0};
    std::thread ui([&] { result = host.runModal(dialog); });
    waitFor(host, [](const ui::Snapshot& s) { return !s.dialogs.empty(); });
    ASSERT_TRUE(submit(host, click(100, 10)).accepted());
    waitFor(host, [](const ui::Snapshot& s) { return !s.overlays.empty(); });
    host.quit();
    ui.join();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(submit(host, click(100, 10)).status, InputStatus::Inactive);
    EXPECT_EQ(host.runModal(dialog), IDCANCEL);
}
} // namespace
