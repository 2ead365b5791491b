#include "device.h"

#include "action_errors.h"
#include "service_table.h"

namespace netherald
{
namespace
{
std::u16string_view textOf(BSTR text)
{
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}

BSTR newText(std::string_view text)
{
    const std::u16string wide = os::toUtf16(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// The VARIANT types the table gives the in arguments.
bool argumentsMatch(const UPnPAction& action, const VARIANT* arguments)
{
    for (size_t i = 0; i < action.arguments.size(); ++i)
    {
        if (action.arguments[i].out)
            continue;
        const VARTYPE wanted = action.arguments[i].type == UPnPDataType::string ? VT_BSTR
                               : action.arguments[i].type == UPnPDataType::i4   ? VT_I4
                                                                                : VT_UI4;
        if (arguments[i].vt != wanted)
            return false;
    }
    return true;
}

void setText(VARIANT& value, BSTR text)
{
    value.vt = VT_BSTR;
    value.bstrVal = text;
}
} // namespace

Device::Device() : Device(std::make_shared<SystemClock>(), std::make_shared<MulticastSender>()) {}

Device::Device(std::shared_ptr<Clock> clock, std::shared_ptr<DatagramSender> sender)
    : m_actions(m_log), m_announcer(std::move(clock), std::move(sender), m_log)
{
}

Device::~Device()
{
    std::u16string udn;
    bool initialised = false;
    {
        std::lock_guard lock(m_mutex);
        udn = m_udn;
        initialised = m_initialised;
    }
    if (initialised)
        m_announcer.release(udn);
}

STDMETHODIMP Device::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IUPnPDeviceControl)
        *object = static_cast<IUPnPDeviceControl*>(this);
    else if (iid == IID_IUPnPService)
        *object = static_cast<IUPnPService*>(this);
    else if (iid == IID_INetherald_UPnPService)
        *object = static_cast<INetherald_UPnPService*>(this);
    else
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) Device::AddRef()
{
    return ++m_references;
}

STDMETHODIMP_(ULONG) Device::Release()
{
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP Device::Initialize(BSTR, BSTR deviceIdentifier, BSTR)
{
    os::ComPtr<IUPnPRegistrar> registrar;
    HRESULT result = CoCreateInstance(CLSID_UPnPRegistrar, nullptr, CLSCTX_SERVER, IID_IUPnPRegistrar,
                                      registrar.outVoid());
    if (FAILED(result))
    {
        m_log.write("Unable to init UPnPRegistrar");
        return result;
    }
    const os::Bstr templateUdn(kTemplateUdn);
    os::Bstr udn;
    result = registrar->GetUniqueDeviceName(deviceIdentifier, templateUdn.get(), udn.out());
    if (FAILED(result) || udn.view().empty())
    {
        m_log.write("Unable to get UDN");
        return FAILED(result) ? result : E_FAIL;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_initialised)
            return E_UNEXPECTED;
        m_udn = udn.view();
        m_initialised = true;
    }
    m_announcer.scheduleAlive(std::u16string(udn.view()));
    return S_OK;
}

STDMETHODIMP Device::GetServiceObject(BSTR udn, BSTR serviceId, IUPnPService** service)
{
    if (!service)
        return E_POINTER;
    *service = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (!m_initialised)
            return E_UNEXPECTED;
        if (textOf(udn) != u"uuid:" + m_udn)
        {
            m_log.write("Invalid UDN");
            return E_FAIL;
        }
    }
    if (textOf(serviceId) != os::toUtf16(kServiceId))
    {
        m_log.write("Invalid serviceid");
        return E_FAIL;
    }
    return QueryInterface(IID_IUPnPService, reinterpret_cast<void**>(service));
}

STDMETHODIMP_(const UPnPServiceTable*) Device::serviceTable()
{
    return &netherald::serviceTable();
}

STDMETHODIMP Device::Invoke(UINT action, VARIANT* arguments, BSTR* errorDescription)
{
    if (errorDescription)
        *errorDescription = nullptr;
    const HRESULT result = invokeAction(action, arguments);
    if (FAILED(result) && errorDescription)
        *errorDescription = newText(actionErrorText(result));
    return result;
}

