// The results of the service's actions: the HRESULTs, their texts, and the Gkt codes they
// stand for. A UPnP peer sees the HRESULT less 0x80040300 as the error number.
#pragma once

#include <windows.h>

namespace netherald
{
constexpr HRESULT kInvalidPortOrNetId = static_cast<HRESULT>(0x800405BC); // 700
constexpr HRESULT kInvalidLength = static_cast<HRESULT>(0x800405BD);      // 701
constexpr HRESULT kInvalidData = static_cast<HRESULT>(0x800405BE);        // 702
constexpr HRESULT kGktServiceMissing = static_cast<HRESULT>(0x800405BF);  // 703
constexpr HRESULT kUnexpectedGktError = static_cast<HRESULT>(0x800405C6); // 710

// The text for an action's HRESULT; "UPnPError" for one not in the table.
const char* actionErrorText(HRESULT result);
// The HRESULT of a failed Gkt call (any code but 0).
HRESULT gktFailure(LONG gktResult);
} // namespace netherald
