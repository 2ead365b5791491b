#include "gktimport.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr DWORD kNameRoom = 254;
constexpr DWORD kHeaderTextSize = 2815;
constexpr DWORD kEntryDescriptionSize = 1024;

uint16_t word16(const BYTE* p)
{
    uint16_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

uint32_t word32(const BYTE* p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// A text of the module's header object; empty when the read fails or fills the buffer.
std::string readHeaderText(const GktApiTable& api, uint16_t index, uint8_t subindex)
{
    std::vector<char> text(kHeaderTextSize, 0);
    DWORD read = 0;
    if (api.pfnSyncRead(index, subindex, 0, kHeaderTextSize - 1, text.data(), &read) != 0 ||
        read >= kHeaderTextSize)
        return {};
    return std::string(text.data(), strnlen(text.data(), read));
}

bool readEntry(const GktApiTable& api, uint16_t index, uint8_t subindex, GktEntryRecord& entry)
{
    BYTE answer[kEntryDescriptionSize] = {};
    const DWORD size = kEntryDescriptionSize;
    std::memcpy(answer, &size, sizeof size);
    if (api.pfnSyncGetEntryDescription(index, subindex, 0, answer) != 0)
        return false;
    // The name lies within what the device described and within our buffer, or the entry is left out.
    const uint32_t answered = std::min<uint32_t>(word32(answer), kEntryDescriptionSize);
    const uint32_t nameOffset = word32(answer + 28);
    if (nameOffset >= answered)
        return false;
    const auto* name = reinterpret_cast<const char*>(answer + nameOffset);
    entry.subindex = subindex;
    entry.dataType = word16(answer + 6);
    entry.length = static_cast<uint16_t>(word16(answer + 8) / 8);
    entry.name.assign(name, strnlen(name, answered - nameOffset));
    return true;
}

LONG importObjects(const GktApiTable& api, GktModuleStore& store)
{
    BYTE lengths[10] = {};
    DWORD size = sizeof lengths;
    if (const LONG result = api.pfnSyncGetODList(0, &size, lengths))
        return result;
    const uint16_t count = size >= 2 ? word16(lengths) : 0;
    // A device without objects has nothing to list.
    if (count == 0)
        return 0;
    std::vector<BYTE> list(2u * count, 0);
    size = static_cast<DWORD>(list.size());
    if (const LONG result = api.pfnSyncGetODList(1, &size, list.data()))
        return result;
    const DWORD listed = std::min<DWORD>(size, static_cast<DWORD>(list.size())) / 2;

    for (DWORD i = 0; i < listed; ++i)
    {
        const uint16_t index = word16(&list[2 * i]);
        BYTE objectCode = 0;
        WORD unused = 0;
        BYTE entryCount = 0;
        char name[kNameRoom + 1] = {};
        DWORD nameLength = kNameRoom;
        if (api.pfnSyncGetObjectDescription(index, 0, &objectCode, &unused, &entryCount, name, &nameLength) !=
            0)
            continue;
        const uint16_t area = gktArea(index);
        if (area == 1 || area == 15)
            continue;
        const uint8_t number = gktModuleNumber(index);
        auto [module, added] = store.try_emplace(number);
        if (added)
        {
            module->second.number = number;
            const auto header = static_cast<uint16_t>(0x8000 + 16 * number);
            module->second.name = readHeaderText(api, header, 3);
            module->second.type = readHeaderText(api, header, 2);
        }
        GktObjectRecord object;
        object.index = index;
        object.objectCode = objectCode;
        object.name.assign(name, strnlen(name, std::min<DWORD>(nameLength, kNameRoom)));
        for (unsigned subindex = 0; subindex < entryCount; ++subindex)
        {
            GktEntryRecord entry;
            if (readEntry(api, index, static_cast<uint8_t>(subindex), entry))
                object.entries.push_back(std::move(entry));
        }
        module->second.objects.push_back(std::move(object));
    }
    return 0;
}
} // namespace

LONG ImportModules(const GktApiTable& api, GktModuleStore& store)
{
    store.clear();
    if (!GktApiIsComplete(&api))
        return GKT_E_API_INCOMPLETE;
    if (const LONG opened = api.pfnOpen())
        return opened;
    const LONG result = importObjects(api, store);
    if (result != 0)
        store.clear();
    // The I/O manager opens the device for itself; the import keeps nothing open.
    api.pfnClose();
    return result;
}
