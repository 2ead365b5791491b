// The backlight dialog of the display page: the brightness of a panel with its own
// backlight controller, set through the device profile (Profilelink, bound by name), and
// the screen saver's backlight settings in the registry. A worker follows the slider and
// writes the brightness at most every 100 ms while the user drags it.
#pragma once

#include "library_loader.h"

#include <ui/clock.h>
#include <ui/dialog.h>

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace setupdesk
{
enum : int
{
    IDD_BACKLIGHT = 152,
    IDC_BACKLIGHT_PORT = 1101,
    IDC_BACKLIGHT_STATE = 1102,
    IDC_BACKLIGHT_SLIDER = 1103,
    IDC_BACKLIGHT_PERCENT = 1104,
    IDC_BACKLIGHT_OFF = 1105,
    IDC_BACKLIGHT_TIME = 1107,
    IDC_BACKLIGHT_TIME_UPDOWN = 1108,
    IDB_DISCONNECTED = 156,
    IDB_CONNECTED = 157,
};

// What Profilelink answers for a brightness the controller cannot take.
constexpr LONG kBrightnessRefused = static_cast<LONG>(0xECAF0609);
constexpr DWORD kLowestBrightness = 20;

class CBacklightDlg final : public ui::Dialog
{
public:
    CBacklightDlg(LibraryLoader& loader, ui::Clock& clock);
    ~CBacklightDlg() override;

    void onInit() override;
    void onCommand(int id, ui::Command code) override;
    void onNotify(int id, ui::Notify& notify) override;
    void onOk() override;
    void onCancel() override;

    // The configuration index of the backlight module; nothing without one.
    std::optional<WORD> configIndex() const { return m_index; }
    bool connected() const;
    // Brightness in percent to the device: 0 or a Profilelink result; below 20 refused
    // without a device call.
    LONG writeBrightness(DWORD percent);
    // Stops the slider worker and waits for its end.
    void stopWorker();

private:
    using Open = LONG (*)();
    using Close = LONG (*)();
    using Read = LONG (*)(WORD, BYTE, BYTE, DWORD, void*, DWORD*);
    using Write = LONG (*)(WORD, BYTE, BYTE, DWORD, const void*);

    void bind();
    void findModule();
    std::optional<DWORD> readBrightness();
    std::optional<std::string> readPort();
    void fillPorts();
    void showBrightness(int position);
    void enableBrightness(bool enabled);
    void choosePort();
    void showTime();
    void work(int written);

    ui::Clock& m_clock;
    BoundLibrary m_library;
    Open m_open = nullptr;
    Close m_close = nullptr;
    Read m_read = nullptr;
    Write m_write = nullptr;
    bool m_opened = false;
    std::optional<WORD> m_index;
    std::mutex m_deviceLock; // one device call at a time: the worker's and the dialog's

    DWORD m_brightnessAtOpen = 0; // 0: none known
    DWORD m_time = 300;

    std::atomic<int> m_position{0};
    std::mutex m_workerLock;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_worker;
};
} // namespace setupdesk
