// Renderer input: checked against the dialogs as they are, then applied as the
// device's controls apply a click or a key before their dialog hears of it.
#include <ui/host.h>

#include <algorithm>

namespace ui
{
namespace
{
InputResult refused(std::string error)
{
    return {InputStatus::Refused, std::move(error)};
}

InputResult inactive(std::string error)
{
    return {InputStatus::Inactive, std::move(error)};
}

Dialog* findIn(Dialog& dialog, int resourceId)
{
    if (dialog.resourceId() == resourceId)
        return &dialog;
    for (Dialog* child : dialog.children())
    {
        if (Dialog* found = findIn(*child, resourceId))
            return found;
    }
    return nullptr;
}

bool isKind(const Control& control, std::initializer_list<ControlKind> kinds)
{
    return std::find(kinds.begin(), kinds.end(), control.kind()) != kinds.end();
}

InputResult checkControlInput(const Control& control, const Input& input)
{
    const auto wrongKind = [&]
    {
        return refused(std::string("control ") + std::to_string(control.id()) + " is a " +
                       kindName(control.kind()));
    };
    switch (input.type)
    {
    case InputType::Click:
        if (!isKind(control, {ControlKind::Button, ControlKind::CheckBox, ControlKind::Radio}))
            return wrongKind();
        break;
    case InputType::Text:
        if (const auto* edit = dynamic_cast<const Edit*>(&control))
        {
            if (std::string why = edit->refusal(input.text); !why.empty())
                return refused(std::move(why));
            break;
        }
        if (const auto* combo = dynamic_cast<const ComboBox*>(&control); combo && combo->editable())
            break;
        return wrongKind();
    case InputType::Select:
        if (const auto* combo = dynamic_cast<const ComboBox*>(&control))
        {
            if (input.index < 0 || input.index >= combo->count())
                return refused("no such item");
            break;
        }
        if (const auto* tab = dynamic_cast<const TabControl*>(&control))
        {
            if (input.index < 0 || input.index >= tab->itemCount())
                return refused("no such tab");
            break;
        }
        if (const auto* list = dynamic_cast<const ListView*>(&control))
        {
            for (int row : input.rows)
            {
                if (row < 0 || row >= list->itemCount())
                    return refused("no such row");
            }
            if (input.index < -1 || input.index >= list->itemCount())
                return refused("no such row");
            break;
        }
        return wrongKind();
    case InputType::UpDown:
        if (control.kind() != ControlKind::UpDown)
            return wrongKind();
        if (input.value != 1 && input.value != -1)
            return refused("an arrow is 1 (up) or -1 (down)");
        break;
    case InputType::Slider:
        if (const auto* slider = dynamic_cast<const Slider*>(&control))
        {
            if (input.value < std::min(slider->rangeMin(), slider->rangeMax()) ||
                input.value > std::max(slider->rangeMin(), slider->rangeMax()))
                return refused("position out of range");
            break;
        }
        return wrongKind();
    case InputType::DoubleClick:
    case InputType::RightClick:
        if (const auto* list = dynamic_cast<const ListView*>(&control))
        {
            if (input.index < -1 || input.index >= list->itemCount())
                return refused("no such row");
            break;
        }
        return wrongKind();
    case InputType::Key:
        if (input.value <= 0 || input.value > 0xFF)
            return refused("no such key");
        break;
    case InputType::Answer:
    case InputType::Close:
        break;
    }
    return {};
}
} // namespace

Dialog* Host::findDialog(int resourceId) const
{
    for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it)
    {
        if (Dialog* found = findIn(**it, resourceId))
            return found;
    }
    return nullptr;
}

bool Host::takesInput(const Dialog& dialog) const
{
    if (m_stack.empty() || !dialog.isOpen())
        return false;
    const Dialog* top = &dialog;
    while (top->parent())
    {
        if (!top->visible())
            return false;
        top = top->parent();
    }
    return top == m_stack.back();
}

InputResult Host::validate(const Input& input) const
{
    if (input.type == InputType::Answer)
    {
        const Pending* pending = findOverlay(input.overlay);
        if (!pending)
            return refused("no such prompt");
        if (pending != &m_overlays.back())
            return inactive("another prompt is on top");
        if (pending->overlay.kind == OverlayKind::Menu && input.value == 0)
            return {};
        const auto& choices = pending->overlay.choices;
        const bool offered =
            std::any_of(choices.begin(), choices.end(),
                        [&](const Choice& choice)
                        { return choice.value == input.value && choice.enabled && !choice.separator; });
        return offered ? InputResult{} : refused("not a choice of the prompt");
    }
    Dialog* dialog = findDialog(input.dialog);
    if (!dialog)
        return refused("no dialog " + std::to_string(input.dialog));
    if (!m_overlays.empty())
        return inactive("a prompt waits for an answer");
    if (!takesInput(*dialog))
        return inactive("dialog " + std::to_string(input.dialog) + " does not take input now");
    if (input.type == InputType::Close)
        return {};
    if (input.type == InputType::Key && input.control == 0)
        return input.value > 0 && input.value <= 0xFF ? InputResult{} : refused("no such key");
    Control* control = dialog->find(input.control);
    if (!control)
        return refused("dialog " + std::to_string(input.dialog) + " has no control " +
                       std::to_string(input.control));
    InputResult checked = checkControlInput(*control, input);
    if (!checked.accepted())
        return checked;
    if (!control->interactive())
        return inactive("control " + std::to_string(input.control) + " is disabled or hidden");
    return {};
}

