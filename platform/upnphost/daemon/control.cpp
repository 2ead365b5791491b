#include "control.h"

#include "soap.h"

#include <os/text.h>

#include <charconv>
#include <cstdint>
#include <optional>

namespace upnphost
{
namespace
{
constexpr HRESULT kErrorBase = static_cast<HRESULT>(0x80040300);
constexpr std::string_view kControlNamespace = "urn:schemas-upnp-org:control-1-0";

ControlAnswer fault(int code, std::string_view description)
{
    return {500, controlFault(code, description)};
}

// A decimal number (a "+" allowed) that fits the type, nothing else.
template <typename Number> bool parseNumber(const std::string& text, Number& number)
{
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [at, error] = std::from_chars(begin, end, number);
    return begin != end && error == std::errc() && at == end;
}

bool toVariant(UPnPDataType type, const std::string& text, VARIANT& value)
{
    switch (type)
    {
    case UPnPDataType::i4:
        value.vt = VT_I4;
        return parseNumber(text, value.lVal);
    case UPnPDataType::ui4:
        value.vt = VT_UI4;
        return parseNumber(text, value.ulVal);
    case UPnPDataType::string:
        break;
    }
    const std::u16string wide = os::toUtf16(text);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return value.bstrVal != nullptr;
}

std::string fromVariant(const VARIANT& value)
{
    switch (value.vt)
    {
    case VT_BSTR:
        return os::toUtf8(
            std::u16string_view(value.bstrVal ? value.bstrVal : u"", SysStringLen(value.bstrVal)));
    case VT_I4:
    case VT_INT:
        return std::to_string(value.lVal);
    case VT_UI4:
    case VT_UINT:
        return std::to_string(value.ulVal);
    case VT_BOOL:
        return value.boolVal ? "1" : "0";
    default:
        return {};
    }
}

// The arguments of the action in table order, from the request's named arguments; every
// in argument given once, nothing else given.
bool bindArguments(const UPnPAction& action, const NamedValues& given, std::vector<VARIANT>& values)
{
    size_t used = 0;
    for (size_t i = 0; i < action.arguments.size(); ++i)
    {
        const UPnPArgument& argument = action.arguments[i];
        if (argument.out)
            continue;
        const std::string* text = nullptr;
        for (const auto& [name, value] : given)
            if (name == argument.name)
            {
                if (text)
                    return false;
                text = &value;
            }
        if (!text || !toVariant(argument.type, *text, values[i]))
            return false;
        ++used;
    }
    return used == given.size();
}

ControlAnswer queryStateVariable(const LoadedService& service, const NamedValues& arguments)
{
    const UPnPServiceTable* table = service.object->serviceTable();
    if (arguments.size() != 1 || arguments.front().first != "varName")
        return fault(kInvalidArgs, "Invalid Args");
    for (size_t i = 0; i < table->properties.size(); ++i)
    {
        if (arguments.front().second != table->properties[i].name)
            continue;
        VARIANT value;
        VariantInit(&value);
        const HRESULT result = service.object->GetProperty(static_cast<UINT>(i), &value);
        const std::string text = fromVariant(value);
        VariantClear(&value);
        if (FAILED(result))
            return fault(upnpErrorCode(result), "UPnPError");
        return {200, controlResponse(kControlNamespace, "QueryStateVariable", {{"return", text}})};
    }
    return fault(kInvalidVar, "Invalid Var");
}

// The action a SOAPACTION header names: "\"<service type>#<action>\"" (quotes optional).
bool soapActionMatches(std::string_view header, const ControlRequest& request)
{
    if (header.size() >= 2 && header.front() == '"' && header.back() == '"')
        header = header.substr(1, header.size() - 2);
    return header == request.serviceType + "#" + request.actionName;
}

// "text/xml" in any case, with or without parameters ("; charset=\"utf-8\"").
bool isXml(std::string_view contentType)
{
    const std::string_view mediaType = contentType.substr(0, contentType.find(';'));
    const size_t end = mediaType.find_last_not_of(" \t");
    return os::equalsNoCase(mediaType.substr(0, end == std::string_view::npos ? 0 : end + 1), "text/xml");
}
} // namespace

int upnpErrorCode(HRESULT result)
{
    const int64_t code =
        static_cast<int64_t>(static_cast<uint32_t>(result)) - static_cast<uint32_t>(kErrorBase);
    return code >= 600 && code <= 899 ? static_cast<int>(code) : kActionFailed;
}

ControlAnswer runControl(const LoadedService& service, const ControlHeaders& headers, std::string_view body)
{
    if (!isXml(headers.contentType))
        return {415, "Unsupported Media Type"};
    const auto request = readControlRequest(body);
    if (!request)
        return {400, "Bad Request"};
    if (!soapActionMatches(headers.soapAction, *request))
        return fault(kInvalidAction, "Invalid Action");
    if (request->serviceType == kControlNamespace && request->actionName == "QueryStateVariable")
        return queryStateVariable(service, request->arguments);
    if (request->serviceType != service.info.serviceType)
        return fault(kInvalidAction, "Invalid Action");
    const UPnPServiceTable* table = service.object->serviceTable();
    const UPnPAction* action = nullptr;
    UINT index = 0;
    for (UINT i = 0; i < table->actions.size(); ++i)
        if (request->actionName == table->actions[i].name)
            action = &table->actions[index = i];
    if (!action)
        return fault(kInvalidAction, "Invalid Action");

    std::vector<VARIANT> values(action->arguments.size());
    for (VARIANT& value : values)
        VariantInit(&value);
    ControlAnswer answer;
    if (!bindArguments(*action, request->arguments, values))
        answer = fault(kInvalidArgs, "Invalid Args");
    else
    {
        os::Bstr description;
        const HRESULT result = service.object->Invoke(index, values.data(), description.out());
        if (FAILED(result))
            answer = fault(upnpErrorCode(result),
                           description.view().empty() ? "UPnPError" : os::toUtf8(description.view()));
        else
        {
            NamedValues results;
            for (size_t i = 0; i < values.size(); ++i)
                if (action->arguments[i].out)
                    results.emplace_back(action->arguments[i].name, fromVariant(values[i]));
            answer = {200, controlResponse(request->serviceType, request->actionName, results)};
        }
    }
    for (VARIANT& value : values)
        VariantClear(&value);
    return answer;
}
} // namespace upnphost
