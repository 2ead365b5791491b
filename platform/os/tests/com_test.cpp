#include "test_class.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(Com, ClassesOfALoadedLibraryAreCreatedByClsidAndProgId)
{
    ITestCounter* counter = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                               reinterpret_cast<void**>(&counter)),
              CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);

    const CLSID unknown = {0x6A1C3F2F, 0x1B2D, 0x4E5F, {0x90, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                               reinterpret_cast<void**>(&counter)),
              REGDB_E_CLASSNOTREG);
    HMODULE library = LoadLibraryW(u"OsTestLib.dll");
    ASSERT_NE(library, nullptr);
    CLSID byName{};
    ASSERT_EQ(CLSIDFromProgID(u"ostest.counter", &byName), S_OK);
    EXPECT_EQ(byName, CLSID_TestCounter);
    EXPECT_EQ(CLSIDFromProgID(u"Nobody.Here", &byName), CO_E_CLASSSTRING);

    ASSERT_EQ(CoCreateInstance(byName, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                               reinterpret_cast<void**>(&counter)),
              S_OK);
    LONG value = 0;
    counter->Next(&value);
    counter->Next(&value);
    EXPECT_EQ(value, 2);

    // Other threads use COM while this thread has it initialised.
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD
        {
            IUnknown* unknown = nullptr;
            const HRESULT result = CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_IUnknown, reinterpret_cast<void**>(&unknown));
            if (unknown)
                unknown->Release();
            return static_cast<DWORD>(result);
        },
        nullptr, 0, nullptr);
    WaitForSingleObject(thread, 30000);
    DWORD threadResult = 1;
    GetExitCodeThread(thread, &threadResult);
    CloseHandle(thread);
    EXPECT_EQ(static_cast<HRESULT>(threadResult), S_OK);

    IUnknown* other = nullptr;
    EXPECT_EQ(counter->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
    EXPECT_EQ(counter->Release(), 0u);
    FreeLibrary(library);
    CoUninitialize();
    CoUninitialize();
}

TEST(Com, BstrKeepsItsLengthAndTerminator)
{
    BSTR text = SysAllocString(u"Opcwatch");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 8u);
    EXPECT_EQ(SysStringByteLen(text), 16u);
    EXPECT_EQ(std::u16string(text), u"Opcwatch");
    SysFreeString(text);

    const OLECHAR embedded[] = u"a\0b";
    BSTR withNull = SysAllocStringLen(embedded, 3);
    EXPECT_EQ(SysStringLen(withNull), 3u);
    EXPECT_EQ(withNull[3], u'\0');
    EXPECT_EQ(std::u16string(withNull, SysStringLen(withNull)), std::u16string(embedded, 3));

    VARIANT source;
    VARIANT copy;
    VariantInit(&source);
    VariantInit(&copy);
    source.vt = VT_BSTR;
    source.bstrVal = withNull;
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(SysStringLen(copy.bstrVal), 3u);
    VariantClear(&source);
    VariantClear(&copy);
    EXPECT_EQ(copy.vt, VT_EMPTY);

    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}
