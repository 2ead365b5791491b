// The "Display Settings" page: display mode and rotation through "ZRD1:", the screen
// saver with its wait time, the touch screen with its calibration program, and the
// backlight dialog.
#pragma once

#include "library_loader.h"
#include "setup_page.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace setupdesk
{
enum : int
{
    IDC_DISPLAY_ANGLE_0 = 1001,
    IDC_DISPLAY_ANGLE_90 = 1002,
    IDC_DISPLAY_ANGLE_180 = 1003,
    IDC_DISPLAY_ANGLE_270 = 1004,
    IDC_DISPLAY_CALIBRATE = 1011,
    IDC_DISPLAY_CONFIGURE = 1012,
    IDC_DISPLAY_MODES = 1063,
    IDC_DISPLAY_TOUCH = 1064,
    IDC_DISPLAY_SAVERS = 1065,
    IDC_DISPLAY_SAVER_GROUP = 1085,
    IDC_DISPLAY_WAIT = 1086,
    IDC_DISPLAY_WAIT_UPDOWN = 1087,
    IDC_DISPLAY_WAIT_LABEL = 1088,
    IDC_DISPLAY_SAVER_ENABLE = 1089,
};

// A display mode as "ZRD1:" records carry it.
struct DisplayMode
{
    DWORD bitsPerPixel = 0;
    DWORD width = 0;
    DWORD height = 0;
    DWORD rate = 60;
    bool operator==(const DisplayMode&) const = default;
};

// "1024 by 768, High Color (16 bit), 60 Hertz" and its kin.
std::string modeName(const DisplayMode& mode);
// The mode text "<width><sep><height>[<sep><rate>]"; nothing for other text.
std::optional<DisplayMode> parseModeText(const std::string& text, DWORD bitsPerPixel);
// The entries of a 744-byte mode list; nothing when the list is malformed.
std::optional<std::vector<DisplayMode>> parseModeList(const BYTE* list, size_t size);
// The six modes offered when the device gives none.
std::vector<DisplayMode> fallbackModes();
// The record sent for a mode name: 8 bytes and the text "<width> <height> <rate>" with its terminator.
std::vector<BYTE> modeRecord(const std::string& name);

class CDisplayPage final : public CSetupPage
{
public:
    explicit CDisplayPage(LibraryLoader& loader = platformLibraryLoader());

    void initPage() override;
    void onCommand(int id, ui::Command code) override;
    void onNotify(int id, ui::Notify& notify) override;
    void apply() override;

    DWORD waitTime() const { return m_wait; }
    bool touchOnUsb() const { return m_touchOnUsb; }

private:
    void initTouch();
    void initScreenSavers();
    void initModes();
    void initScreenSaver();
    void initRotation();
    void showWait();
    void calibrate();
    void edited(bool reset);

    LibraryLoader& m_loader;
    std::string m_touchDriver;
    std::string m_calibTool;
    bool m_touchOnUsb = false;
    DWORD m_wait = 0;
};
} // namespace setupdesk
