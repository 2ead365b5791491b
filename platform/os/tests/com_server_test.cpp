// In-process servers found through HKEY_CLASSES_ROOT, and the regsvr tool that registers them.
#include "test_class.h"
#include "test_support.h"

#include <os/regscript.h>
#include <windows.h>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <set>

namespace
{
std::string programPath(const char* name)
{
    return os::programDirectory() + "/" + name;
}

// The exit code of a program run to its end; -1 when it did not end normally.
int runProgram(const char* program, const std::vector<std::string>& arguments)
{
    ostest::ChildProcess child(arguments, programPath(program));
    while (!child.readLine().empty())
    {
    }
    const int status = child.wait(60000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::u16string readText(HKEY root, const std::u16string& path, const std::u16string& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return u"<no key>";
    WCHAR text[512] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    DWORD type = 0;
    const LONG result =
        RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::u16string(text) : u"<no value>";
}

const std::u16string kServerKey = u"CLSID\\{6A1C3F22-1B2D-4E5F-9011-223344556677}";

class ComServer : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override { CoUninitialize(); }

    ostest::TempDeviceRoot m_root;
};

TEST_F(ComServer, RegsvrWritesTheScriptAndTheClassIsCreatedFromTheRegistry)
{
    ITestCounter* counter = nullptr;
    CLSID byName{};
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                               reinterpret_cast<void**>(&counter)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CLSIDFromProgID(u"OsTest.ServerCounter.1", &byName), CO_E_CLASSSTRING);

    // A key left below the class by an older registration goes with ForceRemove.
    ostest::setRegistryString(HKEY_CLASSES_ROOT, kServerKey + u"\\Stale", u"", u"old");
    ASSERT_EQ(runProgram("regsvr", {"OsComServer.dll"}), 0);

    HMODULE library = LoadLibraryW(u"OsComServer.dll");
    ASSERT_NE(library, nullptr);
    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(library, path, MAX_PATH);
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, kServerKey + u"\\InprocServer32", u""),
              std::u16string(path, length));
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, kServerKey + u"\\InprocServer32", u"ThreadingModel"), u"Free");
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, kServerKey, u""), u"Server Counter");
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, kServerKey + u"\\Stale", u""), u"<no key>");

    ASSERT_EQ(CLSIDFromProgID(u"ostest.servercounter.1", &byName), S_OK);
    EXPECT_EQ(byName, CLSID_TestServerCounter);
    ASSERT_EQ(CoCreateInstance(byName, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                               reinterpret_cast<void**>(&counter)),
              S_OK);
    LONG value = 0;
    counter->Next(&value);
    EXPECT_EQ(value, 1);
    counter->Release();
    FreeLibrary(library);
}

TEST_F(ComServer, ClassFactoryAndServerLocksKeepTheServer)
{
    HMODULE library = LoadLibraryW(u"OsComServer.dll");
    ASSERT_NE(library, nullptr);
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(library, "DllGetClassObject"));
    auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(library, "DllCanUnloadNow"));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK);

    IClassFactory* factory = nullptr;
    EXPECT_EQ(getClassObject(CLSID_TestCounter, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(CLSID_TestServerCounter, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    IUnknown* other = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_ITestCounter, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
    EXPECT_EQ(factory->CreateInstance(factory, IID_ITestCounter, reinterpret_cast<void**>(&other)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(other, nullptr);
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE);

    ASSERT_EQ(getClassObject(CLSID_TestServerCounter, IID_IUnknown, reinterpret_cast<void**>(&other)), S_OK);
    ASSERT_EQ(other->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    other->Release();
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
    FreeLibrary(library);
}

TEST_F(ComServer, BrokenRegistrationsGiveTheirErrors)
{
    struct Case
    {
        const char* what;
        std::u16string server; // the InprocServer32 value
        HRESULT expected;
    };
    const Case cases[] = {
        {"missing library", u"NoSuchServer.dll", HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
        {"library without DllGetClassObject", u"OsTestLib.dll", CO_E_ERRORINDLL},
        {"empty path", u"", REGDB_E_CLASSNOTREG},
    };
    for (const Case& c : cases)
    {
        ostest::setRegistryString(HKEY_CLASSES_ROOT, kServerKey + u"\\InprocServer32", u"", c.server);
        IUnknown* object = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_TestServerCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&object)),
                  c.expected)
            << c.what;
        EXPECT_EQ(object, nullptr) << c.what;
    }

    ostest::setRegistryString(HKEY_CLASSES_ROOT, u"Bad.ProgId\\CLSID", u"", u"{not a guid}");
    ostest::setRegistryString(HKEY_CLASSES_ROOT, u"Bad.ProgId\\Deeper\\CLSID", u"",
                              u"{6A1C3F22-1B2D-4E5F-9011-223344556677}");
    CLSID clsid{};
    for (const char16_t* progId : {u"Bad.ProgId", u"Bad.ProgId\\Deeper", u"", u"No.Such.ProgId"})
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), CO_E_CLASSSTRING) << os::toUtf8(progId);
}

TEST_F(ComServer, RegsvrExitCodes)
{
    struct Case
    {
        std::vector<std::string> arguments;
        int exitCode;
    };
    const Case cases[] = {
        {{"-u", "OsComServer.dll"}, 1}, // its DllUnregisterServer answers E_NOTIMPL
        {{"NoSuchServer.dll"}, 1},
        {{"OsTestLib.dll"}, 1}, // no DllRegisterServer
        {{}, 2},
        {{"-x", "OsComServer.dll"}, 2},
        {{"OsComServer.dll", "extra"}, 2},
    };
    for (const Case& c : cases)
    {
        std::string line;
        for (const auto& argument : c.arguments)
            line += argument + " ";
        EXPECT_EQ(runProgram("regsvr", c.arguments), c.exitCode) << line;
    }
}

TEST_F(ComServer, RegToolWritesAndReadsValues)
{
    EXPECT_EQ(runProgram("reg", {"get", "HKLM\\Platform", "HostAddress"}), 1);
    EXPECT_EQ(runProgram("reg", {"set", "HKLM\\Platform", "HostAddress", "sz", "127.0.0.1"}), 0);
    EXPECT_EQ(runProgram("reg", {"set", "HKLM\\Platform", "SsdpEnable", "dword", "0x1"}), 0);
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, u"Platform", u"HostAddress"), u"127.0.0.1");
    ostest::ChildProcess child({"get", "HKEY_LOCAL_MACHINE\\Platform", "SsdpEnable"}, programPath("reg"));
    EXPECT_EQ(child.readLine(), "1");
    EXPECT_EQ(runProgram("reg", {"get", "HKLM\\Platform", "HostAddress"}), 0);
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"set", "HKXX\\Platform", "A", "sz", "x"},
                                               {"set", "HKLM\\Platform", "A", "dword", "12x"},
                                               {"set", "HKLM\\Platform", "A", "qword", "1"},
                                               {"get", "HKLM\\Platform"}})
        EXPECT_EQ(runProgram("reg", wrong), 2) << wrong[0] << " " << wrong[1];
}

TEST(ComGuid, CreatedGuidsAreRandomVersionFour)
{
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i)
    {
        GUID guid{};
        ASSERT_EQ(CoCreateGuid(&guid), S_OK);
        EXPECT_EQ(guid.Data3 >> 12, 4);
        EXPECT_EQ(guid.Data4[0] & 0xC0, 0x80);
        seen.insert(os::guidToString(guid));
    }
    EXPECT_EQ(seen.size(), 1000u);
    EXPECT_EQ(CoCreateGuid(nullptr), E_INVALIDARG);
}
} // namespace
