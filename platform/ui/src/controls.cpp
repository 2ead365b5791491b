#include <ui/controls.h>
#include <ui/dialog.h>
#include <ui/text.h>

#include <algorithm>
#include <cctype>

namespace ui
{
namespace
{
bool startsOnItsOwnLine(ControlKind kind)
{
    switch (kind)
    {
    case ControlKind::Label:
    case ControlKind::GroupBox:
    case ControlKind::ListView:
    case ControlKind::Tab:
    case ControlKind::Slider:
        return true;
    default:
        return false;
    }
}

std::string folded(const std::string& text)
{
    std::string result = text;
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

template <class Items> bool validIndex(const Items& items, int index)
{
    return index >= 0 && index < static_cast<int>(items.size());
}
} // namespace

Control::Control(Dialog& dialog, int id, ControlKind kind, std::string text)
    : m_dialog(dialog), m_id(id), m_kind(kind), m_text(std::move(text)), m_newLine(startsOnItsOwnLine(kind))
{
}

void Control::describe(ControlState& state) const
{
    state.id = m_id;
    state.kind = m_kind;
    state.text = m_text;
    state.enabled = m_enabled;
    state.visible = m_visible;
    state.checked = m_checked;
    state.group = m_group;
    state.newLine = m_newLine;
}

void Picture::describe(ControlState& state) const
{
    Control::describe(state);
    state.image = m_image;
}

std::string Edit::refusal(const std::string& text) const
{
    if (m_style.number &&
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return "The field takes digits only.";
    // UTF-16 units: one for each character, two for one beyond 16 bits (a 4-byte sequence).
    size_t units = 0;
    for (const unsigned char c : text)
        units += (c & 0xC0) != 0x80 ? ((c & 0xF8) == 0xF0 ? 2 : 1) : 0;
    if (m_limit != 0 && units > m_limit)
        return format("The field takes at most %zu characters.", m_limit);
    return {};
}

void Edit::describe(ControlState& state) const
{
    Control::describe(state);
    state.password = m_style.password;
    state.number = m_style.number;
    state.limit = m_limit;
    if (m_style.password)
    {
        // Renderers never see a password, only how long it is.
        state.length = static_cast<int>(state.text.size());
        state.text.clear();
    }
}

// Combo box ----------------------------------------------------------------------

int ComboBox::addString(std::string text)
{
    if (!m_sorted)
        return insertString(-1, std::move(text));
    const std::string key = folded(text);
    const auto place = std::find_if(m_items.begin(), m_items.end(),
                                    [&](const Item& item) { return folded(item.text) > key; });
    return insertString(static_cast<int>(place - m_items.begin()), std::move(text));
}

int ComboBox::insertString(int index, std::string text)
{
    if (index < 0 || index > count())
        index = count();
    m_items.insert(m_items.begin() + index, Item{std::move(text), 0});
    if (m_selection >= index)
        ++m_selection;
    return index;
}

bool ComboBox::deleteString(int index)
{
    if (!validIndex(m_items, index))
        return false;
    m_items.erase(m_items.begin() + index);
    if (m_selection == index)
        setCurSel(kNone);
    else if (m_selection > index)
        --m_selection;
    return true;
}

void ComboBox::resetContent()
{
    m_items.clear();
    setCurSel(kNone);
}

std::string ComboBox::itemText(int index) const
{
    return validIndex(m_items, index) ? m_items[static_cast<size_t>(index)].text : std::string();
}

bool ComboBox::setItemData(int index, intptr_t data)
{
    if (!validIndex(m_items, index))
        return false;
    m_items[static_cast<size_t>(index)].data = data;
    return true;
}

intptr_t ComboBox::itemData(int index) const
{
    return validIndex(m_items, index) ? m_items[static_cast<size_t>(index)].data : 0;
}

bool ComboBox::setCurSel(int index)
{
    const bool valid = validIndex(m_items, index);
    m_selection = valid ? index : kNone;
    Control::setText(valid ? m_items[static_cast<size_t>(index)].text : std::string());
    return valid;
}

int ComboBox::find(int start, const std::string& text, bool whole) const
{
    const int total = count();
    const std::string key = folded(text);
    for (int step = 1; step <= total; ++step)
    {
        const int index = ((start < 0 ? -1 : start) + step) % total;
        const std::string item = folded(m_items[static_cast<size_t>(index)].text);
        if (whole ? item == key : item.compare(0, key.size(), key) == 0)
            return index;
    }
    return kNone;
}

int ComboBox::findStringExact(int start, const std::string& text) const
{
    return find(start, text, true);
}

int ComboBox::findString(int start, const std::string& prefix) const
{
    return find(start, prefix, false);
}

int ComboBox::selectString(int start, const std::string& prefix)
{
    const int index = findString(start, prefix);
    if (index != kNone)
        setCurSel(index);
    return index;
}

void ComboBox::setText(std::string text)
{
    if (!m_editable)
    {
        // A list without an edit field shows only its items.
        selectString(kNone, text);
        return;
    }
    m_selection = kNone;
    Control::setText(std::move(text));
}

void ComboBox::describe(ControlState& state) const
{
    Control::describe(state);
    state.editable = m_editable;
    state.selection = m_selection;
    for (const Item& item : m_items)
        state.items.push_back(item.text);
}

// List view ----------------------------------------------------------------------

int ListView::insertColumn(int index, std::string title, int width)
{
    if (index < 0 || index > columnCount())
        index = columnCount();
    m_columns.insert(m_columns.begin() + index, ListColumn{std::move(title), width});
    return index;
}

int ListView::columnWidth(int column) const
{
    return validIndex(m_columns, column) ? m_columns[static_cast<size_t>(column)].width : 0;
}

int ListView::insertItem(int index, std::string text)
{
    if (index < 0 || index > itemCount())
        index = itemCount();
    Row row;
    row.cells.push_back(std::move(text));
    m_rows.insert(m_rows.begin() + index, std::move(row));
    if (m_mark >= index)
        ++m_mark;
    return index;
}

bool ListView::setItemText(int row, int column, std::string text)
{
    if (!validIndex(m_rows, row) || column < 0)
        return false;
    auto& cells = m_rows[static_cast<size_t>(row)].cells;
    if (static_cast<size_t>(column) >= cells.size())
        cells.resize(static_cast<size_t>(column) + 1);
    cells[static_cast<size_t>(column)] = std::move(text);
    return true;
}

std::string ListView::itemText(int row, int column) const
{
    if (!validIndex(m_rows, row) || column < 0)
        return {};
    const auto& cells = m_rows[static_cast<size_t>(row)].cells;
    return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)] : std::string();
}

bool ListView::setItemData(int row, intptr_t data)
{
    if (!validIndex(m_rows, row))
        return false;
    m_rows[static_cast<size_t>(row)].data = data;
    return true;
}

intptr_t ListView::itemData(int row) const
{
    return validIndex(m_rows, row) ? m_rows[static_cast<size_t>(row)].data : 0;
}

bool ListView::deleteItem(int row)
{
    if (!validIndex(m_rows, row))
        return false;
    m_rows.erase(m_rows.begin() + row);
    if (m_mark == row)
        m_mark = -1;
    else if (m_mark > row)
        --m_mark;
    return true;
}

void ListView::deleteAllItems()
{
    m_rows.clear();
    m_mark = -1;
}

bool ListView::setSelected(int row, bool selected)
{
    if (!validIndex(m_rows, row))
        return false;
    m_rows[static_cast<size_t>(row)].selected = selected;
    return true;
}

bool ListView::isSelected(int row) const
{
    return validIndex(m_rows, row) && m_rows[static_cast<size_t>(row)].selected;
}

void ListView::clearSelection()
{
    for (Row& row : m_rows)
        row.selected = false;
}

int ListView::selectedCount() const
{
    return static_cast<int>(
        std::count_if(m_rows.begin(), m_rows.end(), [](const Row& row) { return row.selected; }));
}

std::vector<int> ListView::selectedRows() const
{
    std::vector<int> rows;
    for (size_t i = 0; i < m_rows.size(); ++i)
    {
        if (m_rows[i].selected)
            rows.push_back(static_cast<int>(i));
    }
    return rows;
}

Rect ListView::rowRect(int row) const
{
    const int top = kHeaderHeight + row * kRowHeight;
    return {0, top, m_clientWidth, top + kRowHeight};
}

int ListView::hitTest(Point point) const
{
    if (point.x < 0 || point.x >= m_clientWidth || point.y < kHeaderHeight)
        return -1;
    const int row = (point.y - kHeaderHeight) / kRowHeight;
    return row < itemCount() ? row : -1;
}

void ListView::describe(ControlState& state) const
{
    Control::describe(state);
    state.columns = m_columns;
    state.selection = m_mark;
    for (const Row& row : m_rows)
    {
        ListRow described{row.cells, row.selected};
        described.cells.resize(std::max(described.cells.size(), m_columns.size()));
        state.rows.push_back(std::move(described));
    }
}

// Slider -------------------------------------------------------------------------

void Slider::setRange(int low, int high)
{
    m_low = low;
    m_high = high;
    setPos(m_position);
}

void Slider::setPos(int position)
{
    m_position = std::clamp(position, std::min(m_low, m_high), std::max(m_low, m_high));
}

void Slider::describe(ControlState& state) const
{
    Control::describe(state);
    state.vertical = m_vertical;
    state.low = m_low;
    state.high = m_high;
    state.position = m_position;
    state.tick = m_tick;
}

// Up-down ------------------------------------------------------------------------

void UpDown::setRange(int lower, int upper)
{
    m_lower = static_cast<int16_t>(lower);
    m_upper = static_cast<int16_t>(upper);
    m_position = clamp(m_position);
}

void UpDown::setAccel(std::vector<Acceleration> steps)
{
    if (steps.empty())
        steps.push_back({0, 1});
    std::stable_sort(steps.begin(), steps.end(),
                     [](const Acceleration& a, const Acceleration& b) { return a.seconds < b.seconds; });
    m_accel = std::move(steps);
}

void UpDown::setBuddy(int editId)
{
    m_buddy = editId;
}

int UpDown::clamp(long long value) const
{
    return static_cast<int>(
        std::clamp<long long>(value, std::min(m_lower, m_upper), std::max(m_lower, m_upper)));
}

int UpDown::pos()
{
    if (m_buddy == 0)
        return m_position;
    const Control* buddy = dialog().find(m_buddy);
    if (!buddy)
        return m_position;
    // Numbers past the range, however far, are held at its ends.
    if (const auto value = wholeNumber(buddy->text()))
        m_position = clamp(*value);
    return m_position;
}

void UpDown::setPos(int position)
{
    m_position = clamp(position);
    showInBuddy();
}

int UpDown::delta(bool up, unsigned heldMilliseconds) const
{
    int increment = m_accel.front().increment;
    for (const Acceleration& step : m_accel)
    {
        if (heldMilliseconds >= step.seconds * 1000u)
            increment = step.increment;
    }
    const int direction = (m_upper >= m_lower) == up ? 1 : -1;
    return direction * increment;
}

void UpDown::step(int delta)
{
    m_position = clamp(static_cast<long long>(m_position) + delta);
    showInBuddy();
}

void UpDown::showInBuddy()
{
    if (m_buddy == 0)
        return;
    if (Control* buddy = dialog().find(m_buddy))
        buddy->setText(std::to_string(m_position));
}

void UpDown::describe(ControlState& state) const
{
    Control::describe(state);
    state.low = m_lower;
    state.high = m_upper;
    state.position = m_position;
    state.buddy = m_buddy;
}

// Tab control --------------------------------------------------------------------

int TabControl::insertItem(int index, std::string text, intptr_t data)
{
    if (index < 0 || index > itemCount())
        index = itemCount();
    m_items.insert(m_items.begin() + index, Item{std::move(text), data});
    if (m_selection >= index)
        ++m_selection;
    if (m_focus >= index)
        ++m_focus;
    return index;
}

std::string TabControl::itemText(int index) const
{
    return validIndex(m_items, index) ? m_items[static_cast<size_t>(index)].text : std::string();
}

intptr_t TabControl::itemData(int index) const
{
    return validIndex(m_items, index) ? m_items[static_cast<size_t>(index)].data : 0;
}

bool TabControl::deleteItem(int index)
{
    if (!validIndex(m_items, index))
        return false;
    m_items.erase(m_items.begin() + index);
    if (m_selection >= index)
        m_selection = m_selection == index ? -1 : m_selection - 1;
    if (m_focus >= index)
        m_focus = m_focus == index ? -1 : m_focus - 1;
    return true;
}

bool TabControl::setCurSel(int index)
{
    if (!validIndex(m_items, index))
        return false;
    m_selection = index;
    m_focus = index;
    return true;
}

bool TabControl::setCurFocus(int index)
{
    if (!validIndex(m_items, index))
        return false;
    m_focus = index;
    m_selection = index;
    return true;
}

void TabControl::setClientSize(int width, int height)
{
    m_width = width;
    m_height = height;
}

Rect TabControl::itemRect(int index) const
{
    if (!validIndex(m_items, index))
        return {};
    return {index * kItemWidth, 0, (index + 1) * kItemWidth, kItemHeight};
}

void TabControl::describe(ControlState& state) const
{
    Control::describe(state);
    state.selection = m_selection;
    for (const Item& item : m_items)
        state.items.push_back(item.text);
}
} // namespace ui
