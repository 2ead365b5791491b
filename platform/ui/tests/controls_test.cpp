// The controls' own behaviour, driven through the scripted host where input matters.
#include "recording_dialog.h"

#include <ui/testing/scripted_host.h>

#include <gtest/gtest.h>

using ui::testing::ScriptedHost;
using uitest::RecordingDialog;

namespace
{
struct ArrowCase
{
    const char* name;
    int lower;
    int upper;
    int start;
    bool up;
    unsigned heldMs;
    int delta;    // as the notification reports it
    int position; // after the press
};

TEST(UpDown, DeltaFollowsTheRangeAsSixteenBitValuesAndTheAcceleration)
{
    const ArrowCase cases[] = {
        {"0..720 up", 0, 720, 5, true, 0, 1, 6},
        {"0..720 down", 0, 720, 5, false, 0, -1, 4},
        {"0..720 up at the top", 0, 720, 720, true, 0, 1, 720},
        {"0..720 down at the bottom", 0, 720, 0, false, 0, -1, 0},
        {"0..65535 is 0..-1: up counts down", 0, 65535, 0, true, 0, -1, -1},
        {"0..65535 down counts up", 0, 65535, -1, false, 0, 1, 0},
        {"default range 100..0: up counts down", 100, 0, 50, true, 0, -1, 49},
        {"held 2 s takes the second step", 0, 720, 10, true, 2000, 2, 12},
        {"held 5 s takes the third step", 0, 720, 10, true, 5000, 4, 14},
        {"held 4.9 s stays on the second step", 0, 720, 10, false, 4999, -2, 8},
    };
    for (const ArrowCase& row : cases)
    {
        SCOPED_TRACE(row.name);
        ScriptedHost host;
        RecordingDialog dialog(100, "Arrows");
        auto& arrows = dialog.addUpDown(1006);
        arrows.setRange(row.lower, row.upper);
        arrows.setAccel({{0, 1}, {2, 2}, {5, 4}});
        arrows.setPos(row.start);
        host.start(dialog);
        ASSERT_TRUE(host.arrow(dialog, 1006, row.up, row.heldMs).accepted());
        EXPECT_EQ(dialog.events().back(),
                  ui::format("notify 1006 %d item -1 position %d delta %d key 0",
                             static_cast<int>(ui::NotifyCode::UpDownDelta), row.start, row.delta));
        EXPECT_EQ(arrows.pos(), row.position);
    }
}

TEST(UpDown, AHandlerMayRefuseTheMove)
{
    ScriptedHost host;
    RecordingDialog dialog(100, "Arrows");
    auto& arrows = dialog.addUpDown(1087);
    arrows.setRange(0, 65535);
    dialog.onNotifyHook = [](int, ui::Notify& notify) { notify.handled = true; };
    host.start(dialog);
    ASSERT_TRUE(host.arrow(dialog, 1087, true).accepted());
    EXPECT_EQ(arrows.pos(), 0);
}

TEST(UpDown, FollowsItsBuddy)
{
    const struct
    {
        const char* typed;
        int position; // after typing; the last one was 30
    } cases[] = {{"100", 100},
                 {"  42 ", 42},
                 {"9999", 720},
                 {"-5", 0},
                 {"abc", 30},
                 {"", 30},
                 {"12abc", 30},
                 {"99999999999999999999", 720},
                 {"-99999999999999999999", 0}};
    for (const auto& row : cases)
    {
        SCOPED_TRACE(row.typed);
        ScriptedHost host;
        RecordingDialog dialog(100, "Buddy");
        dialog.addEdit(1007);
        auto& arrows = dialog.addUpDown(1006);
        arrows.setRange(0, 720);
        arrows.setBuddy(1007);
        arrows.setPos(30);
        host.start(dialog);
        EXPECT_EQ(dialog.itemText(1007), "30");
        ASSERT_TRUE(host.type(dialog, 1007, row.typed).accepted());
        EXPECT_EQ(arrows.pos(), row.position);
        // The arrow steps from the followed position and writes it back.
        ASSERT_TRUE(host.arrow(dialog, 1006, true).accepted());
        EXPECT_EQ(arrows.pos(), std::min(row.position + 1, 720));
        EXPECT_EQ(dialog.itemText(1007), std::to_string(std::min(row.position + 1, 720)));
    }
}

TEST(ComboBox, SortedEditableSelectionAndData)
{
    ScriptedHost host;
    RecordingDialog dialog(100, "Combo");
    auto& sorted = dialog.addCombo(1031, false, true);
    auto& typed = dialog.addCombo(1081, true, false);
    host.start(dialog);

    EXPECT_EQ(sorted.addString("On"), 0);
    EXPECT_EQ(sorted.addString("Off"), 0);
    EXPECT_EQ(sorted.addString("auto"), 0);
    EXPECT_EQ(sorted.addString("Zulu"), 3);
    EXPECT_EQ(sorted.itemText(1), "Off");
    EXPECT_EQ(sorted.findStringExact(-1, "on"), 2);
    EXPECT_EQ(sorted.findStringExact(-1, "O"), ui::ComboBox::kNone);
    EXPECT_EQ(sorted.findString(0, "o"), 1);
    EXPECT_EQ(sorted.findString(1, "o"), 2);
    EXPECT_EQ(sorted.findString(2, "o"), 1); // wraps round
    EXPECT_EQ(sorted.selectString(-1, "zu"), 3);
    EXPECT_EQ(sorted.text(), "Zulu");
    sorted.setText("Off"); // a plain list shows only its items
    EXPECT_EQ(sorted.curSel(), 1);
    sorted.setText("nothing like it"); // no such item: the selection stays
    EXPECT_EQ(sorted.curSel(), 1);
    EXPECT_EQ(sorted.text(), "Off");
    sorted.setCurSel(2);
    EXPECT_TRUE(sorted.deleteString(0));
    EXPECT_EQ(sorted.curSel(), 1);
    EXPECT_EQ(sorted.text(), "On");

    typed.addString("TCP");
    typed.setItemData(0, 6);
    typed.addString("UDP");
    typed.setItemData(1, 17);
    ASSERT_TRUE(host.select(dialog, 1081, 1).accepted());
    EXPECT_EQ(typed.itemData(typed.curSel()), 17);
    EXPECT_EQ(typed.text(), "UDP");
    ASSERT_TRUE(host.type(dialog, 1081, "47").accepted());
    EXPECT_EQ(typed.curSel(), ui::ComboBox::kNone);
    EXPECT_EQ(typed.text(), "47");
    EXPECT_EQ(dialog.events().back(), "command 1081 3");
    EXPECT_EQ(typed.itemData(5), 0);
}

TEST(ListView, RowsSelectionMarkAndHitTest)
{
    ScriptedHost host;
    RecordingDialog dialog(136, "List");
    auto& list = dialog.addListView(1011);
    list.setClientWidth(300);
    list.insertColumn(0, "NTLM User", list.clientWidth() - 75);
    list.insertColumn(1, "Enabled", 72);
    host.start(dialog);
    for (const char* name : {"anna", "bob", "carl"})
        list.insertItem(-1, name);
    list.setItemText(0, 1, "X");
    list.setItemData(1, 42);
    EXPECT_EQ(list.columnWidth(0), 225);
    EXPECT_EQ(list.itemText(0, 1), "X");
    EXPECT_EQ(list.itemText(1, 1), "");
    EXPECT_EQ(list.itemData(1), 42);

    ASSERT_TRUE(host.selectRows(dialog, 1011, {0, 2}, 2).accepted());
    EXPECT_EQ(list.selectedRows(), (std::vector<int>{0, 2}));
    EXPECT_EQ(list.selectionMark(), 2);
    // A right click on a selected row keeps the selection; on another row it selects that one.
    host.chooseMenu(0);
    dialog.onNotifyHook = [&](int, ui::Notify& notify)
    {
        if (notify.code == ui::NotifyCode::RightClick)
            host.trackPopupMenu(ui::Menu{}, notify.point);
    };
    ASSERT_TRUE(host.rightClick(dialog, 1011, 0).accepted());
    EXPECT_EQ(list.selectedCount(), 2);
    EXPECT_EQ(list.selectionMark(), 0);
    EXPECT_EQ(list.hitTest(host.menuPoints().back()), 0);
    host.chooseMenu(0);
    ASSERT_TRUE(host.rightClick(dialog, 1011, 1).accepted());
    EXPECT_EQ(list.selectedRows(), std::vector<int>{1});
    // A double click reports a point that hit-tests to its row.
    ui::Point clicked;
    dialog.onNotifyHook = [&](int, ui::Notify& notify) { clicked = notify.point; };
    ASSERT_TRUE(host.doubleClick(dialog, 1011, 2).accepted());
    EXPECT_EQ(list.hitTest(clicked), 2);
    EXPECT_EQ(list.hitTest({5, ui::ListView::kHeaderHeight - 1}), -1);
    EXPECT_EQ(list.hitTest({5, ui::ListView::kHeaderHeight + 3 * ui::ListView::kRowHeight}), -1);
    EXPECT_EQ(list.hitTest({300, ui::ListView::kHeaderHeight}), -1);

    // Deleting rows keeps the mark on its row, or clears it with the row.
    list.setSelectionMark(2);
    list.deleteItem(0);
    EXPECT_EQ(list.selectionMark(), 1);
    EXPECT_EQ(list.itemText(1, 0), "carl");
    list.deleteItem(1);
    EXPECT_EQ(list.selectionMark(), -1);
    list.insertItem(0, "new");
    EXPECT_EQ(list.itemText(0, 0), "new");
    EXPECT_EQ(list.itemText(1, 0), "bob");
}

TEST(Buttons, CheckBoxesToggleAndRadiosClearTheirGroup)
{
    ScriptedHost host;
    RecordingDialog dialog(131, "Radios");
    for (int id : {1001, 1002, 1003, 1004})
        dialog.addRadio(id, std::to_string(id), 1);
    dialog.addRadio(1001 + 100, "other group", 2).setChecked(true);
    dialog.addCheckBox(1089, "Enable");
    host.start(dialog);
    dialog.setChecked(1001, true);
    ASSERT_TRUE(host.click(dialog, 1003).accepted());
    EXPECT_EQ(dialog.isChecked(1001), false);
    EXPECT_EQ(dialog.isChecked(1003), true);
    EXPECT_EQ(dialog.isChecked(1101), true);
    ASSERT_TRUE(host.click(dialog, 1089).accepted());
    EXPECT_TRUE(dialog.isChecked(1089));
    ASSERT_TRUE(host.click(dialog, 1089).accepted());
    EXPECT_FALSE(dialog.isChecked(1089));
}

TEST(TabControl, ClicksAndKeys)
{
    ScriptedHost host;
    RecordingDialog dialog(102, "Tabs");
    auto& tabs = dialog.addTab(1000);
    for (const char* caption : {"General", "RAS Control", "FTP"})
        tabs.insertItem(-1, caption);
    tabs.setCurSel(0);
    host.start(dialog);
    const int selChange = static_cast<int>(ui::NotifyCode::SelChange);
    const int click = static_cast<int>(ui::NotifyCode::Click);
    const int keyDown = static_cast<int>(ui::NotifyCode::KeyDown);

    ASSERT_TRUE(host.select(dialog, 1000, 2).accepted());
    EXPECT_EQ(tabs.curFocus(), 2);
    auto events = dialog.events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2],
              ui::format("notify 1000 %d item 2 position 0 delta 0 key 0", selChange));
    EXPECT_EQ(events.back(), ui::format("notify 1000 %d item 2 position 0 delta 0 key 0", click));

    // Left moves by itself unless the dialog handles the key.
    ASSERT_TRUE(host.key(dialog, 1000, VK_LEFT).accepted());
    EXPECT_EQ(tabs.curSel(), 1);
    dialog.onNotifyHook = [](int, ui::Notify& notify)
    { notify.handled = notify.code == ui::NotifyCode::KeyDown; };
    ASSERT_TRUE(host.key(dialog, 1000, VK_LEFT).accepted());
    EXPECT_EQ(tabs.curSel(), 1);
    EXPECT_EQ(dialog.events().back(),
              ui::format("notify 1000 %d item -1 position 0 delta 0 key %d", keyDown, VK_LEFT));
    dialog.onNotifyHook = nullptr;
    ASSERT_TRUE(host.key(dialog, 1000, VK_LEFT).accepted());
    ASSERT_TRUE(host.key(dialog, 1000, VK_LEFT).accepted()); // the first stays first
    EXPECT_EQ(tabs.curSel(), 0);
    EXPECT_EQ(tabs.itemRect(1).left, ui::TabControl::kItemWidth);
}

TEST(Edit, PasswordsNeverReachTheSnapshot)
{
    ScriptedHost host;
    RecordingDialog dialog(130, "Dialog");
    dialog.addEdit(1014, {.password = true});
    host.start(dialog);
    ASSERT_TRUE(host.type(dialog, 1014, "secret").accepted());
    EXPECT_EQ(dialog.itemText(1014), "secret");
    const ui::Snapshot snapshot = host.describe();
    const ui::ControlState& state = snapshot.dialogs.at(0).controls.at(0);
    EXPECT_EQ(state.text, "");
    EXPECT_EQ(state.length, 6);
    EXPECT_TRUE(state.password);
}
} // namespace
