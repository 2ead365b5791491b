#include <os/com.h>
#include <os/text.h>

#include <atomic>
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
        return REGDB_E_CLASSNOTREG;
    return creator(outer, iid, object);
}

extern "C" HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid)
{
    if (!progId || !clsid)
        return E_INVALIDARG;
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
    return CO_E_CLASSSTRING;
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
