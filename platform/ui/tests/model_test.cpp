// The dialog model on the scripted host: order of work, prompts, nested dialogs,
// refused input and the data exchange.
#include "recording_dialog.h"

#include <ui/testing/scripted_host.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using ui::Command;
using ui::InputStatus;
using ui::testing::MessageRecord;
using ui::testing::ScriptedHost;
using uitest::RecordingDialog;

namespace
{
constexpr int kButton = 10;
constexpr int kOther = 11;

std::vector<std::string> without(std::vector<std::string> events, const std::string& prefix)
{
    std::erase_if(events, [&](const std::string& event) { return event.rfind(prefix, 0) == 0; });
    return events;
}

TEST(DialogTimers, FireInDueOrderOnTheFakeClock)
{
    ScriptedHost host;
    RecordingDialog dialog(100, "Timers");
    host.start(dialog);
    dialog.setTimer(1, 1000);
    dialog.setTimer(2, 1500);
    host.advance(3500ms);
    EXPECT_EQ(without(dialog.events(), "init"),
              (std::vector<std::string>{"timer 1 at 1000", "timer 2 at 1500", "timer 1 at 2000",
                                        "timer 1 at 3000", "timer 2 at 3000"}));

    // Setting a timer again starts its period anew; a killed timer stays quiet.
    RecordingDialog second(101, "Timers again");
    host.start(second);
    second.setTimer(1, 1000);
    host.advance(600ms);
    second.setTimer(1, 1000);
    second.setTimer(2, 200);
    host.advance(300ms);
    second.killTimer(2);
    host.advance(2000ms);
    EXPECT_EQ(without(second.events(), "init"),
              (std::vector<std::string>{"timer 2 at 4300", "timer 1 at 5100", "timer 1 at 6100"}));
}

TEST(DialogTimers, AClosedDialogGetsNoMoreTicks)
{
    ScriptedHost host;
    RecordingDialog dialog(100, "Timers");
    dialog.addButton(IDOK, "OK");
    host.start(dialog);
    dialog.setTimer(1, 100);
    host.advance(100ms);
    ASSERT_TRUE(host.click(dialog, IDOK).accepted());
    EXPECT_FALSE(dialog.isOpen());
    host.advance(1000ms);
    EXPECT_EQ(without(dialog.events(), "init"), (std::vector<std::string>{"timer 1 at 100", "ok"}));
}

TEST(DialogMessages, PostedMessagesRunAfterTheHandlerInOrderBeforeDueTimers)
{
    ScriptedHost host;
    RecordingDialog dialog(100, "Posts");
    dialog.addButton(kButton, "Post");
    dialog.onClick[kButton] = [&]
    {
        dialog.post(WM_USER + 1, 1);
        dialog.post(WM_USER + 1, 0);
        dialog.record("handler done");
    };
    dialog.onTimerHook = [&](int timer)
    {
        if (timer == 1)
            dialog.post(WM_USER + 1, 7);
    };
    host.start(dialog);
    ASSERT_TRUE(host.click(dialog, kButton).accepted());
    dialog.setTimer(1, 100);
    dialog.setTimer(2, 100);
    host.advance(100ms);
    EXPECT_EQ(without(dialog.events(), "init"),
              (std::vector<std::string>{"command 10 0", "handler done", "user 1025 1", "user 1025 0",
                                        "timer 1 at 100", "user 1025 7", "timer 2 at 100"}));
    // send runs at once.
    dialog.send(WM_USER + 1, 5);
    EXPECT_EQ(dialog.events().back(), "user 1025 5");
}

TEST(DialogPrompts, NestedModalWithAMessageBoxInsideAHandler)
{
    ScriptedHost host;
    RecordingDialog outer(100, "Outer");
    outer.addButton(kButton, "Open");
    RecordingDialog inner(200, "Inner");
    inner.addButton(kOther, "Ask");
    inner.addButton(IDOK, "OK");
    int innerResult = 0;
    int asked = 0;
    outer.onClick[kButton] = [&]
    {
        innerResult = host.runModal(inner);
        outer.record(ui::format("inner gave %d", innerResult));
    };
    inner.onClick[kOther] = [&]
    {
        asked = inner.messageBox("Sure?", "Question", MB_YESNO | MB_ICONQUESTION);
        if (asked == IDYES)
            inner.endDialog(IDOK);
    };
    host.onModal(200,
                 [&](ui::Dialog& dialog)
                 {
                     // The outer dialog takes no input while the inner one runs.
                     EXPECT_EQ(host.click(outer, kButton).status, InputStatus::Inactive);
                     EXPECT_TRUE(host.click(dialog, kOther).accepted());
                 });
    host.answer(IDYES, "Sure?");
    host.start(outer);
    ASSERT_TRUE(host.click(outer, kButton).accepted());

    EXPECT_EQ(asked, IDYES);
    EXPECT_EQ(innerResult, IDOK);
    EXPECT_EQ(host.messages(),
              (std::vector<MessageRecord>{{"Sure?", "Question", MB_YESNO | MB_ICONQUESTION}}));
    EXPECT_EQ(without(outer.events(), "init"), (std::vector<std::string>{"command 10 0", "inner gave 1"}));
    EXPECT_EQ(inner.events(), (std::vector<std::string>{"init", "command 11 0"}));
    EXPECT_EQ(host.stack(), std::vector<ui::Dialog*>{&outer});
    EXPECT_EQ(host.unusedScript(), 0u);
}

TEST(DialogPrompts, UnscriptedPromptsFailTheTest)
{
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedHost host;
            RecordingDialog dialog(100, "Lonely");
            host.start(dialog);
            EXPECT_EQ(dialog.messageBox("Nobody expects this", "Caption", MB_OK), IDCANCEL);
        },
        "unexpected message box \"Nobody expects this\"");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedHost host;
            RecordingDialog dialog(100, "Lonely");
            RecordingDialog nested(300, "Nested");
            host.start(dialog);
            host.runModal(nested);
        },
        "unexpected dialog 300");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedHost host;
            ui::Menu menu;
            menu.append(5, "Five");
            host.trackPopupMenu(menu, {});
        },
        "unexpected popup menu");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedHost host;
            host.answer(IDOK, "Expected text");
            RecordingDialog dialog(100, "Lonely");
            host.start(dialog);
            dialog.messageBox("Other text");
        },
        "Expected text");
}

