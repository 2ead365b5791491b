#include "display_page.h"

#include "backlight_dlg.h"
#include "registry_values.h"
#include "resource.h"
#include "time_texts.h"
#include "zrd_device.h"

#include <os/process.h>
#include <os/text.h>
#include <ui/host.h>
#include <ui/text.h>

#include <cstdio>
#include <cstring>

namespace setupdesk
{
namespace
{
enum : int
{
    IDC_DISPLAY_MODE_GROUP = 1300,
    IDC_DISPLAY_ANGLE_GROUP,
    IDC_DISPLAY_TOUCH_GROUP,
    IDC_DISPLAY_TOUCH_LABEL,
};

constexpr const char16_t* kSetupdeskKey = u"SOFTWARE\\Corvanta\\Setupdesk";
constexpr const char16_t* kGeodeKey = u"\\Software\\Geode";
constexpr const char16_t* kShellKey = u"SOFTWARE\\Microsoft\\Shell";
constexpr const char16_t* kPowerKey = u"System\\CurrentControlSet\\Control\\Power";
constexpr const char16_t* kTouchSerialKey = u"HARDWARE\\DEVICEMAP\\TOUCH\\SER";
constexpr const char* kFloatSaver = "SSFloat.dll";
constexpr const char* kBacklightSaver = "SSBacklight.dll";
constexpr size_t kCurrentModeSize = 88;
constexpr size_t kModeListSize = 744;
constexpr size_t kModeTextMax = 80;
constexpr int kAngles[] = {0, 90, 180, 270};
constexpr int kAngleButtons[] = {IDC_DISPLAY_ANGLE_0, IDC_DISPLAY_ANGLE_90, IDC_DISPLAY_ANGLE_180,
                                 IDC_DISPLAY_ANGLE_270};

DWORD get32(const BYTE* bytes)
{
    DWORD value = 0;
    std::memcpy(&value, bytes, 4);
    return value;
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The mode of a record's text field: the length counts the terminator, if any.
std::optional<DisplayMode> recordMode(DWORD bitsPerPixel, const BYTE* text, size_t length)
{
    if (length > kModeTextMax)
        return std::nullopt;
    const std::string field(reinterpret_cast<const char*>(text), length);
    return parseModeText(field.substr(0, field.find('\0')), bitsPerPixel);
}
} // namespace

std::string modeName(const DisplayMode& mode)
{
    const int w = static_cast<int>(mode.width), h = static_cast<int>(mode.height),
              r = static_cast<int>(mode.rate);
    if (mode.bitsPerPixel == 16)
        return ui::format("%i by %i, High Color (16 bit), %i Hertz", w, h, r);
    if (mode.bitsPerPixel == 32)
        return ui::format("%i by %i, True Color (32 bit), %i Hertz", w, h, r);
    return ui::format("%i by %i, %i Hertz", w, h, r);
}

std::optional<DisplayMode> parseModeText(const std::string& text, DWORD bitsPerPixel)
{
    DisplayMode mode;
    mode.bitsPerPixel = bitsPerPixel;
    unsigned width = 0, height = 0, rate = 0;
    int used = 0;
    const int fields = std::sscanf(text.c_str(), "%u%*c%u%n%*c%u%n", &width, &height, &used, &rate, &used);
    if (fields < 2 || static_cast<size_t>(used) != text.size())
        return std::nullopt;
    mode.width = width;
    mode.height = height;
    mode.rate = fields == 3 ? rate : 60;
    return mode;
}

std::optional<std::vector<DisplayMode>> parseModeList(const BYTE* list, size_t size)
{
    if (size < 8)
        return std::nullopt;
    const size_t total = get32(list + 4);
    if (total > size - 8)
        return std::nullopt;
    std::vector<DisplayMode> modes;
    // Every entry lies within the total length, which lies within the reply.
    for (size_t at = 8; at < 8 + total;)
    {
        if (8 + total - at < 8)
            return std::nullopt;
        const DWORD length = get32(list + at + 4);
        if (length > 8 + total - at - 8)
            return std::nullopt;
        const auto mode = recordMode(get32(list + at), list + at + 8, length);
        if (!mode)
            return std::nullopt;
        modes.push_back(*mode);
        at += 8 + length;
    }
    return modes;
}

std::vector<DisplayMode> fallbackModes()
{
    return {{16, 640, 480, 60}, {16, 640, 480, 75},  {16, 800, 600, 60},
            {16, 800, 600, 75}, {16, 1024, 768, 60}, {16, 1024, 768, 75}};
}

std::vector<BYTE> modeRecord(const std::string& name)
{
    unsigned width = 0, height = 0, rate = 0;
    DWORD bits = 0;
    if (name.find("(16 bit)") != std::string::npos)
        bits = 16;
    else if (name.find("(32 bit)") != std::string::npos)
        bits = 32;
    std::sscanf(name.c_str(), "%u by %u", &width, &height);
    const size_t hertz = name.rfind(" Hertz");
    const size_t comma = name.rfind(", ", hertz);
    if (hertz != std::string::npos && comma != std::string::npos)
        std::sscanf(name.c_str() + comma + 2, "%u", &rate);
    const std::string text = ui::format("%u %u %u", width, height, rate);
    const auto length = static_cast<DWORD>(text.size() + 1);
    std::vector<BYTE> record(8 + length);
    std::memcpy(record.data(), &bits, 4);
    std::memcpy(record.data() + 4, &length, 4);
    std::memcpy(record.data() + 8, text.c_str(), length);
    return record;
}

CDisplayPage::CDisplayPage(LibraryLoader& loader)
    : CSetupPage(IDD_DISPLAY, "Display Settings"), m_loader(loader)
{
    addGroupBox(IDC_DISPLAY_MODE_GROUP, "List of valid modes");
    addCombo(IDC_DISPLAY_MODES).setGroup(IDC_DISPLAY_MODE_GROUP);
    addGroupBox(IDC_DISPLAY_ANGLE_GROUP, "Display angle");
    for (size_t i = 0; i < 4; ++i)
    {
        auto& radio = addRadio(kAngleButtons[i], std::to_string(kAngles[i]), 1);
        radio.setGroup(IDC_DISPLAY_ANGLE_GROUP);
        radio.setNewLine(i == 0);
    }
    addGroupBox(IDC_DISPLAY_SAVER_GROUP, "Screen saver");
    addCombo(IDC_DISPLAY_SAVERS).setGroup(IDC_DISPLAY_SAVER_GROUP);
    auto& configure = addButton(IDC_DISPLAY_CONFIGURE, "Configure");
    configure.setGroup(IDC_DISPLAY_SAVER_GROUP);
    configure.setNewLine(false);
    configure.enable(false);
    addLabel(IDC_DISPLAY_WAIT_LABEL, "Wait:").setGroup(IDC_DISPLAY_SAVER_GROUP);
    for (int id : {IDC_DISPLAY_WAIT, IDC_DISPLAY_WAIT_UPDOWN})
    {
        auto& control = id == IDC_DISPLAY_WAIT ? static_cast<ui::Control&>(addLabel(id, {}))
                                               : static_cast<ui::Control&>(addUpDown(id));
        control.setGroup(IDC_DISPLAY_SAVER_GROUP);
        control.setNewLine(false);
    }
    auto& enable = addCheckBox(IDC_DISPLAY_SAVER_ENABLE, "Enable");
    enable.setGroup(IDC_DISPLAY_SAVER_GROUP);
    enable.setNewLine(false);
    addGroupBox(IDC_DISPLAY_TOUCH_GROUP, "Touchscreen");
    addButton(IDC_DISPLAY_CALIBRATE, "Calibrate").setGroup(IDC_DISPLAY_TOUCH_GROUP);
    auto& label = addLabel(IDC_DISPLAY_TOUCH_LABEL, "Attached to:");
    label.setGroup(IDC_DISPLAY_TOUCH_GROUP);
    label.setNewLine(false);
    auto& touch = addCombo(IDC_DISPLAY_TOUCH);
    touch.setGroup(IDC_DISPLAY_TOUCH_GROUP);
    touch.setNewLine(false);
}

void CDisplayPage::initPage()
{
    initTouch();
    initScreenSavers();
    ui::UpDown& upDown = this->upDown(IDC_DISPLAY_WAIT_UPDOWN);
    upDown.setAccel(timeAcceleration());
    upDown.setRange(0, 65535);
    upDown.setPos(0);
    initModes();
    initScreenSaver();
    initRotation();
    setChanged(false);
}

void CDisplayPage::initTouch()
{
    RegKey setupdesk;
    setupdesk.open(kSetupdeskKey, KEY_READ);
    m_touchDriver = readString(setupdesk.get(), u"TouchScrnDriver").value_or("TCH1:");
    m_calibTool = readString(setupdesk.get(), u"CalibTool").value_or("TchCalibUI");
    m_touchOnUsb = false;

    ui::ComboBox& touch = combo(IDC_DISPLAY_TOUCH);
    touch.resetContent();
    RegKey serial;
    serial.open(kTouchSerialKey, KEY_READ);
    const std::string comPort = readString(serial.get(), u"ComPort", 256).value_or("");
    for (const ActiveDriver& driver : activeDrivers())
    {
        if (startsWith(driver.name, "ELO"))
            touch.addString(driver.name +
                            (startsWith(driver.key, "Drivers\\BuiltIn") ? " " + comPort : " USB"));
        else if (startsWith(driver.name, "TCH") && !startsWith(driver.name, "TCH0"))
        {
            touch.addString(driver.name + " USB");
            m_touchOnUsb = true;
        }
    }
    touch.setCurSel(0);
    const HANDLE device = CreateFileW(os::toUtf16(m_touchDriver).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool opens = device != nullptr && device != INVALID_HANDLE_VALUE;
    if (opens)
        CloseHandle(device);
    if (!opens && touch.count() == 0)
        enableItem(IDC_DISPLAY_CALIBRATE, false);
}

void CDisplayPage::initScreenSavers()
{
    ui::ComboBox& savers = combo(IDC_DISPLAY_SAVERS);
    savers.resetContent();
    savers.addString(kFloatSaver);
    OSVERSIONINFOW os{};
    os.dwOSVersionInfoSize = sizeof os;
    const bool newSystem = GetVersionExW(&os) && os.dwMajorVersion > 5;
    bool loads = false;
    if (newSystem)
    {
        BoundLibrary backlight(m_loader, u"SSBacklight.dll");
        loads = backlight.loaded();
    }
    if (loads)
        savers.addString(kBacklightSaver);

    RegKey shell;
    shell.open(kShellKey, KEY_READ);
    const std::string current = readString(shell.get(), u"ScreenSaver").value_or("");
    const int found = savers.findStringExact(-1, current);
    savers.setCurSel(loads && found != ui::ComboBox::kNone ? found : 0);
    enableItem(IDC_DISPLAY_SAVERS, newSystem && loads && savers.count() > 0);
    enableItem(IDC_DISPLAY_CONFIGURE, savers.itemText(savers.curSel()) == kBacklightSaver);
}

void CDisplayPage::initModes()
{
    ui::ComboBox& modes = combo(IDC_DISPLAY_MODES);
    modes.resetContent();
    BYTE list[kModeListSize] = {};
    std::optional<std::vector<DisplayMode>> listed;
    if (zrdCall(kZrdGetModeList, nullptr, 0, list, sizeof list) == 0)
        listed = parseModeList(list, sizeof list);
    for (const DisplayMode& mode : listed.value_or(fallbackModes()))
        modes.addString(modeName(mode));

    BYTE record[kCurrentModeSize] = {};
    std::optional<DisplayMode> current;
    if (zrdCall(kZrdGetMode, nullptr, 0, record, sizeof record) == 0)
        current =
            recordMode(get32(record), record + 8, std::min<size_t>(get32(record + 4), kModeTextMax + 1));
    if (!current)
    {
        RegKey geode;
        geode.open(kGeodeKey, KEY_READ);
        if (const auto resolution = readString(geode.get(), u"Resolution"))
            current = parseModeText(*resolution, 16);
    }
    if (!current)
        return;
    const std::string name = modeName(*current);
    int index = modes.findStringExact(-1, name);
    if (index == ui::ComboBox::kNone || modes.itemText(index) != name)
        index = modes.addString(name);
    modes.setCurSel(index);
}

void CDisplayPage::initScreenSaver()
{
    RegKey shell;
    if (!shell.open(kShellKey, KEY_READ))
    {
        for (int id : {IDC_DISPLAY_SAVER_ENABLE, IDC_DISPLAY_WAIT_UPDOWN, IDC_DISPLAY_WAIT,
                       IDC_DISPLAY_SAVER_GROUP, IDC_DISPLAY_WAIT_LABEL})
            enableItem(id, false);
        return;
    }
    setChecked(IDC_DISPLAY_SAVER_ENABLE, readDword(shell.get(), u"ScreenSaverEnable").value_or(0) != 0);
    RegKey power;
    power.open(kPowerKey, KEY_READ);
    m_wait = readDword(power.get(), u"ScreenPowerOff").value_or(0);
    showWait();
}

void CDisplayPage::initRotation()
{
    DWORD angle = 0;
    if (zrdCall(kZrdGetRotation, nullptr, 0, &angle, sizeof angle) != 0)
    {
        for (int id : kAngleButtons)
            enableItem(id, false);
        return;
    }
    for (size_t i = 0; i < 4; ++i)
        setChecked(kAngleButtons[i], false);
    size_t checked = 0;
    for (size_t i = 1; i < 4; ++i)
    {
        if (angle == static_cast<DWORD>(kAngles[i]))
            checked = i;
    }
    setChecked(kAngleButtons[checked], true);
}

void CDisplayPage::showWait()
{
    setItemText(IDC_DISPLAY_WAIT, waitTimeText(m_wait));
}

void CDisplayPage::edited(bool reset)
{
    if (reset)
        setNeedsReset(true);
    setChanged(true);
}

void CDisplayPage::calibrate()
{
    const std::u16string program = m_touchOnUsb ? u"TwCalib" : os::toUtf16(m_calibTool);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                        &process))
    {
        messageBox("Error starting touch calibration.");
        return;
    }
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
}

void CDisplayPage::onCommand(int id, ui::Command code)
{
    if (code == ui::Command::SelChange && (id == IDC_DISPLAY_MODES || id == IDC_DISPLAY_SAVERS))
    {
        if (id == IDC_DISPLAY_SAVERS)
        {
            const ui::ComboBox& savers = combo(IDC_DISPLAY_SAVERS);
            enableItem(IDC_DISPLAY_CONFIGURE, savers.itemText(savers.curSel()) == kBacklightSaver);
        }
        edited(true);
        return;
    }
    if (code != ui::Command::Clicked)
        return;
    switch (id)
    {
    case IDC_DISPLAY_ANGLE_0:
    case IDC_DISPLAY_ANGLE_90:
    case IDC_DISPLAY_ANGLE_180:
    case IDC_DISPLAY_ANGLE_270:
        edited(true);
        break;
    case IDC_DISPLAY_SAVER_ENABLE:
        edited(false);
        break;
    case IDC_DISPLAY_CALIBRATE:
        calibrate();
        break;
    case IDC_DISPLAY_CONFIGURE:
    {
        CBacklightDlg dialog(m_loader, host().clock());
        host().runModal(dialog);
        break;
    }
    default:
        break;
    }
}

void CDisplayPage::onNotify(int id, ui::Notify& notify)
{
    if (id != IDC_DISPLAY_WAIT_UPDOWN || notify.code != ui::NotifyCode::UpDownDelta)
        return;
    m_wait = stepWaitTime(m_wait, -notify.delta);
    showWait();
    edited(true);
}

void CDisplayPage::apply()
{
    if (!changed())
        return;
    const ui::ComboBox& modes = combo(IDC_DISPLAY_MODES);
    const std::string name = modes.itemText(modes.curSel());
    if (!name.empty())
    {
        const std::vector<BYTE> record = modeRecord(name);
        if (zrdCall(kZrdSetMode, record.data(), static_cast<DWORD>(record.size()), nullptr, 0) == 0)
            setChanged(false);
        else
        {
            RegKey geode;
            if (geode.open(kGeodeKey))
            {
                writeString(geode.get(), u"Resolution", reinterpret_cast<const char*>(record.data() + 8));
                RegFlushKey(geode.get());
            }
            else
                messageBox("Can't set Screen Resolution!", {}, MB_OK | MB_ICONEXCLAMATION);
        }
    }
    if (control(IDC_DISPLAY_SAVER_ENABLE).enabled())
    {
        RegKey shell;
        if (shell.open(kShellKey))
        {
            writeDword(shell.get(), u"ScreenSaverEnable", isChecked(IDC_DISPLAY_SAVER_ENABLE) ? 1 : 0);
            RegFlushKey(shell.get());
        }
        RegKey power;
        if (power.create(kPowerKey))
        {
            writeDword(power.get(), u"ScreenPowerOff", m_wait);
            RegFlushKey(power.get());
        }
    }
    for (size_t i = 0; i < 4; ++i)
    {
        if (isChecked(kAngleButtons[i]))
        {
            const DWORD angle = static_cast<DWORD>(kAngles[i]);
            zrdCall(kZrdSetRotation, &angle, sizeof angle, nullptr, 0);
        }
    }
    RegKey shell;
    if (shell.open(kShellKey))
    {
        const ui::ComboBox& savers = combo(IDC_DISPLAY_SAVERS);
        writeString(shell.get(), u"ScreenSaver", savers.itemText(savers.curSel()));
        RegFlushKey(shell.get());
    }
}
} // namespace setupdesk
