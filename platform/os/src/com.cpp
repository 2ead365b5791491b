#include <os/com.h>
#include <os/module.h>
#include <os/registry.h>
#include <os/text.h>

#include <sys/random.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace
{
struct ClassEntry
{
    CLSID clsid;
    os::ClassCreator creator;
    std::u16string progId;
};

struct ClassTable
{
    std::mutex mutex;
    std::vector<ClassEntry> classes;
};

ClassTable& classTable()
{
    static auto* table = new ClassTable;
    return *table;
}

std::atomic<int> g_initialisedThreads{0};
thread_local int t_initialisations = 0;

class ClassFactory : public os::ComObject<IClassFactory, IID_IClassFactory>
{
public:
    ClassFactory(os::ClassCreator creator, os::ServerLock& lock) : m_creator(creator), m_lock(lock)
    {
        m_lock.add();
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        return m_creator(outer, iid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            m_lock.add();
        else
            m_lock.release();
        return S_OK;
    }

private:
    ~ClassFactory() override { m_lock.release(); }

    os::ClassCreator m_creator;
    os::ServerLock& m_lock;
};

// An in-process server that HKCR names for the class; the library stays loaded.
HRESULT createFromRegisteredServer(REFCLSID clsid, IUnknown* outer, REFIID iid, LPVOID* object)
{
    const std::u16string key = u"CLSID\\" + os::toUtf16(os::guidToString(clsid)) + u"\\InprocServer32";
    const std::u16string library = os::registryString(HKEY_CLASSES_ROOT, key.c_str(), u"").value_or(u"");
    if (library.empty())
        return REGDB_E_CLASSNOTREG;
    HMODULE module = LoadLibraryW(library.c_str());
    if (!module)
        return HRESULT_FROM_WIN32(GetLastError());
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module, "DllGetClassObject"));
    if (!getClassObject)
        return CO_E_ERRORINDLL;
    IClassFactory* factory = nullptr;
    const HRESULT found = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(found) || !factory)
        return FAILED(found) ? found : E_UNEXPECTED;
    const HRESULT created = factory->CreateInstance(outer, iid, object);
    factory->Release();
    return created;
}
} // namespace

namespace os
{
void registerClass(REFCLSID clsid, ClassCreator creator, LPCWSTR progId)
{
    auto& table = classTable();
    std::lock_guard lock(table.mutex);
    for (auto& entry : table.classes)
    {
        if (entry.clsid == clsid)
        {
            entry.creator = creator;
            entry.progId = progId ? progId : u"";
            return;
        }
    }
    table.classes.push_back(ClassEntry{clsid, creator, progId ? progId : u""});
}

void unregisterClass(REFCLSID clsid)
{
    auto& table = classTable();
    std::lock_guard lock(table.mutex);
    std::erase_if(table.classes, [&](const ClassEntry& entry) { return entry.clsid == clsid; });
}

void ServerLock::add()
{
    ++m_count;
}

void ServerLock::release()
{
    --m_count;
}

HRESULT ServerLock::canUnloadNow() const
{
    return m_count.load() == 0 ? S_OK : S_FALSE;
}

std::string newUuid()
{
    GUID guid{};
    return SUCCEEDED(CoCreateGuid(&guid)) ? uuidText(guid) : std::string();
}

HRESULT getClassObject(ClassCreator creator, ServerLock& lock, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    auto* factory = new ClassFactory(creator, lock);
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}
} // namespace os

extern "C" HRESULT CoInitializeEx(LPVOID, DWORD)
{
    if (t_initialisations++ > 0)
        return S_FALSE;
    ++g_initialisedThreads;
    return S_OK;
}

extern "C" HRESULT CoInitialize(LPVOID reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

extern "C" void CoUninitialize()
{
    if (t_initialisations == 0)
        return;
    if (--t_initialisations == 0)
        --g_initialisedThreads;
}

extern "C" HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (g_initialisedThreads.load() == 0)
        return CO_E_NOTINITIALIZED;
    os::ClassCreator creator = nullptr;
    {
        auto& table = classTable();
        std::lock_guard lock(table.mutex);
        for (const auto& entry : table.classes)
            if (entry.clsid == clsid)
                creator = entry.creator;
    }
    if (!creator)
        return createFromRegisteredServer(clsid, outer, iid, object);
    return creator(outer, iid, object);
}