TEST(DialogPrompts, MenusGiveTheScriptedCommand)
{
    ScriptedHost host;
    RecordingDialog dialog(100, "Menu");
    auto& list = dialog.addListView(1011);
    list.insertItem(0, "anna");
    int chosen = -1;
    dialog.onNotifyHook = [&](int, ui::Notify& notify)
    {
        if (notify.code != ui::NotifyCode::RightClick)
            return;
        ui::Menu menu;
        menu.append(32773, "Add user").append(32771, "Delete user", list.selectedCount() > 0);
        chosen = host.trackPopupMenu(menu, notify.point);
    };
    host.start(dialog);
    host.chooseMenu(32771);
    ASSERT_TRUE(host.rightClick(dialog, 1011, 0).accepted());
    EXPECT_EQ(chosen, 32771);
    EXPECT_TRUE(list.isSelected(0));
    ASSERT_EQ(host.menuPoints().size(), 1u);
    EXPECT_EQ(list.hitTest(host.menuPoints()[0]), 0);

    // With nothing selected the command is greyed: choosing it fails the test.
    ASSERT_TRUE(host.selectRows(dialog, 1011, {}).accepted());
    host.chooseMenu(32771);
    EXPECT_NONFATAL_FAILURE(host.rightClick(dialog, 1011, -1), "is not offered");
    EXPECT_EQ(chosen, 0);
}

struct RefusedCase
{
    const char* name;
    ui::Input input;
    InputStatus status;
};

