// The controls of a dialog. Every control has an id, a text, and the enabled, visible
// and checked states; the kinds add what they hold. Changes made by the program never
// send notifications: only input that reaches the host does (ui/host.h).
#pragma once

#include <ui/snapshot.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ui
{
class Dialog;

struct Point
{
    int x = 0;
    int y = 0;
};

struct Rect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

class Control
{
public:
    Control(Dialog& dialog, int id, ControlKind kind, std::string text);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    int id() const { return m_id; }
    ControlKind kind() const { return m_kind; }
    Dialog& dialog() const { return m_dialog; }

    const std::string& text() const { return m_text; }
    virtual void setText(std::string text) { m_text = std::move(text); }
    bool enabled() const { return m_enabled; }
    void enable(bool enabled = true) { m_enabled = enabled; }
    bool visible() const { return m_visible; }
    void show(bool visible = true) { m_visible = visible; }
    bool checked() const { return m_checked; }
    void setChecked(bool checked) { m_checked = checked; }

    // Layout for renderers: the group box the control is drawn in, and whether it
    // starts a line of its own (labels, groups and lists do by default).
    void setGroup(int groupBoxId) { m_group = groupBoxId; }
    int group() const { return m_group; }
    void setNewLine(bool newLine) { m_newLine = newLine; }

    // Takes input only when enabled and visible.
    bool interactive() const { return m_enabled && m_visible; }
    virtual void describe(ControlState& state) const;

private:
    Dialog& m_dialog;
    int m_id;
    ControlKind m_kind;
    std::string m_text;
    bool m_enabled = true;
    bool m_visible = true;
    bool m_checked = false;
    int m_group = 0;
    bool m_newLine;
};

class Label final : public Control
{
public:
    Label(Dialog& dialog, int id, std::string text) : Control(dialog, id, ControlKind::Label, std::move(text))
    {
    }
};

class Button final : public Control
{
public:
    Button(Dialog& dialog, int id, std::string text)
        : Control(dialog, id, ControlKind::Button, std::move(text))
    {
    }
};

// Toggles itself when clicked.
class CheckBox final : public Control
{
public:
    CheckBox(Dialog& dialog, int id, std::string text)
        : Control(dialog, id, ControlKind::CheckBox, std::move(text))
    {
    }
};

// Checks itself and clears the other radio buttons of its radio group when clicked.
class RadioButton final : public Control
{
public:
    RadioButton(Dialog& dialog, int id, std::string text, int radioGroup)
        : Control(dialog, id, ControlKind::Radio, std::move(text)), m_radioGroup(radioGroup)
    {
    }
    int radioGroup() const { return m_radioGroup; }

private:
    int m_radioGroup;
};

class GroupBox final : public Control
{
public:
    GroupBox(Dialog& dialog, int id, std::string text)
        : Control(dialog, id, ControlKind::GroupBox, std::move(text))
    {
    }
};

// Shows one image resource (a bitmap id) with the text as its description.
class Picture final : public Control
{
public:
    Picture(Dialog& dialog, int id, int image) : Control(dialog, id, ControlKind::Picture, {}), m_image(image)
    {
    }
    int image() const { return m_image; }
    void setImage(int image) { m_image = image; }
    void describe(ControlState& state) const override;

private:
    int m_image;
};

struct EditStyle
{
    bool password = false; // input hidden
    bool number = false;   // digits only
};

class Edit final : public Control
{
public:
    Edit(Dialog& dialog, int id, EditStyle style) : Control(dialog, id, ControlKind::Edit, {}), m_style(style)
    {
    }
    const EditStyle& style() const { return m_style; }
    // The most characters (UTF-16 units, as the registry counts them) that may be typed
    // in; 0 for no limit. Text the program sets is never cut.
    void setLimitText(size_t characters) { m_limit = characters; }
    size_t limitText() const { return m_limit; }
    // Why the text cannot be typed into it, as a sentence; empty when it can. A number
    // field takes digits only.
    std::string refusal(const std::string& text) const;
    void describe(ControlState& state) const override;

private:
    EditStyle m_style;
    size_t m_limit = 0;
};

// A drop-down list, or with an edit field a drop-down combo box. The text is the
// selected item's, or what was typed (then nothing is selected).
class ComboBox final : public Control
{
public:
    static constexpr int kNone = -1;

    ComboBox(Dialog& dialog, int id, bool editable, bool sorted)
        : Control(dialog, id, ControlKind::Combo, {}), m_editable(editable), m_sorted(sorted)
    {
    }
    bool editable() const { return m_editable; }
    bool sorted() const { return m_sorted; }

    // Sorted boxes place the item by its text, ignoring case; the index it got.
    int addString(std::string text);
    int insertString(int index, std::string text); // -1 appends
    bool deleteString(int index);
    void resetContent();
    int count() const { return static_cast<int>(m_items.size()); }
    std::string itemText(int index) const; // empty for a bad index
    bool setItemData(int index, intptr_t data);
    intptr_t itemData(int index) const; // 0 for a bad index

    int curSel() const { return m_selection; }
    // kNone clears the selection; an index out of range too, and gives false.
    bool setCurSel(int index);
    // The first item from start + 1 on (wrapping) equal to the text or starting with it,
    // ignoring case; kNone when none.
    int findStringExact(int start, const std::string& text) const;
    int findString(int start, const std::string& prefix) const;
    // Selects the first item that starts with the prefix; its index or kNone.
    int selectString(int start, const std::string& prefix);

    void setText(std::string text) override;
    void describe(ControlState& state) const override;

private:
    struct Item
    {
        std::string text;
        intptr_t data = 0;
    };
    int find(int start, const std::string& text, bool whole) const;

    bool m_editable;
    bool m_sorted;
    std::vector<Item> m_items;
    int m_selection = kNone;
};

// A report-view list: columns, rows of cells with a data value each, a multiple
// selection and a selection mark. Rows lie kRowHeight apart below a header, which
// gives hit tests their geometry.
class ListView final : public Control
{
public:
    static constexpr int kHeaderHeight = 20;
    static constexpr int kRowHeight = 18;

    ListView(Dialog& dialog, int id) : Control(dialog, id, ControlKind::ListView, {}) {}

    void setClientWidth(int width) { m_clientWidth = width; }
    int clientWidth() const { return m_clientWidth; }
    int insertColumn(int index, std::string title, int width);
    int columnCount() const { return static_cast<int>(m_columns.size()); }
    int columnWidth(int column) const;

    // -1 or past the end appends; the row's index.
    int insertItem(int index, std::string text);
    bool setItemText(int row, int column, std::string text);
    std::string itemText(int row, int column) const;
    bool setItemData(int row, intptr_t data);
    intptr_t itemData(int row) const;
    bool deleteItem(int row);
    void deleteAllItems();
    int itemCount() const { return static_cast<int>(m_rows.size()); }

    bool setSelected(int row, bool selected);
    bool isSelected(int row) const;
    void clearSelection();
    int selectedCount() const;
    std::vector<int> selectedRows() const; // in row order
    int selectionMark() const { return m_mark; }
    void setSelectionMark(int row) { m_mark = row; }

    Rect rowRect(int row) const;
    // The row at a point of the list's client area, -1 for none.
    int hitTest(Point point) const;

    void describe(ControlState& state) const override;

private:
    struct Row
    {
        std::vector<std::string> cells;
        intptr_t data = 0;
        bool selected = false;
    };
    std::vector<ListColumn> m_columns;
    std::vector<Row> m_rows;
    int m_mark = -1;
    int m_clientWidth = 400;
};

class Slider final : public Control
{
public:
    Slider(Dialog& dialog, int id, bool vertical)
        : Control(dialog, id, ControlKind::Slider, {}), m_vertical(vertical)
    {
    }
    void setRange(int low, int high);
    int rangeMin() const { return m_low; }
    int rangeMax() const { return m_high; }
    // Held within the range.
    void setPos(int position);
    int pos() const { return m_position; }
    void setTicFreq(int frequency) { m_tick = frequency; }
    bool vertical() const { return m_vertical; }
    void describe(ControlState& state) const override;

private:
    bool m_vertical;
    int m_low = 0;
    int m_high = 100;
    int m_position = 0;
    int m_tick = 0;
};

// Arrows that step a position within a range and, with a buddy, show it there as a
// number. The range is kept as 16-bit values, as the device keeps it: 0..65535 is
// 0..-1, whose up arrow counts down.
class UpDown final : public Control
{
public:
    struct Acceleration
    {
        unsigned seconds; // held this long,
        int increment;    // the arrow steps this much
    };

    UpDown(Dialog& dialog, int id) : Control(dialog, id, ControlKind::UpDown, {}) {}

    void setRange(int lower, int upper);
    int lower() const { return m_lower; }
    int upper() const { return m_upper; }
    void setAccel(std::vector<Acceleration> steps);
    const std::vector<Acceleration>& accel() const { return m_accel; }
    // The buddy edit shows the position; 0 detaches.
    void setBuddy(int editId);
    int buddy() const { return m_buddy; }

    // With a buddy the position follows its text first: a number is taken, held within
    // the range; text that is no number keeps the last position.
    int pos();
    void setPos(int position);

    // The signed step of one arrow press held for the given time: the acceleration's
    // increment, negated when the range runs downwards.
    int delta(bool up, unsigned heldMilliseconds) const;
    // Moves by a step, within the range, and shows the position in the buddy.
    void step(int delta);

    void describe(ControlState& state) const override;

private:
    int clamp(long long value) const;
    void showInBuddy();

    int m_lower = 100; // the device's default range, 100..0
    int m_upper = 0;
    int m_position = 0;
    int m_buddy = 0;
    std::vector<Acceleration> m_accel{{0, 1}};
};

// Tab items with a data value each, the selected and the focused item.
class TabControl final : public Control
{
public:
    static constexpr int kItemWidth = 100;
    static constexpr int kItemHeight = 24;

    TabControl(Dialog& dialog, int id) : Control(dialog, id, ControlKind::Tab, {}) {}

    int insertItem(int index, std::string text, intptr_t data = 0);
    int itemCount() const { return static_cast<int>(m_items.size()); }
    std::string itemText(int index) const;
    intptr_t itemData(int index) const;
    bool deleteItem(int index);
    int curSel() const { return m_selection; }
    bool setCurSel(int index);
    int curFocus() const { return m_focus; }
    bool setCurFocus(int index);

    // Geometry of the items in one row along the top, and of the client area.
    void setClientSize(int width, int height);
    Rect clientRect() const { return {0, 0, m_width, m_height}; }
    Rect itemRect(int index) const;

    void describe(ControlState& state) const override;

private:
    struct Item
    {
        std::string text;
        intptr_t data = 0;
    };
    std::vector<Item> m_items;
    int m_selection = -1;
    int m_focus = -1;
    int m_width = 600;
    int m_height = 400;
};
} // namespace ui
