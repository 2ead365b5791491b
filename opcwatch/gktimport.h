// The import of the device's object dictionary through Profilelink into a module store, from
// which the node manager builds the address space.
#pragma once

#include "gktapi.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct GktEntryRecord
{
    uint8_t subindex = 0;
    uint16_t dataType = 0;
    // Bytes (the description gives bits).
    uint16_t length = 0;
    std::string name;
};

struct GktObjectRecord
{
    uint16_t index = 0;
    uint16_t objectCode = 0;
    std::string name;
    std::vector<GktEntryRecord> entries;
};

struct GktModuleRecord
{
    uint8_t number = 0;
    // Subindex 3 and 2 of the module's header object; empty when they cannot be read.
    std::string name;
    std::string type;
    // In the order of the device's object list.
    std::vector<GktObjectRecord> objects;
};

// By ascending module number.
using GktModuleStore = std::map<uint8_t, GktModuleRecord>;

// Object index layout: bits 12-15 the area, bits 4-11 the module number, bits 0-3 the table.
constexpr uint16_t gktArea(uint16_t index)
{
    return static_cast<uint16_t>(index >> 12);
}
constexpr uint8_t gktModuleNumber(uint16_t index)
{
    return static_cast<uint8_t>(index >> 4);
}
constexpr uint16_t gktTable(uint16_t index)
{
    return static_cast<uint16_t>(index & 0xF);
}

// The code of a table that cannot be used for an import (library or an export missing).
constexpr LONG GKT_E_API_INCOMPLETE = static_cast<LONG>(0xECAF0200);

// Reads the object list and every object and entry description of the areas but 1 and 15 into
// the store, and the module texts from each module's header object. Opens the device and closes
// it again. 0, or the first failure that ends the import (the store is then empty); an object or
// entry whose description fails is left out.
LONG ImportModules(const GktApiTable& api, GktModuleStore& store);
