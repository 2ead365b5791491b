#include "driver_table.h"

#include <os/text.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace devmgr
{

namespace
{

const char16_t kBuiltInKey[] = u"Drivers\\BuiltIn";
const char16_t kActiveKey[] = u"Drivers\\Active";
// "Flags" bit of a driver that stays unloaded (a program switches a driver off with it).
constexpr DWORD kFlagNoLoad = 0x4;

std::optional<std::u16string> readText(HKEY key, const char16_t* name)
{
    DWORD type = 0;
    WCHAR buffer[MAX_PATH] = {};
    DWORD size = sizeof buffer - sizeof(WCHAR);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return std::u16string(buffer);
}

void setText(HKEY key, const char16_t* name, const std::u16string& text)
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

std::vector<std::unique_ptr<Driver>> listDrivers()
{
    std::vector<std::unique_ptr<Driver>> drivers;
    HKEY builtIn = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBuiltInKey, 0, 0, &builtIn) != ERROR_SUCCESS)
        return drivers;
    for (DWORD i = 0;; ++i)
    {
        WCHAR name[256] = {};
        DWORD nameLength = 256;
        if (RegEnumKeyExW(builtIn, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        if (RegOpenKeyExW(builtIn, name, 0, 0, &key) != ERROR_SUCCESS)
            continue;
        auto driver = std::make_unique<Driver>();
        driver->keyName = os::toUtf8(name);
        const auto dll = readText(key, u"Dll");
        const auto prefix = readText(key, u"Prefix");
        driver->index = os::queryNumber(key, u"Index").value_or(1);
        driver->order = os::queryNumber(key, u"Order").value_or(0xFFFFFFFF);
        const DWORD flags = os::queryNumber(key, u"Flags").value_or(0);
        RegCloseKey(key);
        if (flags & kFlagNoLoad)
        {
            std::printf("devmgr: Drivers\\BuiltIn\\%s not loaded (\"Flags\" %u)\n", driver->keyName.c_str(),
                        static_cast<unsigned>(flags));
            continue;
        }
        if (!dll || !prefix || prefix->size() != 3 || driver->index > 9)
        {
            std::fprintf(stderr,
                         "devmgr: Drivers\\BuiltIn\\%s skipped: needs \"Dll\", a three-letter \"Prefix\" "
                         "and an \"Index\" of 0 to 9\n",
                         driver->keyName.c_str());
            continue;
        }
        driver->dll = os::toUtf8(*dll);
        driver->prefix = os::toUtf8(*prefix);
        driver->deviceName = driver->prefix + std::to_string(driver->index) + ":";
        drivers.push_back(std::move(driver));
    }
    RegCloseKey(builtIn);
    std::stable_sort(drivers.begin(), drivers.end(),
                     [](const auto& a, const auto& b) { return a->order < b->order; });
    return drivers;
}

template <class T> T entryPoint(HMODULE module, const std::string& prefix, const char* name)
{
    return reinterpret_cast<T>(GetProcAddress(module, (prefix + "_" + name).c_str()));
}

} // namespace

DriverTable::~DriverTable()
{
    unloadAll();
}

void DriverTable::loadAll()
{
    // Active keys left by a manager that did not stop in order name no device.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kActiveKey);
    unsigned activeNumber = 0;
    for (auto& driver : listDrivers())
    {
        if (find(driver->deviceName))
        {
            std::fprintf(stderr, "devmgr: %s of %s is taken, driver skipped\n", driver->deviceName.c_str(),
                         driver->keyName.c_str());
            continue;
        }
        if (load(*driver, ++activeNumber))
        {
            std::lock_guard guard(m_lock);
            m_drivers.push_back(std::move(driver));
        }
    }
}

bool DriverTable::load(Driver& driver, unsigned activeNumber)
{
    driver.module = LoadLibraryA(driver.dll.c_str());
    if (!driver.module)
    {
        std::fprintf(stderr, "devmgr: cannot load %s (error %u)\n", driver.dll.c_str(),
                     static_cast<unsigned>(GetLastError()));
        return false;
    }
    driver.init = entryPoint<PFN_DRIVER_INIT>(driver.module, driver.prefix, "Init");
    driver.deinit = entryPoint<PFN_DRIVER_DEINIT>(driver.module, driver.prefix, "Deinit");
    driver.open = entryPoint<PFN_DRIVER_OPEN>(driver.module, driver.prefix, "Open");
    driver.close = entryPoint<PFN_DRIVER_CLOSE>(driver.module, driver.prefix, "Close");
    driver.read = entryPoint<PFN_DRIVER_READ>(driver.module, driver.prefix, "Read");
    driver.write = entryPoint<PFN_DRIVER_WRITE>(driver.module, driver.prefix, "Write");
    driver.seek = entryPoint<PFN_DRIVER_SEEK>(driver.module, driver.prefix, "Seek");
    driver.ioControl = entryPoint<PFN_DRIVER_IOCONTROL>(driver.module, driver.prefix, "IOControl");
    if (!driver.init || !driver.deinit || !driver.open || !driver.close)
    {
        std::fprintf(stderr, "devmgr: %s lacks %s_Init, _Deinit, _Open or _Close\n", driver.dll.c_str(),
                     driver.prefix.c_str());
        FreeLibrary(driver.module);
        return false;
    }

    // The active key tells the driver where its own settings are, and the
    // other programs which device files exist.
    char number[8];
    std::snprintf(number, sizeof number, "%02u", activeNumber);
    driver.activeKey = std::u16string(kActiveKey) + u"\\" + os::toUtf16(number);
    HKEY active = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, driver.activeKey.c_str(), 0, nullptr, 0, 0, nullptr, &active,
                        nullptr) == ERROR_SUCCESS)
    {
        setText(active, u"Key", std::u16string(kBuiltInKey) + u"\\" + os::toUtf16(driver.keyName));
        setText(active, u"Name", os::toUtf16(driver.deviceName));
        RegCloseKey(active);
    }

    SetLastError(0);
    driver.deviceContext = driver.init(driver.activeKey.c_str(), nullptr);
    if (driver.deviceContext == 0)
    {
        std::fprintf(stderr, "devmgr: %s_Init of %s failed (error %u), driver unloaded\n",
                     driver.prefix.c_str(), driver.dll.c_str(), static_cast<unsigned>(GetLastError()));
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, driver.activeKey.c_str());
        FreeLibrary(driver.module);
        return false;
    }
    std::printf("devmgr: %s served by %s\n", driver.deviceName.c_str(), driver.dll.c_str());
    return true;
}

void DriverTable::unloadAll()
{
    for (;;)
    {
        Driver* driver = nullptr;
        {
            std::lock_guard guard(m_lock);
            if (m_drivers.empty())
                return;
            driver = m_drivers.back().get();
        }
        // Its Deinit may still use the drivers loaded before it.
        driver->deinit(driver->deviceContext);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, driver->activeKey.c_str());
        FreeLibrary(driver->module);
        std::lock_guard guard(m_lock);
        m_drivers.pop_back();
    }
}

size_t DriverTable::size() const
{
    std::lock_guard guard(m_lock);
    return m_drivers.size();
}

Driver* DriverTable::find(const std::string& deviceName) const
{
    std::lock_guard guard(m_lock);
    for (const auto& driver : m_drivers)
        if (os::equalsNoCase(driver->deviceName, deviceName))
            return driver.get();
    return nullptr;
}

} // namespace devmgr
