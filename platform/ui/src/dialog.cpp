#include <ui/dialog.h>
#include <ui/host.h>
#include <ui/text.h>

#include <algorithm>

namespace ui
{
namespace
{
// A number that does not fit counts as no number.
std::optional<long long> wholeNumber(const std::string& text)
{
    bool overflow = false;
    const auto value = ui::wholeNumber(text, &overflow);
    return overflow ? std::nullopt : value;
}
} // namespace

Dialog::Dialog(int resourceId, std::string title) : m_resourceId(resourceId), m_title(std::move(title)) {}

Dialog::~Dialog()
{
    for (Dialog* child : m_children)
        child->m_parent = nullptr;
    if (m_parent)
    {
        auto& siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    if (m_host)
        m_host->forget(*this);
}

template <class T, class... Args> T& Dialog::add(int id, Args&&... args)
{
    if (m_byId.count(id))
        throw std::logic_error("control " + std::to_string(id) + " of dialog " +
                               std::to_string(m_resourceId) + " added twice");
    auto control = std::make_unique<T>(*this, id, std::forward<Args>(args)...);
    T& added = *control;
    m_byId[id] = control.get();
    m_controls.push_back(std::move(control));
    return added;
}

Label& Dialog::addLabel(int id, std::string text)
{
    return add<Label>(id, std::move(text));
}

Button& Dialog::addButton(int id, std::string text)
{
    return add<Button>(id, std::move(text));
}

CheckBox& Dialog::addCheckBox(int id, std::string text)
{
    return add<CheckBox>(id, std::move(text));
}

RadioButton& Dialog::addRadio(int id, std::string text, int radioGroup)
{
    return add<RadioButton>(id, std::move(text), radioGroup);
}

GroupBox& Dialog::addGroupBox(int id, std::string text)
{
    return add<GroupBox>(id, std::move(text));
}

Picture& Dialog::addPicture(int id, int image)
{
    return add<Picture>(id, image);
}

Edit& Dialog::addEdit(int id, EditStyle style)
{
    return add<Edit>(id, style);
}

ComboBox& Dialog::addCombo(int id, bool editable, bool sorted)
{
    return add<ComboBox>(id, editable, sorted);
}

ListView& Dialog::addListView(int id)
{
    return add<ListView>(id);
}

Slider& Dialog::addSlider(int id, bool vertical)
{
    return add<Slider>(id, vertical);
}

UpDown& Dialog::addUpDown(int id)
{
    return add<UpDown>(id);
}

TabControl& Dialog::addTab(int id)
{
    return add<TabControl>(id);
}

Control* Dialog::find(int id) const
{
    const auto found = m_byId.find(id);
    return found == m_byId.end() ? nullptr : found->second;
}

Control& Dialog::control(int id) const
{
    if (Control* found = find(id))
        return *found;
    throw std::logic_error("dialog " + std::to_string(m_resourceId) + " has no control " +
                           std::to_string(id));
}

void Dialog::setItemInt(int id, int value)
{
    setItemText(id, std::to_string(value));
}

std::optional<int> Dialog::itemInt(int id) const
{
    const auto value = wholeNumber(itemText(id));
    if (!value || *value < INT32_MIN || *value > INT32_MAX)
        return std::nullopt;
    return static_cast<int>(*value);
}

void Dialog::setOkCancelIds(int okId, int cancelId)
{
    m_okId = okId;
    m_cancelId = cancelId;
}

void Dialog::endDialog(int result)
{
    m_result = result;
    m_open = false;
}

Host& Dialog::host() const
{
    if (!m_host)
        throw std::logic_error("dialog " + std::to_string(m_resourceId) + " is not running");
    return *m_host;
}

void Dialog::attach(Host& host, Dialog* parent, int anchor)
{
    m_host = &host;
    m_parent = parent;
    m_anchor = anchor;
    m_open = true;
    m_result = 0;
    if (parent &&
        std::find(parent->m_children.begin(), parent->m_children.end(), this) == parent->m_children.end())
        parent->m_children.push_back(this);
}

void Dialog::closeTree()
{
    m_open = false;
    for (Dialog* child : m_children)
        child->closeTree();
}

void Dialog::createChild(Dialog& child, int anchorControl)
{
    host().openChild(*this, child, anchorControl);
}

void Dialog::post(unsigned message, intptr_t param)
{
    host().post(*this, message, param);
}

int Dialog::messageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    return host().messageBox(text, caption, flags);
}

void Dialog::setTimer(int timerId, unsigned periodMilliseconds)
{
    host().setTimer(*this, timerId, periodMilliseconds);
}

void Dialog::killTimer(int timerId)
{
    host().killTimer(*this, timerId);
}

bool Dialog::updateData(bool save)
{
    DataExchange exchange(*this, save);
    doDataExchange(exchange);
    return !exchange.failed();
}

void Dialog::onCommand(int, Command) {}

void Dialog::onNotify(int, Notify&) {}

void Dialog::onTimer(int) {}

intptr_t Dialog::onUser(unsigned, intptr_t)
{
    return 0;
}

void Dialog::onOk()
{
    if (updateData(true))
        endDialog(IDOK);
}

void Dialog::onCancel()
{
    endDialog(IDCANCEL);
}

void Dialog::doDataExchange(DataExchange&) {}

DialogState Dialog::describe() const
{
    DialogState state;
    state.id = m_resourceId;
    state.title = m_title;
    state.visible = m_visible;
    state.anchor = m_anchor;
    for (const auto& control : m_controls)
    {
        ControlState described;
        control->describe(described);
        state.controls.push_back(std::move(described));
    }
    for (const Dialog* child : m_children)
        state.children.push_back(child->describe());
    return state;
}

// Data exchange ------------------------------------------------------------------

bool DataExchange::refuse(const std::string& message)
{
    m_failed = true;
    m_dialog.messageBox(message, {}, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void DataExchange::text(int id, std::string& value)
{
    if (m_failed)
        return;
    if (m_save)
        value = m_dialog.itemText(id);
    else
        m_dialog.setItemText(id, value);
}

void DataExchange::integer(int id, int& value)
{
    integer(id, value, INT32_MIN, INT32_MAX);
}

void DataExchange::integer(int id, int& value, int min, int max)
{
    if (m_failed)
        return;
    if (!m_save)
    {
        m_dialog.setItemInt(id, value);
        return;
    }
    const auto number = wholeNumber(m_dialog.itemText(id));
    if (!number)
    {
        refuse("Enter a whole number.");
        return;
    }
    if (*number < min || *number > max)
    {
        refuse(format("Enter a whole number from %d to %d.", min, max));
        return;
    }
    value = static_cast<int>(*number);
}

void DataExchange::check(int id, int& state)
{
    if (m_failed)
        return;
    if (m_save)
        state = m_dialog.isChecked(id) ? 1 : 0;
    else
        m_dialog.setChecked(id, state != 0);
}

void DataExchange::comboIndex(int id, int& index)
{
    if (m_failed)
        return;
    if (m_save)
        index = m_dialog.combo(id).curSel();
    else
        m_dialog.combo(id).setCurSel(index);
}

void DataExchange::comboText(int id, std::string& text)
{
    if (m_failed)
        return;
    ComboBox& combo = m_dialog.combo(id);
    if (m_save)
        text = combo.text();
    else if (combo.selectString(ComboBox::kNone, text) == ComboBox::kNone && combo.editable())
        combo.setText(text);
}
} // namespace ui
