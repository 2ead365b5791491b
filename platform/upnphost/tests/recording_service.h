// A service object for the host's control tests: "Echo" gives back what it was called with,
// "Fail" fails with the HRESULT it is given.
#pragma once

#include <upnphost/upnphost.h>

#include <atomic>
#include <string>

namespace upnphosttest
{
class RecordingService : public os::ComObject<IUPnPService, IID_IUPnPService>
{
public:
    STDMETHODIMP_(const UPnPServiceTable*) serviceTable() override
    {
        using T = UPnPDataType;
        static const UPnPServiceTable table{{{"Echo",
                                              {{"text", T::string, false},
                                               {"number", T::i4, false},
                                               {"count", T::ui4, false},
                                               {"textBack", T::string, true},
                                               {"twice", T::i4, true}}},
                                             {"Fail", {{"result", T::ui4, false}}}},
                                            {{"Level", T::i4}, {"Note", T::string}}};
        return &table;
    }

    STDMETHODIMP Invoke(UINT action, VARIANT* arguments, BSTR* errorDescription) override
    {
        ++calls;
        *errorDescription = nullptr;
        if (action == 0)
        {
            lastText = std::u16string(arguments[0].bstrVal, SysStringLen(arguments[0].bstrVal));
            lastNumber = arguments[1].lVal;
            lastCount = arguments[2].ulVal;
            arguments[3].vt = VT_BSTR;
            arguments[3].bstrVal = SysAllocStringLen(lastText.data(), static_cast<UINT>(lastText.size()));
            arguments[4].vt = VT_I4;
            arguments[4].lVal = 2 * lastNumber;
            return S_OK;
        }
        const HRESULT result = static_cast<HRESULT>(arguments[0].ulVal);
        if (result != E_FAIL)
            *errorDescription = SysAllocString(u"Failed <on> purpose");
        return result;
    }

    STDMETHODIMP GetProperty(UINT property, VARIANT* value) override
    {
        if (property == 0)
        {
            value->vt = VT_I4;
            value->lVal = -7;
        }
        else
        {
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocString(u"a & b");
        }
        return S_OK;
    }

    std::atomic<int> calls{0};
    std::u16string lastText;
    LONG lastNumber = 0;
    ULONG lastCount = 0;
};
} // namespace upnphosttest
