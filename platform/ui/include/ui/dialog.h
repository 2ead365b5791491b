// A dialog: a resource id, a title, controls by id and the handlers a program
// overrides. A dialog runs modally on a host (Host::runModal); child dialogs (tab
// pages) are created into a running one and shown or hidden there. Every handler runs
// on the host's UI thread.
#pragma once

#include <ui/constants.h>
#include <ui/controls.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ui
{
class Host;
class DataExchange;

// Command codes of WM_COMMAND-style notifications.
enum class Command
{
    Clicked,    // a button, check box or radio button
    Changed,    // an edit's text was typed
    SelChange,  // a combo box's selection
    EditChange, // a combo box's edit text was typed
};

enum class NotifyCode
{
    Click,       // left click (tab control: after the focus moved)
    DoubleClick, // list view: item and point
    RightClick,  // list view: item and point
    ItemChanged, // list view: the selection changed
    SelChange,   // tab control: the selected item changed
    UpDownDelta, // up-down: position and delta before the move; handled refuses the move
    SliderMove,  // slider: the new position
    KeyDown,     // key: the virtual key; handled stops the control's own handling
};

struct Notify
{
    NotifyCode code = NotifyCode::Click;
    int item = -1;    // list row, tab item
    int position = 0; // up-down position before the move, slider position
    int delta = 0;    // up-down step
    int key = 0;      // virtual key
    Point point;      // in the control's client area
    bool handled = false;
};

class Dialog
{
public:
    Dialog(int resourceId, std::string title);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    int resourceId() const { return m_resourceId; }
    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }

    // Controls, in the order they are added (the order renderers lay them out in).
    Label& addLabel(int id, std::string text);
    Button& addButton(int id, std::string text);
    CheckBox& addCheckBox(int id, std::string text);
    RadioButton& addRadio(int id, std::string text, int radioGroup = 0);
    GroupBox& addGroupBox(int id, std::string text);
    Picture& addPicture(int id, int image);
    Edit& addEdit(int id, EditStyle style = {});
    ComboBox& addCombo(int id, bool editable = false, bool sorted = false);
    ListView& addListView(int id);
    Slider& addSlider(int id, bool vertical = false);
    UpDown& addUpDown(int id);
    TabControl& addTab(int id);

    Control* find(int id) const;
    // The control of that id and kind; a missing id or another kind is a program fault
    // and throws std::logic_error.
    Control& control(int id) const;
    Label& label(int id) const { return as<Label>(id); }
    Button& button(int id) const { return as<Button>(id); }
    CheckBox& checkBox(int id) const { return as<CheckBox>(id); }
    RadioButton& radio(int id) const { return as<RadioButton>(id); }
    GroupBox& groupBox(int id) const { return as<GroupBox>(id); }
    Picture& picture(int id) const { return as<Picture>(id); }
    Edit& edit(int id) const { return as<Edit>(id); }
    ComboBox& combo(int id) const { return as<ComboBox>(id); }
    ListView& listView(int id) const { return as<ListView>(id); }
    Slider& slider(int id) const { return as<Slider>(id); }
    UpDown& upDown(int id) const { return as<UpDown>(id); }
    TabControl& tab(int id) const { return as<TabControl>(id); }
    const std::vector<std::unique_ptr<Control>>& controls() const { return m_controls; }

    // The device's item calls.
    void setItemText(int id, std::string text) { control(id).setText(std::move(text)); }
    std::string itemText(int id) const { return control(id).text(); }
    void setItemInt(int id, int value);
    // The text as a whole signed number (blanks around it allowed); nothing otherwise.
    std::optional<int> itemInt(int id) const;
    void enableItem(int id, bool enabled) { control(id).enable(enabled); }
    void showItem(int id, bool visible) { control(id).show(visible); }
    bool isChecked(int id) const { return control(id).checked(); }
    void setChecked(int id, bool checked) { control(id).setChecked(checked); }

    // The buttons that end the dialog through onOk and onCancel (IDOK and IDCANCEL
    // unless a dialog uses its own ids).
    void setOkCancelIds(int okId, int cancelId);
    int okId() const { return m_okId; }
    int cancelId() const { return m_cancelId; }

    // Running state.
    bool isOpen() const { return m_open; }
    // Ends a modal dialog: its runModal returns the result once the handler returns.
    void endDialog(int result);
    int result() const { return m_result; }
    bool attached() const { return m_host != nullptr; }
    Host& host() const; // throws std::logic_error before the dialog runs
    Dialog* parent() const { return m_parent; }

    // Child dialogs (tab pages): created into this running dialog, placed on one of its
    // controls; their onInit runs at once.
    void createChild(Dialog& child, int anchorControl = 0);
    const std::vector<Dialog*>& children() const { return m_children; }
    bool visible() const { return m_visible; }
    void show(bool visible = true) { m_visible = visible; }
    void setPosition(Rect position) { m_position = position; }
    Rect position() const { return m_position; }
    int anchor() const { return m_anchor; }

    // Messages: post queues for the UI thread (from any thread), send calls onUser now.
    void post(unsigned message, intptr_t param);
    intptr_t send(unsigned message, intptr_t param) { return onUser(message, param); }
    int messageBox(const std::string& text, const std::string& caption = {}, unsigned flags = MB_OK);
    void setTimer(int timerId, unsigned periodMilliseconds);
    void killTimer(int timerId);

    // Moves the fields of doDataExchange between the controls and the members. Saving
    // stops at the first field refused (its message shown) and gives false.
    bool updateData(bool save);

    // Handlers.
    // Runs when the dialog starts, before any input.
    virtual void onInit() {}
    virtual void onCommand(int id, Command code);
    virtual void onNotify(int id, Notify& notify);
    virtual void onTimer(int timerId);
    virtual intptr_t onUser(unsigned message, intptr_t param);
    // OK saves the fields and ends the dialog with IDOK; Cancel ends it with IDCANCEL.
    virtual void onOk();
    virtual void onCancel();
    virtual void doDataExchange(DataExchange& exchange);

    DialogState describe() const;

private:
    friend class Host;
    template <class T> T& as(int id) const;
    template <class T, class... Args> T& add(int id, Args&&... args);
    void attach(Host& host, Dialog* parent, int anchor);
    void closeTree();

    int m_resourceId;
    std::string m_title;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::map<int, Control*> m_byId;
    int m_okId = IDOK;
    int m_cancelId = IDCANCEL;
    Host* m_host = nullptr;
    Dialog* m_parent = nullptr;
    std::vector<Dialog*> m_children;
    int m_anchor = 0;
    bool m_open = false;
    bool m_visible = true;
    int m_result = 0;
    Rect m_position;
};

// Moves values between controls and members. Integer fields may carry bounds; a
// refused field shows its message and stops the exchange.
class DataExchange
{
public:
    DataExchange(Dialog& dialog, bool save) : m_dialog(dialog), m_save(save) {}
    bool saving() const { return m_save; }
    bool failed() const { return m_failed; }

    void text(int id, std::string& value);
    void integer(int id, int& value);
    void integer(int id, int& value, int min, int max);
    void check(int id, int& state);            // 0 clear, 1 checked
    void comboIndex(int id, int& index);       // -1 for none
    void comboText(int id, std::string& text); // loading selects the first item starting with it

private:
    bool refuse(const std::string& message);

    Dialog& m_dialog;
    bool m_save;
    bool m_failed = false;
};

template <class T> T& Dialog::as(int id) const
{
    if (auto* typed = dynamic_cast<T*>(&control(id)))
        return *typed;
    throw std::logic_error("control " + std::to_string(id) + " of dialog " + std::to_string(m_resourceId) +
                           " is of another kind");
}
} // namespace ui
