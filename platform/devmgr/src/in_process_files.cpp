#include "in_process_files.h"
#include "driver_calls.h"

#include <os/devio.h>
#include <os/handle.h>
#include <os/text.h>

#include <cstdint>

namespace devmgr
{

namespace
{

class InProcessFile : public os::HandleObject
{
public:
    InProcessFile(Driver* driver, DWORD_PTR context) : m_driver(driver), m_context(context) {}

    BOOL close() override
    {
        return finish(runDriver([&] { return m_driver->close(m_context) != FALSE; }));
    }

    BOOL ioControl(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                   DWORD* returned) override
    {
        return finish(runEntry(m_driver, &Driver::ioControl,
                               [&]
                               {
                                   return m_driver->ioControl(m_context, code, static_cast<PBYTE>(input),
                                                              inputSize, static_cast<PBYTE>(output),
                                                              outputSize, returned) != FALSE;
                               }));
    }

    BOOL read(void* buffer, DWORD size, DWORD* done) override
    {
        return transfer(&Driver::read, done, [&] { return m_driver->read(m_context, buffer, size); });
    }

    BOOL write(const void* buffer, DWORD size, DWORD* done) override
    {
        return transfer(&Driver::write, done, [&] { return m_driver->write(m_context, buffer, size); });
    }

    DWORD seek(LONG distance, LONG* distanceHigh, DWORD method) override
    {
        if (!os::devio::narrowSeekDistance(distance, distanceHigh))
            return 0xFFFFFFFFu;
        SetLastError(0);
        if (!m_driver->seek)
        {
            SetLastError(ERROR_INVALID_FUNCTION);
            return 0xFFFFFFFFu;
        }
        return m_driver->seek(m_context, distance, static_cast<WORD>(method));
    }

private:
    // Read and write answer a count, or -1 for a failure.
    template <class Entry, class Call> BOOL transfer(Entry Driver::*entry, DWORD* done, Call call)
    {
        DWORD count = 0;
        const CallResult result = runEntry(m_driver, entry,
                                           [&]
                                           {
                                               count = call();
                                               return count != 0xFFFFFFFFu;
                                           });
        if (done)
            *done = result.ok ? count : 0;
        return finish(result);
    }

    static BOOL finish(const CallResult& result)
    {
        SetLastError(result.error);
        return result.ok ? TRUE : FALSE;
    }

    Driver* m_driver;
    DWORD_PTR m_context;
};

} // namespace

void installInProcessRoute(const DriverTable& drivers)
{
    os::setDeviceFileOpener(
        [&drivers](const std::u16string& name, DWORD access, DWORD share, DWORD, DWORD) -> HANDLE
        {
            Driver* driver = drivers.find(os::toUtf8(name));
            if (!driver)
            {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return INVALID_HANDLE_VALUE;
            }
            DWORD_PTR context = 0;
            const CallResult result = runDriver(
                [&]
                {
                    context = driver->open(driver->deviceContext, access, share);
                    return context != 0;
                });
            if (!result.ok)
            {
                SetLastError(result.error);
                return INVALID_HANDLE_VALUE;
            }
            SetLastError(0);
            return os::registerHandle(std::make_shared<InProcessFile>(driver, context));
        });
}

void removeInProcessRoute()
{
    os::setDeviceFileOpener(nullptr);
}

} // namespace devmgr
