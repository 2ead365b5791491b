#include <ui/testing/scripted_host.h>

#include <gtest/gtest.h>

namespace ui::testing
{
namespace
{
Input inputFor(const Dialog& dialog, int control, InputType type)
{
    Input input;
    input.type = type;
    input.dialog = dialog.resourceId();
    input.control = control;
    return input;
}
} // namespace

ScriptedHost::ScriptedHost() : Host(m_clock) {}

ScriptedHost::~ScriptedHost() = default;

void ScriptedHost::answer(int button, std::optional<std::string> expectedText)
{
    m_answers.emplace_back(button, std::move(expectedText));
}

void ScriptedHost::chooseMenu(int command)
{
    m_menuChoices.push_back(command);
}

void ScriptedHost::onModal(int resourceId, std::function<void(Dialog&)> script)
{
    m_modalScripts[resourceId].push_back(std::move(script));
}

size_t ScriptedHost::unusedScript() const
{
    size_t unused = m_answers.size() + m_menuChoices.size();
    for (const auto& [id, scripts] : m_modalScripts)
        unused += scripts.size();
    return unused;
}

void ScriptedHost::start(Dialog& dialog)
{
    open(dialog);
    drain();
}

void ScriptedHost::closeEnded()
{
    for (;;)
    {
        const auto& dialogs = stack();
        auto ended =
            std::find_if(dialogs.begin(), dialogs.end(), [](Dialog* dialog) { return !dialog->isOpen(); });
        if (ended == dialogs.end())
            return;
        Host::close(**ended);
    }
}

void ScriptedHost::drain()
{
    while (hasPosted())
        runOne();
    closeEnded();
}

InputResult ScriptedHost::input(const Input& input)
{
    const InputResult result = validate(input);
    if (result.accepted())
        apply(input);
    drain();
    return result;
}

InputResult ScriptedHost::click(const Dialog& dialog, int control)
{
    return input(inputFor(dialog, control, InputType::Click));
}

InputResult ScriptedHost::type(const Dialog& dialog, int control, const std::string& text)
{
    Input typed = inputFor(dialog, control, InputType::Text);
    typed.text = text;
    return input(typed);
}

InputResult ScriptedHost::select(const Dialog& dialog, int control, int index)
{
    Input selected = inputFor(dialog, control, InputType::Select);
    selected.index = index;
    return input(selected);
}

InputResult ScriptedHost::selectRows(const Dialog& dialog, int control, std::vector<int> rows, int mark)
{
    Input selected = inputFor(dialog, control, InputType::Select);
    selected.rows = std::move(rows);
    selected.index = mark;
    return input(selected);
}

InputResult ScriptedHost::arrow(const Dialog& dialog, int control, bool up, unsigned heldMs)
{
    Input pressed = inputFor(dialog, control, InputType::UpDown);
    pressed.value = up ? 1 : -1;
    pressed.heldMs = heldMs;
    return input(pressed);
}

InputResult ScriptedHost::slide(const Dialog& dialog, int control, int position)
{
    Input moved = inputFor(dialog, control, InputType::Slider);
    moved.value = position;
    return input(moved);
}

InputResult ScriptedHost::doubleClick(const Dialog& dialog, int control, int row)
{
    Input clicked = inputFor(dialog, control, InputType::DoubleClick);
    clicked.index = row;
    return input(clicked);
}

InputResult ScriptedHost::rightClick(const Dialog& dialog, int control, int row)
{
    Input clicked = inputFor(dialog, control, InputType::RightClick);
    clicked.index = row;
    return input(clicked);
}

InputResult ScriptedHost::key(const Dialog& dialog, int control, int virtualKey)
{
    Input pressed = inputFor(dialog, control, InputType::Key);
    pressed.value = virtualKey;
    return input(pressed);
}

InputResult ScriptedHost::close(const Dialog& dialog)
{
    return input(inputFor(dialog, 0, InputType::Close));
}

void ScriptedHost::advance(Milliseconds step)
{
    const Milliseconds target = m_clock.now() + step;
    drain();
    for (;;)
    {
        const auto due = nextDue();
        if (!due || *due > target)
            break;
        if (*due > m_clock.now())
            m_clock.set(*due);
        runOne();
        drain();
    }
    m_clock.set(target);
    drain();
}

int ScriptedHost::runModal(Dialog& dialog)
{
    auto scripts = m_modalScripts.find(dialog.resourceId());
    if (scripts == m_modalScripts.end() || scripts->second.empty())
    {
        ADD_FAILURE() << "unexpected dialog " << dialog.resourceId() << " \"" << dialog.title() << "\"";
        return IDCANCEL;
    }
    auto script = std::move(scripts->second.front());
    scripts->second.pop_front();
    open(dialog);
    drain();
    if (dialog.isOpen())
        script(dialog);
    drain();
    if (dialog.isOpen())
    {
        ADD_FAILURE() << "dialog " << dialog.resourceId() << " left open by its script";
        dialog.endDialog(IDCANCEL);
    }
    Host::close(dialog);
    return dialog.result();
}

int ScriptedHost::messageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    m_messages.push_back(MessageRecord{text, caption, flags});
    if (m_answers.empty())
    {
        ADD_FAILURE() << "unexpected message box \"" << text << "\" (caption \"" << caption << "\", flags 0x"
                      << std::hex << flags << ")";
        return IDCANCEL;
    }
    const auto [button, expected] = m_answers.front();
    m_answers.pop_front();
    if (expected)
    {
        EXPECT_EQ(text, *expected) << "message box text";
    }
    return button;
}

int ScriptedHost::trackPopupMenu(const Menu& menu, Point point)
{
    m_menuPoints.push_back(point);
    if (m_menuChoices.empty())
    {
        ADD_FAILURE() << "unexpected popup menu with " << menu.items.size() << " items";
        return 0;
    }
    const int command = m_menuChoices.front();
    m_menuChoices.pop_front();
    const bool offered =
        command == 0 || std::any_of(menu.items.begin(), menu.items.end(),
                                    [&](const MenuItem& item)
                                    { return item.id == command && item.enabled && !item.separator; });
    EXPECT_TRUE(offered) << "menu command " << command << " is not offered";
    return offered ? command : 0;
}
} // namespace ui::testing