extern "C" HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid)
{
    if (!progId || !clsid)
        return E_INVALIDARG;
    {
        auto& table = classTable();
        std::lock_guard lock(table.mutex);
        for (const auto& entry : table.classes)
        {
            if (!entry.progId.empty() && os::compareNoCase(entry.progId, progId) == 0)
            {
                *clsid = entry.clsid;
                return S_OK;
            }
        }
    }
    // A ProgID is one key name; a "\" in it would reach some other key.
    const std::u16string name = progId;
    if (name.empty() || name.find(u'\\') != std::u16string::npos)
        return CO_E_CLASSSTRING;
    const auto text = os::registryString(HKEY_CLASSES_ROOT, (name + u"\\CLSID").c_str(), u"");
    return text && os::guidFromString(os::toUtf8(*text), *clsid) ? S_OK : CO_E_CLASSSTRING;
}

extern "C" HRESULT CoCreateGuid(GUID* guid)
{
    if (!guid)
        return E_INVALIDARG;
    uint8_t bytes[16];
    size_t filled = 0;
    while (filled < sizeof bytes)
    {
        const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            return E_FAIL;
        }
        filled += static_cast<size_t>(got);
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80); // the standard variant
    guid->Data1 = static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    guid->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    guid->Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(guid->Data4, bytes + 8, 8);
    return S_OK;
}

extern "C" LPVOID CoTaskMemAlloc(SIZE_T size)
{
    return std::malloc(size ? size : 1);
}

extern "C" void CoTaskMemFree(LPVOID memory)
{
    std::free(memory);
}

namespace
{
// Layout: 32-bit byte length, the bytes, then a two-byte terminator.
BSTR allocateBytes(const void* data, UINT byteLength)
{
    auto* block = static_cast<uint8_t*>(std::malloc(sizeof(uint32_t) + byteLength + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    const uint32_t length = byteLength;
    std::memcpy(block, &length, sizeof length);
    uint8_t* text = block + sizeof(uint32_t);
    if (data)
        std::memcpy(text, data, byteLength);
    else
        std::memset(text, 0, byteLength);
    text[byteLength] = 0;
    text[byteLength + 1] = 0;
    return reinterpret_cast<BSTR>(text);
}

uint8_t* blockOf(BSTR text)
{
    return reinterpret_cast<uint8_t*>(text) - sizeof(uint32_t);
}
} // namespace

extern "C" BSTR SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(os::wideLength(text)));
}

extern "C" BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    return allocateBytes(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

extern "C" BSTR SysAllocStringByteLen(LPCSTR data, UINT length)
{
    return allocateBytes(data, length);
}

extern "C" void SysFreeString(BSTR text)
{
    if (text)
        std::free(blockOf(text));
}

extern "C" UINT SysStringByteLen(BSTR text)
{
    if (!text)
        return 0;
    uint32_t length = 0;
    std::memcpy(&length, blockOf(text), sizeof length);
    return length;
}

extern "C" UINT SysStringLen(BSTR text)
{
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

extern "C" void VariantInit(VARIANTARG* variant)
{
    if (variant)
        std::memset(variant, 0, sizeof *variant);
}

extern "C" HRESULT VariantClear(VARIANTARG* variant)
{
    if (!variant)
        return E_INVALIDARG;
    if (variant->vt == VT_BSTR)
        SysFreeString(variant->bstrVal);
    else if ((variant->vt == VT_UNKNOWN || variant->vt == VT_DISPATCH) && variant->punkVal)
        variant->punkVal->Release();
    VariantInit(variant);
    return S_OK;
}

extern "C" HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source)
{
    if (!target || !source)
        return E_INVALIDARG;
    if (target == source)
        return S_OK;
    VariantClear(target);
    *target = *source;
    if (source->vt == VT_BSTR && source->bstrVal)
    {
        target->bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source->bstrVal),
                                                SysStringByteLen(source->bstrVal));
        if (!target->bstrVal)
        {
            VariantInit(target);
            return E_OUTOFMEMORY;
        }
    }
    else if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal)
    {
        source->punkVal->AddRef();
    }
    return S_OK;
}
