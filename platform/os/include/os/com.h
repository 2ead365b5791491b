// A small in-process COM: IUnknown, class factories, BSTR and VARIANT, and
// CoCreateInstance over a table of classes that libraries register at load time.
#pragma once

#include <os/guid.h>
#include <os/types.h>

#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;
typedef short VARIANT_BOOL;
typedef unsigned short VARTYPE;
#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))

extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;

struct IUnknown
{
    STDMETHOD(QueryInterface)(REFIID iid, void** object) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;

protected:
    ~IUnknown() = default; // objects go through Release
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : public IUnknown
{
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) PURE;
    STDMETHOD(LockServer)(BOOL lock) PURE;

protected:
    ~IClassFactory() = default;
};

enum VARENUM : VARTYPE
{
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_BYREF = 0x4000,
};

struct VARIANT
{
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union
    {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        BYTE bVal;
        CHAR cVal;
        SHORT iVal;
        USHORT uiVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        void* byref;
    };
};
typedef VARIANT VARIANTARG;

namespace os
{
// Creates an object of a class: the signature of IClassFactory::CreateInstance.
typedef HRESULT (*ClassCreator)(IUnknown* outer, REFIID iid, void** object);

// Makes a class known to CoCreateInstance (and its ProgID, when given, to
// CLSIDFromProgID). A library calls this from a static initialiser, so that the
// class exists once the library is loaded. Registering a class again replaces it.
void registerClass(REFCLSID clsid, ClassCreator creator, LPCWSTR progId = nullptr);
void unregisterClass(REFCLSID clsid);

// QueryInterface of an object that offers one interface besides IUnknown: the object
// with a new reference, or E_NOINTERFACE and null.
template <typename Interface> HRESULT queryInterface(Interface* self, REFIID own, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == own)
    {
        *object = self;
        self->AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// A ClassCreator for a class whose new objects hold one reference: no aggregation, then
// the interface asked for.
template <typename Class> HRESULT createObject(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* created = new Class;
    const HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}
} // namespace os

extern "C"
{
    // COM is usable on every thread of the process while any thread has it initialised.
    HRESULT CoInitialize(LPVOID reserved);
    HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
    void CoUninitialize();
    // REGDB_E_CLASSNOTREG for an unknown class, CO_E_NOTINITIALIZED without CoInitialize.
    HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object);
    HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);

    LPVOID CoTaskMemAlloc(SIZE_T size);
    void CoTaskMemFree(LPVOID memory);

    // The length (in characters) lies in front of the text; the text is terminated.
    BSTR SysAllocString(const OLECHAR* text);
    BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
    BSTR SysAllocStringByteLen(LPCSTR data, UINT length);
    void SysFreeString(BSTR text);
    UINT SysStringLen(BSTR text);
    UINT SysStringByteLen(BSTR text);

    void VariantInit(VARIANTARG* variant);
    HRESULT VariantClear(VARIANTARG* variant);
    HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source);
}
