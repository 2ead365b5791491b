// The COM base types the user server's interfaces need, for builds in which
// the operating-system layer does not declare them yet.
#pragma once

#include <windows.h>

#if !__has_include(<os/com.h>)
struct IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef WCHAR* BSTR;
#endif
