// The service's actions on the device profile through Profilelink. Each action opens
// Profilelink and closes it again; one mutex runs them one at a time.
#pragma once

#include "upnp_log.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace netherald
{
constexpr ULONG kReadMultiple = 0xF080;
constexpr ULONG kWriteMultiple = 0xF081;
// Longest read or write of one entry, and most sub-requests of one multiple request.
constexpr LONG kLongestEntry = 65536;
constexpr ULONG kMostSubRequests = 4096;
// Most bytes one read-multiple request may return besides its results.
constexpr uint64_t kLongestMultipleRead = 16 * static_cast<uint64_t>(kLongestEntry);

class GktSession;

class DeviceActions
{
public:
    explicit DeviceActions(UPnPLog& log) : m_log(log) {}

    // Base64 text in and out; the read result carries one zero byte after the data.
    HRESULT read(std::u16string_view netId, LONG port, ULONG indexOffset, LONG length, std::string& data);
    HRESULT write(std::u16string_view netId, LONG port, ULONG indexOffset, std::u16string_view data);
    HRESULT readWrite(std::u16string_view netId, LONG port, ULONG indexGroup, ULONG indexOffset,
                      LONG readLength, std::u16string_view writeData, std::string& readData, ULONG& returned);

    LONG lastGktResult();
    std::string lastErrorText();

private:
    HRESULT combined(ULONG indexOffset, LONG readLength, std::u16string_view writeData, std::string& readData,
                     ULONG& returned);
    HRESULT multiple(ULONG indexGroup, ULONG count, std::u16string_view writeData, std::string& readData,
                     ULONG& returned);
    // Notes a failed open of Profilelink; S_OK when it is open.
    HRESULT openResult(const GktSession& gkt);
    // Notes the Gkt result; the action's HRESULT.
    HRESULT gktCall(LONG result);
    HRESULT finish(HRESULT result);

    UPnPLog& m_log;
    std::mutex m_mutex;
    LONG m_lastGkt = 0;
    std::string m_lastError;
};
} // namespace netherald
