#include "action_errors.h"

#include <cstdint>

namespace netherald
{
namespace
{
struct ActionError
{
    uint32_t result;
    const char* text;
};

constexpr ActionError kTexts[] = {
    {0x800405BC, "Invalid port or netId"}, {0x800405BD, "Invalid length"},
    {0x800405BE, "Invalid data"},          {0x800405BF, "Unable to load GKT Service"},
    {0x800405C6, "Unexpected GKT error"},  {0x800405C7, "Invalid index"},
    {0x800405C8, "Invalid access"},        {0x800405C9, "Buffer too small"},
    {0x800405CA, "Type not supported"},    {0x800405CB, "Out of memory"},
    {0x800405CC, "No data available"},     {0x800405CD, "GKT: Invalid data"},
    {0x800405CE, "Invalid argument"},      {0x800405CF, "Busy"},
    {0x800405D0, "Not implemented"},       {0x800405D1, "Not supported"},
};

struct GktError
{
    uint32_t gkt;
    uint32_t result;
};

constexpr GktError kGktErrors[] = {
    {0xECA60100, 0x800405C7}, {0xECA60101, 0x800405C8}, {0xECA60102, 0x800405C9}, {0xECA60103, 0x800405CB},
    {0xECA60104, 0x800405CB}, {0xECA60105, 0x800405CC}, {0xECA60106, 0x800405CD}, {0xECA60107, 0x800405CE},
    {0xECA60200, 0x800405CF}, {0xECA60F00, 0x800405D0}, {0xECA61000, 0x800405D1},
};
} // namespace

const char* actionErrorText(HRESULT result)
{
    for (const ActionError& error : kTexts)
        if (error.result == static_cast<uint32_t>(result))
            return error.text;
    return "UPnPError";
}

HRESULT gktFailure(LONG gktResult)
{
    for (const GktError& error : kGktErrors)
        if (error.gkt == static_cast<uint32_t>(gktResult))
            return static_cast<HRESULT>(error.result);
    // Unlisted codes and platform errors (small positive numbers) alike.
    return kUnexpectedGktError;
}
} // namespace netherald
