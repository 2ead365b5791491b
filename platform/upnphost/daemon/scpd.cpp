#include "scpd.h"

#include <map>

namespace upnphost
{
namespace
{
// The state variable of an argument: "A_ARG_TYPE_<name>", with the type added when two
// arguments share a name but not a type.
std::string argumentVariable(const UPnPArgument& argument, std::map<std::string, UPnPDataType>& types)
{
    const std::string name = std::string("A_ARG_TYPE_") + argument.name;
    const auto [known, added] = types.emplace(name, argument.type);
    if (added || known->second == argument.type)
        return name;
    const std::string typed = name + "_" + dataTypeName(argument.type);
    types.emplace(typed, argument.type);
    return typed;
}

void stateVariable(std::string& out, const std::string& name, UPnPDataType type)
{
    out += "\t\t<stateVariable sendEvents=\"no\">\n\t\t\t<name>" + xmlEscape(name) +
           "</name>\n\t\t\t<dataType>" + dataTypeName(type) + "</dataType>\n\t\t</stateVariable>\n";
}
} // namespace

const char* dataTypeName(UPnPDataType type)
{
    switch (type)
    {
    case UPnPDataType::i4:
        return "i4";
    case UPnPDataType::ui4:
        return "ui4";
    case UPnPDataType::string:
        break;
    }
    return "string";
}

std::string xmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
    {
        switch (c)
        {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string scpdText(const UPnPServiceTable& table)
{
    std::map<std::string, UPnPDataType> argumentTypes;
    std::string out = "<?xml version=\"1.0\"?>\n<scpd xmlns=\"urn:schemas-upnp-org:service-1-0\">\n"
                      "\t<specVersion>\n\t\t<major>1</major>\n\t\t<minor>0</minor>\n\t</specVersion>\n"
                      "\t<actionList>\n";
    for (const UPnPAction& action : table.actions)
    {
        out += "\t\t<action>\n\t\t\t<name>" + xmlEscape(action.name) + "</name>\n\t\t\t<argumentList>\n";
        bool returnValue = true;
        for (const UPnPArgument& argument : action.arguments)
        {
            out += "\t\t\t\t<argument>\n\t\t\t\t\t<name>" + xmlEscape(argument.name) +
                   "</name>\n\t\t\t\t\t<direction>" + (argument.out ? "out" : "in") + "</direction>\n";
            if (argument.out && returnValue)
                out += "\t\t\t\t\t<retval/>\n";
            returnValue = returnValue && !argument.out;
            out += "\t\t\t\t\t<relatedStateVariable>" + xmlEscape(argumentVariable(argument, argumentTypes)) +
                   "</relatedStateVariable>\n\t\t\t\t</argument>\n";
        }
        out += "\t\t\t</argumentList>\n\t\t</action>\n";
    }
    out += "\t</actionList>\n\t<serviceStateTable>\n";
    for (const UPnPProperty& property : table.properties)
        stateVariable(out, property.name, property.type);
    for (const auto& [name, type] : argumentTypes)
        stateVariable(out, name, type);
    out += "\t</serviceStateTable>\n</scpd>\n";
    return out;
}
} // namespace upnphost
