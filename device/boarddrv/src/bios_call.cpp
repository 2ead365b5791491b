// One firmware call: under the named mutex, with busy retry.
#include "bios_api.h"
#include "trace.h"

#include <boarddrv/wmd.h>
#include <ddk/ddk.h>
#include <ddk/firmware.h>

#include <cstring>

namespace boarddrv
{

namespace
{

constexpr DWORD kMutexWait = 100;
constexpr DWORD kRetryPause = 100;
constexpr WORD kPostCodePort = 0x80;

const char* const kTrapHead[] = {
    "********************************************************\r\n",
    "*** BOARDDRV DEBUGGING:                               ***\r\n",
    "*** An exception has occurred in your BOARDDRV driver.***\r\n",
    "*** The BOARDDRV traps this exception to aid in       ***\r\n",
    "*** debugging ONLY.                                  ***\r\n",
    "***                                                  ***\r\n",
    "*** You should execute the following windbg commands:**\r\n",
};
const char* const kTrapTail[] = {
    "***                                                  ***\r\n",
    "***                                                  ***\r\n",
    "********************************************************\r\n",
    "********************************************************\r\n",
    "*** BOARDDRV DEBUGGING: Continued past breakpoint. The***\r\n",
    "*** BOARDDRV will now call KeBugCheckEx and the system***\r\n",
    "*** will halt.                                       ***\r\n",
    "********************************************************\r\n",
};

void zeroFill(PVOID output, DWORD outputSize)
{
    if (output && outputSize)
        std::memset(output, 0, outputSize);
}

} // namespace

void CBiosApi::trapText(const FIRMWARE_EXCEPTION& exception)
{
    for (const char* line : kTrapHead)
        trace("%s", line);
    trace("\r\n\r\n    !exr %llx; !cxr %llx; !kb\r\n\n", address(exception.exceptionRecord),
          address(exception.contextRecord));
    for (const char* line : kTrapTail)
        trace("%s", line);
}

DWORD CBiosApi::BiosIoControl(DWORD group, DWORD offset, PVOID input, DWORD inputSize, PVOID output,
                              DWORD outputSize, PDWORD returned)
{
    DWORD level = 0, timeout = 0;
    void* entry = nullptr;
    {
        std::lock_guard guard(m_lock);
        level = m_logLevel;
        timeout = m_apiTimeout;
        entry = m_pProcAddr_c;
    }
    if (level & kLogArguments)
        trace("CBiosApi::BiosIoControl(m_pProcAddr_c:0x%llX, IG:0x%X, IO:0x%X, pIn:0x%llX, cbIn:0x%X, "
              "pOut:0x%llX, cbOut:0x%X, pBytesReturned:0x%llX)\r\n",
              address(entry), group, offset, address(input), inputSize, address(output), outputSize,
              address(returned));
    if (!returned)
        return wmd::kResultSizeMismatch;
    *returned = 0;
    if (level & kLogPostCode)
        WRITE_PORT_UCHAR(PortAddress<UCHAR>(kPostCodePort), 0xAA);

    const DWORD tryLimit = timeout / 100;
    DWORD tries = 0;
    DWORD status = wmd::kResultBusy;
    for (;;)
    {
        {
            // The fields hold still for one attempt; other processes wait on the named mutex.
            std::lock_guard guard(m_lock);
            const DWORD wait = WaitForSingleObject(m_mutex, kMutexWait);
            if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
            {
                if (m_logLevel & kLogCalls)
                {
                    trace("CBiosApi::BiosIoControl(IG:0x%X, IO:0x%X)\r\n", group, offset);
                    traceDump("CBiosApi::BiosIoControl(), InBuffer:", input, input ? inputSize : 0);
                }
                zeroFill(output, outputSize);
                if (m_apiDisabled)
                {
                    *returned = output ? outputSize : 0;
                    status = 0;
                }
                else
                {
                    FIRMWARE_EXCEPTION exception{};
                    if (!CallFirmwareEntry(m_pProcAddr_c, group, offset, input, inputSize, output, outputSize,
                                           returned, &status, &exception))
                    {
                        *returned = 0;
                        status = wmd::kResultException;
                        trapText(exception);
                    }
                }
                ReleaseMutex(m_mutex);
            }
            else
                status = wmd::kResultBusy;
            level = m_logLevel;
        }
        if (status != wmd::kResultBusy)
            break;
        ++tries;
        Sleep(kRetryPause);
        if (level & kLogRetries)
            trace("CBiosApi::BiosIoControl()->BIOSAPI_ERROR_BUSY, nTry:%d\r\n", static_cast<int>(tries));
        if (tries > tryLimit)
            break;
    }
    if (level & kLogCalls)
    {
        trace("CBiosApi::BiosIoControl(apiResult:0x%X, apiBytesReturned:%d)\r\n", status,
              static_cast<int>(*returned));
        traceDump("CBiosApi::BiosIoControl() OutBuffer:", output,
                  deliveredPart(output, outputSize, *returned));
    }
    return status == 0 ? 0 : status | wmd::kFirmwareBit;
}

} // namespace boarddrv
