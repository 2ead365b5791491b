// The host of dialog tests: one thread, a fake clock, and prompts answered from a
// script. Input goes through the same checks and handling as a renderer's; every
// message box is recorded. A message box, menu or nested dialog that the test did
// not script fails the test.
#pragma once

#include <ui/host.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ui::testing
{
struct MessageRecord
{
    std::string text;
    std::string caption;
    unsigned flags = 0;
    bool operator==(const MessageRecord&) const = default;
};

class ScriptedHost final : public Host
{
public:
    ScriptedHost();
    ~ScriptedHost() override;

    FakeClock& fakeClock() { return m_clock; }

    // Script, consumed in order.
    // The next message box is answered with this button (and, when given, must show this text).
    void answer(int button, std::optional<std::string> expectedText = std::nullopt);
    // The next popup menu gives this command (0: dismissed).
    void chooseMenu(int command);
    // The next runModal of this dialog runs the script, which drives it with this host.
    void onModal(int resourceId, std::function<void(Dialog&)> script);
    const std::vector<MessageRecord>& messages() const { return m_messages; }
    const std::vector<Point>& menuPoints() const { return m_menuPoints; }
    // Script entries left over (a test usually expects none).
    size_t unusedScript() const;

    // Starts a dialog: onInit runs, and the dialog stays open until it ends.
    void start(Dialog& dialog);
    // Renderer input, then everything it posted.
    InputResult input(const Input& input);
    InputResult click(const Dialog& dialog, int control);
    InputResult type(const Dialog& dialog, int control, const std::string& text);
    InputResult select(const Dialog& dialog, int control, int index);
    InputResult selectRows(const Dialog& dialog, int control, std::vector<int> rows, int mark = -1);
    InputResult arrow(const Dialog& dialog, int control, bool up, unsigned heldMs = 0);
    InputResult slide(const Dialog& dialog, int control, int position);
    InputResult doubleClick(const Dialog& dialog, int control, int row);
    InputResult rightClick(const Dialog& dialog, int control, int row);
    InputResult key(const Dialog& dialog, int control, int virtualKey);
    InputResult close(const Dialog& dialog);
    // Moves the fake clock, firing due timers in order, with posted messages in between.
    void advance(Milliseconds step);
    // Runs the posted messages.
    void drain();

    int runModal(Dialog& dialog) override;
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int trackPopupMenu(const Menu& menu, Point point) override;

private:
    // Takes dialogs that ended off the stack.
    void closeEnded();

    FakeClock m_clock;
    std::deque<std::pair<int, std::optional<std::string>>> m_answers;
    std::deque<int> m_menuChoices;
    std::map<int, std::deque<std::function<void(Dialog&)>>> m_modalScripts;
    std::vector<MessageRecord> m_messages;
    std::vector<Point> m_menuPoints;
};
} // namespace ui::testing
