#include "backlight_dlg.h"

#include "registry_values.h"
#include "time_texts.h"

#include <ui/text.h>

#include <os/text.h>

#include <algorithm>
#include <cstring>

namespace setupdesk
{
namespace
{
enum : int
{
    IDC_BACKLIGHT_CONFIG_GROUP = 1300,
    IDC_BACKLIGHT_PORT_LABEL,
    IDC_BACKLIGHT_BRIGHTNESS_GROUP,
    IDC_BACKLIGHT_MIN,
    IDC_BACKLIGHT_MAX,
};

constexpr const char16_t* kBacklightKey = u"Software\\Corvanta\\Screensaver\\SSBackLight";
constexpr const char16_t* kGktKey = u"Software\\Corvanta\\GKT";
constexpr const char* kFtdiKey = "Drivers\\USB\\ClientDrivers\\FTDI_DEVICE";
constexpr WORD kModuleList = 0xF020;
constexpr WORD kBacklightModule = 19;
constexpr BYTE kPortEntry = 2;
constexpr BYTE kBrightnessEntry = 4;
constexpr DWORD kPortReadSize = 30;
constexpr DWORD kPortWriteSize = 20;
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr ui::Milliseconds kWriteInterval(100);
// As Profilelink answers a call on a device it has not opened.
constexpr LONG kNotConnected = static_cast<LONG>(0xECA60201);
} // namespace

CBacklightDlg::CBacklightDlg(LibraryLoader& loader, ui::Clock& clock)
    : ui::Dialog(IDD_BACKLIGHT, "SSBacklight Screen Saver"), m_clock(clock),
      m_library(loader, u"Profilelink.dll")
{
    addGroupBox(IDC_BACKLIGHT_CONFIG_GROUP, "Configuration");
    addLabel(IDC_BACKLIGHT_PORT_LABEL, "COM Port:").setGroup(IDC_BACKLIGHT_CONFIG_GROUP);
    auto& port = addCombo(IDC_BACKLIGHT_PORT);
    port.setGroup(IDC_BACKLIGHT_CONFIG_GROUP);
    port.setNewLine(false);
    auto& state = addPicture(IDC_BACKLIGHT_STATE, IDB_DISCONNECTED);
    state.setGroup(IDC_BACKLIGHT_CONFIG_GROUP);
    state.setNewLine(false);
    addGroupBox(IDC_BACKLIGHT_BRIGHTNESS_GROUP, "Brightness Control");
    addLabel(IDC_BACKLIGHT_MIN, "Min").setGroup(IDC_BACKLIGHT_BRIGHTNESS_GROUP);
    auto& slider = addSlider(IDC_BACKLIGHT_SLIDER);
    slider.setGroup(IDC_BACKLIGHT_BRIGHTNESS_GROUP);
    slider.setNewLine(false);
    for (int id : {int{IDC_BACKLIGHT_MAX}, int{IDC_BACKLIGHT_PERCENT}})
    {
        auto& label = addLabel(id, id == IDC_BACKLIGHT_MAX ? "Max" : "");
        label.setGroup(IDC_BACKLIGHT_BRIGHTNESS_GROUP);
        label.setNewLine(false);
    }
    addCheckBox(IDC_BACKLIGHT_OFF, "Turn Backlight off after");
    addLabel(IDC_BACKLIGHT_TIME, {}).setNewLine(false);
    addUpDown(IDC_BACKLIGHT_TIME_UPDOWN).setNewLine(false);
    addButton(IDOK, "OK");
    addButton(IDCANCEL, "Cancel").setNewLine(false);
}

CBacklightDlg::~CBacklightDlg()
{
    stopWorker();
    if (m_opened)
        m_close();
}

void CBacklightDlg::bind()
{
    m_open = m_library.entry<Open>("GKTOpen");
    m_close = m_library.entry<Close>("GKTClose");
    m_read = m_library.entry<Read>("GKTSyncRead");
    m_write = m_library.entry<Write>("GKTSyncWrite");
    // Without every entry the dialog makes no device call at all.
    if (!m_open || !m_close || !m_read || !m_write)
        return;
    m_opened = m_open() == 0;
}

void CBacklightDlg::findModule()
{
    if (!m_opened)
        return;
    std::lock_guard guard(m_deviceLock);
    WORD count = 0;
    DWORD read = 0;
    if (m_read(kModuleList, 0, 0, sizeof count, &count, &read) != 0 || read < sizeof count)
        return;
    for (WORD sub = 1; sub <= count && sub <= 0xFF; ++sub)
    {
        DWORD entry = 0;
        if (m_read(kModuleList, static_cast<BYTE>(sub), 0, sizeof entry, &entry, &read) != 0 ||
            read < sizeof entry)
            return;
        if ((entry >> 16) == kBacklightModule)
        {
            m_index = static_cast<WORD>(0x8000 + 16 * (entry & 0x7FF) + 3);
            return;
        }
    }
}

bool CBacklightDlg::connected() const
{
    return m_opened && m_index.has_value();
}

std::optional<DWORD> CBacklightDlg::readBrightness()
{
    if (!connected())
        return std::nullopt;
    std::lock_guard guard(m_deviceLock);
    DWORD percent = 0;
    DWORD read = 0;
    if (m_read(*m_index, kBrightnessEntry, 0, sizeof percent, &percent, &read) != 0 || read < sizeof percent)
        return std::nullopt;
    return percent;
}

std::optional<std::string> CBacklightDlg::readPort()
{
    if (!connected())
        return std::nullopt;
    std::lock_guard guard(m_deviceLock);
    char name[kPortReadSize + 1] = {};
    DWORD read = 0;
    if (m_read(*m_index, kPortEntry, 0, kPortReadSize, name, &read) != 0)
        return std::nullopt;
    return std::string(name, strnlen(name, std::min<DWORD>(read, kPortReadSize)));
}

LONG CBacklightDlg::writeBrightness(DWORD percent)
{
    if (percent < kLowestBrightness)
        return kBrightnessRefused;
    if (!connected())
        return kNotConnected;
    std::lock_guard guard(m_deviceLock);
    return m_write(*m_index, kBrightnessEntry, 0, sizeof percent, &percent);
}

void CBacklightDlg::fillPorts()
{
    ui::ComboBox& ports = combo(IDC_BACKLIGHT_PORT);
    for (const ActiveDriver& driver : activeDrivers())
    {
        if (driver.key == kFtdiKey)
            ports.addString(driver.name);
    }
}

void CBacklightDlg::showBrightness(int position)
{
    setItemText(IDC_BACKLIGHT_PERCENT, ui::format("%d %%", position * 10));
}

void CBacklightDlg::enableBrightness(bool enabled)
{
    for (int id : {int{IDC_BACKLIGHT_SLIDER}, int{IDC_BACKLIGHT_PERCENT}, int{IDC_BACKLIGHT_MIN},
                   int{IDC_BACKLIGHT_MAX}})
        enableItem(id, enabled);
    picture(IDC_BACKLIGHT_STATE).setImage(enabled ? IDB_CONNECTED : IDB_DISCONNECTED);
}

void CBacklightDlg::showTime()
{
    setItemText(IDC_BACKLIGHT_TIME, waitTimeText(m_time));
}

void CBacklightDlg::onInit()
{
    bind();
    findModule();
    ui::Slider& slider = this->slider(IDC_BACKLIGHT_SLIDER);
    slider.setRange(2, 10);
    const auto port = readPort();
    const DWORD atOpen = readBrightness().value_or(0);
    m_brightnessAtOpen = atOpen >= kLowestBrightness && atOpen <= 100 ? atOpen : 0;

    RegKey key;
    key.create(kBacklightKey);
    const DWORD brightness = readDword(key.get(), u"Brightness").value_or(100);
    writeBrightness(brightness);
    slider.setPos(static_cast<int>(brightness / 10));
    showBrightness(slider.pos());
    m_position = slider.pos();
    const auto time = readDword(key.get(), u"BacklightTime");
    m_time = time.value_or(300);
    if (!time && key)
        writeDword(key.get(), u"BacklightTime", m_time);
    ui::UpDown& upDown = this->upDown(IDC_BACKLIGHT_TIME_UPDOWN);
    upDown.setAccel(timeAcceleration());
    upDown.setRange(0, 65535);
    showTime();
    const bool off = readDword(key.get(), u"BacklightOff").value_or(0) != 0;
    setChecked(IDC_BACKLIGHT_OFF, off);
    enableItem(IDC_BACKLIGHT_TIME, off);
    enableItem(IDC_BACKLIGHT_TIME_UPDOWN, off);

    fillPorts();
    ui::ComboBox& ports = combo(IDC_BACKLIGHT_PORT);
    const bool shown = connected() && ports.count() > 0;
    if (shown && port)
        ports.setCurSel(ports.findStringExact(-1, *port));
    enableBrightness(shown);

    // The position shown at open counts as written from here: a move made before the thread first
    // runs is still written.
    m_worker = std::thread([this, written = m_position.load()] { work(written); });
}

void CBacklightDlg::work(int written)
{
    std::optional<ui::Milliseconds> lastWrite;
    std::unique_lock lock(m_workerLock);
    while (!m_wake.wait_for(lock, kPollInterval, [this] { return m_stop; }))
    {
        const int position = m_position;
        const ui::Milliseconds now = m_clock.now();
        if (position == written || (lastWrite && now - *lastWrite < kWriteInterval))
            continue;
        lock.unlock();
        writeBrightness(static_cast<DWORD>(position) * 10);
        lock.lock();
        written = position;
        lastWrite = now;
    }
}

void CBacklightDlg::stopWorker()
{
    {
        std::lock_guard guard(m_workerLock);
        m_stop = true;
    }
    m_wake.notify_all();
    // Joined, not given up on: the worker still uses this object and the library.
    if (m_worker.joinable())
        m_worker.join();
}

void CBacklightDlg::choosePort()
{
    ui::ComboBox& ports = combo(IDC_BACKLIGHT_PORT);
    const std::string name = ports.itemText(ports.curSel());
    writeBrightness(m_brightnessAtOpen);
    bool ok = false;
    if (connected())
    {
        char field[kPortWriteSize] = {};
        std::memcpy(field, name.data(), std::min<size_t>(name.size(), kPortWriteSize - 1));
        std::lock_guard guard(m_deviceLock);
        m_write(*m_index, kPortEntry, 0, kPortWriteSize, field);
    }
    if (const auto brightness = readBrightness())
    {
        if (m_brightnessAtOpen == 0 && *brightness >= kLowestBrightness && *brightness <= 100)
            m_brightnessAtOpen = *brightness;
        writeBrightness(static_cast<DWORD>(slider(IDC_BACKLIGHT_SLIDER).pos()) * 10);
        ok = true;
    }
    if (!ok)
        ports.setCurSel(ui::ComboBox::kNone);
    enableBrightness(ok);
}

void CBacklightDlg::onCommand(int id, ui::Command code)
{
    if (id == IDC_BACKLIGHT_PORT && code == ui::Command::SelChange)
        choosePort();
    if (id == IDC_BACKLIGHT_OFF && code == ui::Command::Clicked)
    {
        enableItem(IDC_BACKLIGHT_TIME, isChecked(id));
        enableItem(IDC_BACKLIGHT_TIME_UPDOWN, isChecked(id));
    }
}

void CBacklightDlg::onNotify(int id, ui::Notify& notify)
{
    if (id == IDC_BACKLIGHT_SLIDER && notify.code == ui::NotifyCode::SliderMove)
    {
        showBrightness(notify.position);
        m_position = notify.position;
    }
    if (id == IDC_BACKLIGHT_TIME_UPDOWN && notify.code == ui::NotifyCode::UpDownDelta)
    {
        m_time = stepWaitTime(m_time, -notify.delta);
        showTime();
    }
}

void CBacklightDlg::onOk()
{
    stopWorker();
    writeBrightness(m_brightnessAtOpen);
    RegKey key;
    if (key.create(kBacklightKey))
    {
        writeDword(key.get(), u"BacklightTime", m_time);
        writeDword(key.get(), u"BacklightOff", isChecked(IDC_BACKLIGHT_OFF) ? 1 : 0);
        writeDword(key.get(), u"Brightness", static_cast<DWORD>(slider(IDC_BACKLIGHT_SLIDER).pos()) * 10);
        RegFlushKey(key.get());
    }
    RegKey gkt;
    if (gkt.open(kGktKey))
        RegFlushKey(gkt.get());
    endDialog(IDOK);
}

void CBacklightDlg::onCancel()
{
    stopWorker();
    writeBrightness(m_brightnessAtOpen);
    endDialog(IDCANCEL);
}
} // namespace setupdesk
