// What a renderer sees of the dialogs: a plain copy of their state, made on the UI
// thread after every event and handed to renderers with a version number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ui
{
enum class ControlKind
{
    Label,
    Button,
    CheckBox,
    Radio,
    GroupBox,
    Picture,
    Edit,
    Combo,
    ListView,
    Slider,
    UpDown,
    Tab,
};

// "label", "button", "check", "radio", "group", "picture", "edit", "combo", "list",
// "slider", "updown", "tab".
const char* kindName(ControlKind kind);

struct ListColumn
{
    std::string title;
    int width = 0;
    bool operator==(const ListColumn&) const = default;
};

struct ListRow
{
    std::vector<std::string> cells;
    bool selected = false;
    bool operator==(const ListRow&) const = default;
};

struct ControlState
{
    int id = 0;
    ControlKind kind = ControlKind::Label;
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    int group = 0;         // the group box the control sits in, 0 for none
    bool newLine = true;   // layout: starts a line of its own
    bool password = false; // edit: the text is left out, its length given
    int length = 0;
    bool number = false;             // edit
    size_t limit = 0;                // edit: the most characters that may be typed in, 0 for any
    bool editable = false;           // combo with an edit field
    bool vertical = false;           // slider
    std::vector<std::string> items;  // combo and tab items
    int selection = -1;              // combo and tab selection, list selection mark
    std::vector<ListColumn> columns; // list view
    std::vector<ListRow> rows;       // list view
    int low = 0;                     // slider and up-down range, as set
    int high = 0;
    int position = 0;
    int tick = 0;  // slider tick frequency
    int buddy = 0; // up-down buddy control
    int image = 0; // picture resource
    bool operator==(const ControlState&) const = default;
};

struct DialogState
{
    int id = 0; // resource id
    std::string title;
    bool visible = true;
    bool active = false; // takes input now
    int anchor = 0;      // child dialogs: the parent's control they are placed on
    std::vector<ControlState> controls;
    std::vector<DialogState> children;
    bool operator==(const DialogState&) const = default;
};

enum class OverlayKind
{
    MessageBox,
    Menu,
};

struct Choice
{
    int value = 0; // the result (message box) or command id (menu)
    std::string label;
    bool enabled = true;
    bool separator = false;
    bool operator==(const Choice&) const = default;
};

// A pending message box or popup menu; only the last one takes an answer.
struct Overlay
{
    int id = 0;
    OverlayKind kind = OverlayKind::MessageBox;
    std::string text;
    std::string caption;
    unsigned flags = 0;
    int x = 0; // menus: where they open, in the client area of the control clicked
    int y = 0;
    std::vector<Choice> choices;
    bool operator==(const Overlay&) const = default;
};

struct Snapshot
{
    uint64_t version = 0;
    bool running = true;              // false once the program's dialogs have ended
    std::vector<DialogState> dialogs; // open dialogs, the active one last
    std::vector<Overlay> overlays;

    bool sameContent(const Snapshot& other) const
    {
        return running == other.running && dialogs == other.dialogs && overlays == other.overlays;
    }
};
} // namespace ui