HRESULT Device::invokeAction(UINT action, VARIANT* a)
{
    const UPnPServiceTable& table = netherald::serviceTable();
    if (action >= table.actions.size() || !a || !argumentsMatch(table.actions[action], a))
        return E_INVALIDARG;
    // The argument positions follow the rows of the service table.
    switch (action)
    {
    case actionRead:
        setText(a[5], nullptr);
        return Read(a[0].bstrVal, a[1].lVal, a[2].ulVal, a[3].ulVal, a[4].lVal, &a[5].bstrVal);
    case actionReadWrite:
        setText(a[6], nullptr);
        return ReadWrite(a[0].bstrVal, a[1].lVal, a[2].ulVal, a[3].ulVal, a[4].lVal, a[5].bstrVal,
                         &a[6].bstrVal);
    case actionReadWriteEx:
        setText(a[6], nullptr);
        a[7].vt = VT_UI4;
        a[7].ulVal = 0;
        return ReadWriteEx(a[0].bstrVal, a[1].lVal, a[2].ulVal, a[3].ulVal, a[4].lVal, a[5].bstrVal,
                           &a[6].bstrVal, &a[7].ulVal);
    case actionWrite:
        return Write(a[0].bstrVal, a[1].lVal, a[2].ulVal, a[3].ulVal, a[4].bstrVal);
    default:
        return E_INVALIDARG;
    }
}

STDMETHODIMP Device::GetProperty(UINT property, VARIANT* value)
{
    if (!value)
        return E_POINTER;
    VariantInit(value);
    switch (property)
    {
    case propertyInt:
        value->vt = VT_I4;
        return get_Int(&value->lVal);
    case propertyString:
        value->vt = VT_BSTR;
        return get_String(&value->bstrVal);
    default:
        return E_INVALIDARG;
    }
}

STDMETHODIMP Device::Read(BSTR netId, LONG nPort, ULONG, ULONG indexOffset, LONG cbRdLen, BSTR* ppData)
{
    if (!ppData)
        return E_POINTER;
    *ppData = nullptr;
    std::string data;
    const HRESULT result = m_actions.read(textOf(netId), nPort, indexOffset, cbRdLen, data);
    if (SUCCEEDED(result) && !(*ppData = newText(data)))
        return E_OUTOFMEMORY;
    return result;
}

STDMETHODIMP Device::ReadWrite(BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, LONG cbRdLen,
                               BSTR pwrData, BSTR* ppRdData)
{
    ULONG returned = 0;
    return ReadWriteEx(netId, nPort, indexGroup, indexOffset, cbRdLen, pwrData, ppRdData, &returned);
}

STDMETHODIMP Device::ReadWriteEx(BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, LONG cbRdLen,
                                 BSTR pwrData, BSTR* ppRdData, ULONG* pcbReturn)
{
    if (!ppRdData || !pcbReturn)
        return E_POINTER;
    *ppRdData = nullptr;
    std::string data;
    const HRESULT result = m_actions.readWrite(textOf(netId), nPort, indexGroup, indexOffset, cbRdLen,
                                               textOf(pwrData), data, *pcbReturn);
    if (SUCCEEDED(result) && !(*ppRdData = newText(data)))
        return E_OUTOFMEMORY;
    return result;
}

STDMETHODIMP Device::Write(BSTR netId, LONG nPort, ULONG, ULONG indexOffset, BSTR pData)
{
    return m_actions.write(textOf(netId), nPort, indexOffset, textOf(pData));
}

STDMETHODIMP Device::get_Int(LONG* value)
{
    if (!value)
        return E_POINTER;
    *value = m_actions.lastGktResult();
    return S_OK;
}

STDMETHODIMP Device::get_String(BSTR* value)
{
    if (!value)
        return E_POINTER;
    *value = newText(m_actions.lastErrorText());
    return *value ? S_OK : E_OUTOFMEMORY;
}
} // namespace netherald