TEST(DialogInput, RefusedInputLeavesTheModelAsItWas)
{
    ScriptedHost host;
    RecordingDialog dialog(100, "Input");
    dialog.addButton(kButton, "Button");
    dialog.addButton(kOther, "Disabled").enable(false);
    dialog.addCheckBox(12, "Hidden").show(false);
    dialog.addEdit(13, {.password = false, .number = true});
    dialog.addCombo(14).addString("one");
    dialog.addListView(15).insertItem(0, "row");
    dialog.addSlider(16).setRange(0, 10);
    dialog.addUpDown(17);
    dialog.addLabel(18, "Label");
    dialog.addEdit(19).setLimitText(3);
    host.start(dialog);

    using ui::InputType;
    const auto input = [](InputType type, int dialogId, int control)
    {
        ui::Input in;
        in.type = type;
        in.dialog = dialogId;
        in.control = control;
        return in;
    };
    auto withIndex = [](ui::Input in, int index)
    {
        in.index = index;
        return in;
    };
    auto withValue = [](ui::Input in, int value)
    {
        in.value = value;
        return in;
    };
    auto withText = [](ui::Input in, std::string text)
    {
        in.text = std::move(text);
        return in;
    };
    auto withRows = [](ui::Input in, std::vector<int> rows)
    {
        in.rows = std::move(rows);
        return in;
    };
    const RefusedCase cases[] = {
        {"unknown dialog", input(InputType::Click, 999, kButton), InputStatus::Refused},
        {"unknown control", input(InputType::Click, 100, 999), InputStatus::Refused},
        {"click on a label", input(InputType::Click, 100, 18), InputStatus::Refused},
        {"text into a button", withText(input(InputType::Text, 100, kButton), "x"), InputStatus::Refused},
        {"letters into a number field", withText(input(InputType::Text, 100, 13), "12a"),
         InputStatus::Refused},
        {"text over the field's limit", withText(input(InputType::Text, 100, 19), "abcd"),
         InputStatus::Refused},
        {"two characters beyond 16 bits over a limit of 3",
         withText(input(InputType::Text, 100, 19), "\U0001F600\U0001F600"), InputStatus::Refused},
        {"text into a plain list", withText(input(InputType::Text, 100, 14), "x"), InputStatus::Refused},
        {"combo item past the end", withIndex(input(InputType::Select, 100, 14), 1), InputStatus::Refused},
        {"combo item -1", withIndex(input(InputType::Select, 100, 14), -1), InputStatus::Refused},
        {"list row past the end", withRows(input(InputType::Select, 100, 15), {0, 1}), InputStatus::Refused},
        {"double click past the end", withIndex(input(InputType::DoubleClick, 100, 15), 1),
         InputStatus::Refused},
        {"slider out of range", withValue(input(InputType::Slider, 100, 16), 11), InputStatus::Refused},
        {"arrow of 2", withValue(input(InputType::UpDown, 100, 17), 2), InputStatus::Refused},
        {"no such key", withValue(input(InputType::Key, 100, 0), 0), InputStatus::Refused},
        {"answer without a prompt", input(InputType::Answer, 0, 0), InputStatus::Refused},
        {"disabled button", input(InputType::Click, 100, kOther), InputStatus::Inactive},
        {"hidden check box", input(InputType::Click, 100, 12), InputStatus::Inactive},
    };
    const ui::Snapshot before = host.describe();
    const auto eventsBefore = dialog.events();
    for (const RefusedCase& row : cases)
    {
        SCOPED_TRACE(row.name);
        const ui::InputResult result = host.input(row.input);
        EXPECT_EQ(result.status, row.status);
        EXPECT_FALSE(result.error.empty());
    }
    EXPECT_TRUE(host.describe().sameContent(before));
    EXPECT_EQ(dialog.events(), eventsBefore);
    EXPECT_TRUE(host.click(dialog, kButton).accepted());
    EXPECT_TRUE(host.type(dialog, 19, "\u00e4\u00f6\u00fc").accepted())
        << "three characters of two bytes each";
    EXPECT_EQ(host.type(dialog, 19, "abcd").error, "The field takes at most 3 characters.");
}