void Host::apply(const Input& input)
{
    if (input.type == InputType::Answer)
    {
        answer(input.overlay, input.value);
        return;
    }
    Dialog& dialog = *findDialog(input.dialog);
    if (input.type == InputType::Close)
    {
        dialog.onCancel();
        return;
    }
    Control* control = input.control == 0 ? nullptr : dialog.find(input.control);
    if (input.type == InputType::Key)
    {
        pressKey(dialog, control, input.value);
        return;
    }
    applyToControl(dialog, *control, input);
}

void Host::command(Dialog& dialog, int id, Command code)
{
    if (code == Command::Clicked && id == dialog.okId())
        dialog.onOk();
    else if (code == Command::Clicked && id == dialog.cancelId())
        dialog.onCancel();
    else
        dialog.onCommand(id, code);
}

void Host::applyToControl(Dialog& dialog, Control& control, const Input& input)
{
    const int id = control.id();
    switch (input.type)
    {
    case InputType::Click:
        if (control.kind() == ControlKind::CheckBox)
        {
            control.setChecked(!control.checked());
        }
        else if (auto* radio = dynamic_cast<RadioButton*>(&control))
        {
            for (const auto& other : dialog.controls())
            {
                auto* sibling = dynamic_cast<RadioButton*>(other.get());
                if (sibling && sibling->radioGroup() == radio->radioGroup())
                    sibling->setChecked(sibling == radio);
            }
        }
        command(dialog, id, Command::Clicked);
        break;
    case InputType::Text:
        control.setText(input.text);
        command(dialog, id, control.kind() == ControlKind::Edit ? Command::Changed : Command::EditChange);
        break;
    case InputType::Select:
        if (auto* combo = dynamic_cast<ComboBox*>(&control))
        {
            combo->setCurSel(input.index);
            command(dialog, id, Command::SelChange);
        }
        else if (auto* tab = dynamic_cast<TabControl*>(&control))
        {
            selectTab(dialog, *tab, input.index);
        }
        else if (auto* list = dynamic_cast<ListView*>(&control))
        {
            list->clearSelection();
            for (int row : input.rows)
                list->setSelected(row, true);
            list->setSelectionMark(input.index >= 0 ? input.index
                                                    : (input.rows.empty() ? -1 : input.rows.back()));
            Notify notify;
            notify.code = NotifyCode::ItemChanged;
            notify.item = list->selectionMark();
            dialog.onNotify(id, notify);
        }
        break;
    case InputType::UpDown:
        pressUpDown(dialog, dynamic_cast<UpDown&>(control), input);
        break;
    case InputType::Slider:
    {
        auto& slider = dynamic_cast<Slider&>(control);
        slider.setPos(input.value);
        Notify notify;
        notify.code = NotifyCode::SliderMove;
        notify.position = slider.pos();
        dialog.onNotify(id, notify);
        break;
    }
    case InputType::DoubleClick:
    case InputType::RightClick:
    {
        auto& list = dynamic_cast<ListView&>(control);
        const int row = input.index;
        // A click on a row that is not selected selects it alone, as the list does itself.
        if (row >= 0 && (input.type == InputType::DoubleClick || !list.isSelected(row)))
        {
            list.clearSelection();
            list.setSelected(row, true);
        }
        if (row >= 0)
            list.setSelectionMark(row);
        Notify notify;
        notify.code = input.type == InputType::DoubleClick ? NotifyCode::DoubleClick : NotifyCode::RightClick;
        notify.item = row;
        const Rect rect = list.rowRect(row >= 0 ? row : list.itemCount());
        notify.point = {rect.left + 4, rect.top + ListView::kRowHeight / 2};
        dialog.onNotify(id, notify);
        break;
    }
    default:
        break;
    }
}

void Host::pressUpDown(Dialog& dialog, UpDown& upDown, const Input& input)
{
    Notify notify;
    notify.code = NotifyCode::UpDownDelta;
    notify.position = upDown.pos(); // a buddy's typed number counts from here on
    notify.delta = upDown.delta(input.value > 0, input.heldMs);
    dialog.onNotify(upDown.id(), notify);
    if (!notify.handled)
        upDown.step(notify.delta);
}

void Host::selectTab(Dialog& dialog, TabControl& tab, int index)
{
    const int before = tab.curSel();
    tab.setCurFocus(index);
    Notify notify;
    notify.item = index;
    if (before != index)
    {
        notify.code = NotifyCode::SelChange;
        dialog.onNotify(tab.id(), notify);
    }
    notify.code = NotifyCode::Click;
    notify.handled = false;
    const Rect item = tab.itemRect(index);
    notify.point = {item.left + 4, item.top + 4};
    dialog.onNotify(tab.id(), notify);
}

void Host::pressKey(Dialog& dialog, Control* control, int key)
{
    Notify notify;
    notify.code = NotifyCode::KeyDown;
    notify.key = key;
    dialog.onNotify(control ? control->id() : 0, notify);
    if (notify.handled)
        return;
    if (auto* tab = dynamic_cast<TabControl*>(control); tab && (key == VK_LEFT || key == VK_RIGHT))
    {
        const int next = tab->curSel() + (key == VK_RIGHT ? 1 : -1);
        if (next >= 0 && next < tab->itemCount())
            selectTab(dialog, *tab, next);
        return;
    }
    // Enter and Escape belong to the top dialog, also when pressed on one of its pages.
    Dialog* owner = &dialog;
    while (owner->parent())
        owner = owner->parent();
    if (key == VK_RETURN && (!control || control->kind() != ControlKind::Button))
        command(*owner, owner->okId(), Command::Clicked);
    else if (key == VK_ESCAPE)
        owner->onCancel();
}
} // namespace ui
