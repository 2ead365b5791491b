// The page's JSON: snapshots out, input events in.
#include <ui/web/web_renderer.h>

#include <nlohmann/json.hpp>

#include <climits>
#include <map>

using nlohmann::json;

namespace ui::web
{
namespace
{
json describeControl(const ControlState& control)
{
    json out = {{"id", control.id},           {"kind", kindName(control.kind)}, {"text", control.text},
                {"enabled", control.enabled}, {"visible", control.visible},     {"checked", control.checked},
                {"group", control.group},     {"newLine", control.newLine}};
    switch (control.kind)
    {
    case ControlKind::Edit:
        out["password"] = control.password;
        out["length"] = control.length;
        out["number"] = control.number;
        out["limit"] = control.limit;
        break;
    case ControlKind::Combo:
        out["editable"] = control.editable;
        out["items"] = control.items;
        out["selection"] = control.selection;
        break;
    case ControlKind::Tab:
        out["items"] = control.items;
        out["selection"] = control.selection;
        break;
    case ControlKind::ListView:
    {
        json columns = json::array();
        for (const ListColumn& column : control.columns)
            columns.push_back({{"title", column.title}, {"width", column.width}});
        json rows = json::array();
        for (const ListRow& row : control.rows)
            rows.push_back({{"cells", row.cells}, {"selected", row.selected}});
        out["columns"] = std::move(columns);
        out["rows"] = std::move(rows);
        out["selection"] = control.selection;
        break;
    }
    case ControlKind::Slider:
        out["low"] = control.low;
        out["high"] = control.high;
        out["position"] = control.position;
        out["tick"] = control.tick;
        out["vertical"] = control.vertical;
        break;
    case ControlKind::UpDown:
        out["low"] = control.low;
        out["high"] = control.high;
        out["position"] = control.position;
        out["buddy"] = control.buddy;
        break;
    case ControlKind::Picture:
        out["image"] = control.image;
        break;
    default:
        break;
    }
    return out;
}

json describeDialog(const DialogState& dialog)
{
    json controls = json::array();
    for (const ControlState& control : dialog.controls)
        controls.push_back(describeControl(control));
    json children = json::array();
    for (const DialogState& child : dialog.children)
        children.push_back(describeDialog(child));
    return {{"id", dialog.id},
            {"title", dialog.title},
            {"visible", dialog.visible},
            {"active", dialog.active},
            {"anchor", dialog.anchor},
            {"controls", std::move(controls)},
            {"children", std::move(children)}};
}

const std::map<std::string, InputType>& inputTypes()
{
    static const std::map<std::string, InputType> types = {
        {"click", InputType::Click},       {"text", InputType::Text},
        {"select", InputType::Select},     {"updown", InputType::UpDown},
        {"slider", InputType::Slider},     {"dblclick", InputType::DoubleClick},
        {"rclick", InputType::RightClick}, {"key", InputType::Key},
        {"answer", InputType::Answer},     {"close", InputType::Close},
    };
    return types;
}

const std::map<std::string, int>& keyNames()
{
    static const std::map<std::string, int> keys = {
        {"Backspace", VK_BACK}, {"Tab", VK_TAB},       {"Enter", VK_RETURN},  {"Escape", VK_ESCAPE},
        {"Space", VK_SPACE},    {"PageUp", VK_PRIOR},  {"PageDown", VK_NEXT}, {"End", VK_END},
        {"Home", VK_HOME},      {"Left", VK_LEFT},     {"Up", VK_UP},         {"Right", VK_RIGHT},
        {"Down", VK_DOWN},      {"Delete", VK_DELETE},
    };
    return keys;
}

// An integer member within the int range; the fallback when absent.
bool readInt(const json& object, const char* name, int& value, std::string& error, bool required)
{
    const auto found = object.find(name);
    if (found == object.end())
    {
        if (required)
            error = std::string("\"") + name + "\" is missing";
        return !required;
    }
    if (!found->is_number_integer())
    {
        error = std::string("\"") + name + "\" is no whole number";
        return false;
    }
    const auto number = found->get<long long>();
    if (number < INT_MIN || number > INT_MAX)
    {
        error = std::string("\"") + name + "\" is out of range";
        return false;
    }
    value = static_cast<int>(number);
    return true;
}
} // namespace

std::string toJson(const Snapshot& snapshot)
{
    json dialogs = json::array();
    for (const DialogState& dialog : snapshot.dialogs)
        dialogs.push_back(describeDialog(dialog));
    json overlays = json::array();
    for (const Overlay& overlay : snapshot.overlays)
    {
        json choices = json::array();
        for (const Choice& choice : overlay.choices)
        {
            choices.push_back({{"value", choice.value},
                               {"label", choice.label},
                               {"enabled", choice.enabled},
                               {"separator", choice.separator}});
        }
        overlays.push_back({{"id", overlay.id},
                            {"kind", overlay.kind == OverlayKind::Menu ? "menu" : "message"},
                            {"text", overlay.text},
                            {"caption", overlay.caption},
                            {"flags", overlay.flags},
                            {"x", overlay.x},
                            {"y", overlay.y},
                            {"choices", std::move(choices)}});
    }
    const json out = {{"version", snapshot.version},
                      {"running", snapshot.running},
                      {"dialogs", std::move(dialogs)},
                      {"overlays", std::move(overlays)}};
    // Texts come from registry values and files: never let bad UTF-8 break the page.
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<Input> inputFromJson(std::string_view text, std::string& error)
{
    const json object = json::parse(text, nullptr, false);
    if (object.is_discarded() || !object.is_object())
    {
        error = "the body is no JSON object";
        return std::nullopt;
    }
    const auto typeName = object.find("type");
    if (typeName == object.end() || !typeName->is_string() ||
        !inputTypes().count(typeName->get<std::string>()))
    {
        error = "\"type\" is missing or unknown";
        return std::nullopt;
    }
    Input input;
    input.type = inputTypes().at(typeName->get<std::string>());
    const bool answer = input.type == InputType::Answer;
    const bool needsControl = !answer && input.type != InputType::Close && input.type != InputType::Key;
    if (!readInt(object, "dlg", input.dialog, error, !answer) ||
        !readInt(object, "ctl", input.control, error, needsControl) ||
        !readInt(object, "index", input.index, error, false) ||
        !readInt(object, "value", input.value, error, false) ||
        !readInt(object, "overlay", input.overlay, error, answer))
        return std::nullopt;
    int held = 0;
    if (!readInt(object, "held", held, error, false))
        return std::nullopt;
    if (held < 0)
    {
        error = "\"held\" is negative";
        return std::nullopt;
    }
    input.heldMs = static_cast<unsigned>(held);
    if (const auto value = object.find("text"); value != object.end())
    {
        if (!value->is_string())
        {
            error = "\"text\" is no string";
            return std::nullopt;
        }
        input.text = value->get<std::string>();
    }
    if (const auto rows = object.find("rows"); rows != object.end())
    {
        if (!rows->is_array())
        {
            error = "\"rows\" is no list";
            return std::nullopt;
        }
        for (const json& row : *rows)
        {
            if (!row.is_number_integer() || row.get<long long>() < 0 || row.get<long long>() > INT_MAX)
            {
                error = "\"rows\" holds no row number";
                return std::nullopt;
            }
            input.rows.push_back(row.get<int>());
        }
    }
    if (input.type == InputType::Key)
    {
        const auto key = object.find("key");
        if (key == object.end() || !key->is_string() || !keyNames().count(key->get<std::string>()))
        {
            error = "\"key\" is missing or unknown";
            return std::nullopt;
        }
        input.value = keyNames().at(key->get<std::string>());
    }
    if (input.type == InputType::Text && object.find("text") == object.end())
    {
        error = "\"text\" is missing";
        return std::nullopt;
    }
    return input;
}
} // namespace ui::web
