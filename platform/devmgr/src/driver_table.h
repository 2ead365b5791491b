// The stream drivers the device manager has loaded, found in the registry
// under "Drivers\BuiltIn\<name>" ("Dll", "Prefix", "Index", "Order"; "Flags"
// with bit 0x4 leaves the driver unloaded).
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devmgr
{

struct Driver
{
    std::string keyName; // the subkey below "Drivers\BuiltIn"
    std::string dll;     // "GktSim.dll"
    std::string prefix;  // "GKT"
    DWORD index = 1;     // device file "<prefix><index>:"
    DWORD order = 0xFFFFFFFF;
    std::string deviceName;   // "GKT1:"
    std::u16string activeKey; // "Drivers\Active\NN", given to Init
    HMODULE module = nullptr;
    DWORD_PTR deviceContext = 0;

    PFN_DRIVER_INIT init = nullptr;
    PFN_DRIVER_DEINIT deinit = nullptr;
    PFN_DRIVER_OPEN open = nullptr;
    PFN_DRIVER_CLOSE close = nullptr;
    PFN_DRIVER_READ read = nullptr;
    PFN_DRIVER_WRITE write = nullptr;
    PFN_DRIVER_SEEK seek = nullptr;
    PFN_DRIVER_IOCONTROL ioControl = nullptr;
};

class DriverTable
{
public:
    ~DriverTable();

    // Loads every listed driver in ascending "Order" and calls its Init; a
    // driver that cannot be loaded or whose Init returns 0 is left out.
    void loadAll();
    // Calls Deinit of every driver in reverse order and unloads them.
    void unloadAll();

    // The driver serving a device file name ("gkt1:" matches "GKT1:"); null if none.
    // Safe while drivers load: a driver's Init may open the drivers loaded before it.
    Driver* find(const std::string& deviceName) const;
    size_t size() const;

private:
    bool load(Driver& driver, unsigned activeNumber);

    mutable std::mutex m_lock; // guards the list, never held while a driver runs
    std::vector<std::unique_ptr<Driver>> m_drivers;
};

} // namespace devmgr
