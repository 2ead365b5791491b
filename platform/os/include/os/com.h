// A small in-process COM: IUnknown, class factories, BSTR and VARIANT, and
// CoCreateInstance over a table of classes that libraries register at load time, else
// over the in-process servers that HKEY_CLASSES_ROOT names:
//   HKCR\CLSID\{clsid}\InprocServer32  (default value: the library, as LoadLibrary takes it)
//   HKCR\<ProgID>\CLSID                (default value: "{clsid}")
// Such a library exports DllGetClassObject; it stays loaded once used.
#pragma once

#include <os/guid.h>
#include <os/types.h>

#include <atomic>
#include <string_view>
#include <utility>

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

// The entry points of an in-process server library.
typedef HRESULT (*LPFNGETCLASSOBJECT)(REFCLSID clsid, REFIID iid, LPVOID* object);
typedef HRESULT (*LPFNCANUNLOADNOW)();
typedef HRESULT (*LPFNREGISTERSERVER)();

namespace os
{
// Creates an object of a class: the signature of IClassFactory::CreateInstance.
typedef HRESULT (*ClassCreator)(IUnknown* outer, REFIID iid, void** object);

// Makes a class known to CoCreateInstance (and its ProgID, when given, to
// CLSIDFromProgID). A library calls this from a static initialiser, so that the
// class exists once the library is loaded. Registering a class again replaces it.
void registerClass(REFCLSID clsid, ClassCreator creator, LPCWSTR progId = nullptr);
void unregisterClass(REFCLSID clsid);

// What keeps an in-process server loaded: its live objects and LockServer locks.
class ServerLock
{
public:
    void add();
    void release();
    // DllCanUnloadNow's answer: S_OK when nothing holds the server, else S_FALSE.
    HRESULT canUnloadNow() const;

private:
    std::atomic<long> m_count{0};
};

// DllGetClassObject's work for one class: a new class factory (IClassFactory or IUnknown)
// whose CreateInstance calls `creator`, and whose LockServer counts in `lock`.
HRESULT getClassObject(ClassCreator creator, ServerLock& lock, REFIID iid, void** object);

// Holds one reference of an interface pointer; copies take one more.
template <typename Interface> class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : m_pointer(other.m_pointer)
    {
        if (m_pointer)
            m_pointer->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_pointer(other.m_pointer) { other.m_pointer = nullptr; }
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }
    ~ComPtr() { reset(); }

    Interface* get() const { return m_pointer; }
    Interface* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // For an out parameter: drops the reference held and takes the one the call gives.
    Interface** out()
    {
        reset();
        return &m_pointer;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    void reset()
    {
        if (m_pointer)
            m_pointer->Release();
        m_pointer = nullptr;
    }

private:
    Interface* m_pointer = nullptr;
};

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

// IUnknown for a class of one interface: reference counting, and QueryInterface for
// IUnknown and `iid`. The last Release deletes the object.
template <typename Interface, const IID& iid> class ComObject : public Interface
{
public:
    STDMETHODIMP QueryInterface(REFIID wanted, void** object) override
    {
        return queryInterface<Interface>(this, iid, wanted, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> m_references{1};
};

// A new random UUID as os::uuidText writes it; empty when none can be made.
std::string newUuid();

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
    // A random (version 4) GUID.
    HRESULT CoCreateGuid(GUID* guid);

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

namespace os
{
// Owns one BSTR.
class Bstr
{
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text)
        : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(m_text); }

    BSTR get() const { return m_text; }
    // For an out parameter: frees the text held and takes the one the call gives.
    BSTR* out()
    {
        SysFreeString(m_text);
        m_text = nullptr;
        return &m_text;
    }
    std::u16string_view view() const
    {
        return m_text ? std::u16string_view(m_text, SysStringLen(m_text)) : u"";
    }

private:
    BSTR m_text = nullptr;
};
} // namespace os