TEST(DialogInput, ChildPagesTakeInputWhileShownAndEnterReachesTheOwner)
{
    ScriptedHost host;
    RecordingDialog main(102, "Main");
    main.addTab(1000);
    main.addButton(1012, "OK");
    main.setOkCancelIds(1012, 1011);
    RecordingDialog first(133, "First");
    first.addCheckBox(1, "Option");
    RecordingDialog second(103, "Second");
    second.addEdit(5);
    host.start(main);
    main.createChild(first, 1000);
    main.createChild(second, 1000);
    second.show(false);
    EXPECT_EQ(first.events(), std::vector<std::string>{"init"});
    EXPECT_EQ(first.parent(), &main);

    EXPECT_TRUE(host.click(first, 1).accepted());
    EXPECT_TRUE(first.isChecked(1));
    EXPECT_EQ(host.type(second, 5, "x").status, InputStatus::Inactive);
    second.show(true);
    EXPECT_TRUE(host.type(second, 5, "x").accepted());
    EXPECT_EQ(second.events().back(), "command 5 1");

    const ui::Snapshot snapshot = host.describe();
    ASSERT_EQ(snapshot.dialogs.size(), 1u);
    ASSERT_EQ(snapshot.dialogs[0].children.size(), 2u);
    EXPECT_EQ(snapshot.dialogs[0].children[1].anchor, 1000);

    // Enter on a page presses the main dialog's OK, which closes it and its pages.
    EXPECT_TRUE(host.key(second, 5, VK_RETURN).accepted());
    EXPECT_EQ(main.events().back(), "ok");
    EXPECT_FALSE(main.isOpen());
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(main.result(), IDOK);
    EXPECT_TRUE(host.stack().empty());
}

class BoundedDialog : public RecordingDialog
{
public:
    BoundedDialog() : RecordingDialog(158, "Orx Router")
    {
        addEdit(1110);
        addCheckBox(1111, "Flag");
        addCombo(1112).addString("seconds");
        combo(1112).addString("minutes");
        addButton(IDOK, "OK");
    }
    void doDataExchange(ui::DataExchange& exchange) override
    {
        exchange.integer(1110, m_byte, 0, 255);
        exchange.check(1111, m_flag);
        exchange.comboText(1112, m_unit);
    }
    int m_byte = 7;
    int m_flag = 1;
    std::string m_unit = "min";
};

TEST(DialogDataExchange, BoundsRefuseWithAMessageAndKeepTheDialogOpen)
{
    ScriptedHost host;
    BoundedDialog dialog;
    host.start(dialog);
    ASSERT_TRUE(dialog.updateData(false));
    EXPECT_EQ(dialog.itemText(1110), "7");
    EXPECT_TRUE(dialog.isChecked(1111));
    EXPECT_EQ(dialog.combo(1112).curSel(), 1);

    const struct
    {
        const char* typed;
        const char* message;
    } refused[] = {{"256", "Enter a whole number from 0 to 255."},
                   {"-1", "Enter a whole number from 0 to 255."},
                   {"12x", "Enter a whole number."},
                   {"", "Enter a whole number."},
                   {"99999999999999999999", "Enter a whole number."}};
    for (const auto& row : refused)
    {
        SCOPED_TRACE(row.typed);
        host.answer(IDOK, std::string(row.message));
        ASSERT_TRUE(host.type(dialog, 1110, row.typed).accepted());
        ASSERT_TRUE(host.click(dialog, IDOK).accepted());
        EXPECT_TRUE(dialog.isOpen());
        EXPECT_EQ(host.messages().back().flags, MB_OK | MB_ICONEXCLAMATION);
        EXPECT_EQ(dialog.m_byte, 7);
    }
    ASSERT_TRUE(host.type(dialog, 1110, " 255 ").accepted());
    ASSERT_TRUE(host.click(dialog, 1111).accepted());
    ASSERT_TRUE(host.select(dialog, 1112, 0).accepted());
    ASSERT_TRUE(host.click(dialog, IDOK).accepted());
    EXPECT_FALSE(dialog.isOpen());
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(dialog.m_byte, 255);
    EXPECT_EQ(dialog.m_flag, 0);
    EXPECT_EQ(dialog.m_unit, "seconds");
    EXPECT_EQ(host.unusedScript(), 0u);
}

TEST(DialogText, FormatAndStringTables)
{
    EXPECT_EQ(ui::format("Vendor: %s", "ACME"), "Vendor: ACME");
    EXPECT_EQ(ui::format("%dh:%dm:%ds", 1, 2, 5), "1h:2m:5s");
    EXPECT_EQ(ui::format("%s", std::string(5000, 'x').c_str()).size(), 5000u);
    const ui::StringTable table{{1, "Corvanta Zr Configuration Tool"}, {2, "Not recognized"}};
    EXPECT_EQ(table.load(2), "Not recognized");
    EXPECT_EQ(table.load(3), "");
    EXPECT_TRUE(table.contains(1));
}
} // namespace
