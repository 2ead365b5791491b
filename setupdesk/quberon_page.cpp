#include "quberon_page.h"

#include "quberon_system.h"
#include "resource.h"
#include "system_config.h"

#include <ui/text.h>

#include <algorithm>
#include <cstring>

namespace setupdesk
{
namespace
{
enum : int
{
    IDC_LOG_GROUP = 1300,
    IDC_LOG_SIZE_LABEL,
    IDC_LOG_SIZE_UNIT,
    IDC_LOG_PATH_LABEL,
};

constexpr const char16_t* kSetupdeskKey = u"SOFTWARE\\Corvanta\\Setupdesk";
constexpr const char16_t* kLoggerProgram = u"\\Hard Disk\\System\\QbEventLoggerCE.exe";
constexpr const char16_t* kDriverKeys[] = {u"Drivers\\BuiltIn\\QbSYSDLL", u"Drivers\\BuiltIn\\QbROUTER"};
constexpr const char16_t* kTimerKey = u"Drivers\\BuiltIn\\QbTIMER";
constexpr DWORD kDriverNotLoaded = 4;
constexpr DWORD kProposedLogSize = 4096;

bool offered(const std::optional<ImageVersion>& image, int minorLimit)
{
    return image && (image->major > 1 || image->minor > minorLimit);
}

// A stored switch of any type: a number's bytes or a text's number.
bool switchState(const RawValue& value)
{
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ)
    {
        std::u16string text(value.bytes.size() / 2, u'\0');
        std::memcpy(text.data(), value.bytes.data(), text.size() * 2);
        return _wtoi(text.c_str()) != 0;
    }
    return std::any_of(value.bytes.begin(), value.bytes.end(), [](BYTE b) { return b != 0; });
}

// The switch in the type and size it was stored with.
RawValue storedSwitch(const RawValue& stored, bool on)
{
    RawValue value = stored;
    if (stored.type == REG_SZ || stored.type == REG_EXPAND_SZ)
    {
        const std::u16string text = on ? u"1" : u"0";
        value.bytes.assign(reinterpret_cast<const BYTE*>(text.c_str()),
                           reinterpret_cast<const BYTE*>(text.c_str() + text.size() + 1));
    }
    else
    {
        std::fill(value.bytes.begin(), value.bytes.end(), 0);
        if (!value.bytes.empty())
            value.bytes[0] = on ? 1 : 0;
    }
    return value;
}

bool fileExists(const char16_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

const char16_t* runtimeKey(const char16_t* quberon3, const char16_t* quberon)
{
    return quberonMajorVersion() > 2 ? quberon3 : quberon;
}

// The size field as a 32-bit number; empty or unreadable text is 0.
DWORD sizeOf(const std::string& text)
{
    const auto value = ui::wholeNumber(text);
    if (!value || *value < 0)
        return 0;
    return static_cast<DWORD>(std::min<long long>(*value, 0xFFFFFFFFll));
}
} // namespace

CQuberonPage::CQuberonPage() : CSetupPage(IDD_QUBERON, "Quberon Settings")
{
    addGroupBox(IDC_RUN_AS_DEVICE_GROUP, "Quberon in Device");
    addCheckBox(IDC_RUN_AS_DEVICE, "Run as Device").setGroup(IDC_RUN_AS_DEVICE_GROUP);
    addGroupBox(IDC_VISUALISATION_GROUP, "Target Visualisation");
    addCheckBox(IDC_VISUALISATION, "Enable Visualisation").setGroup(IDC_VISUALISATION_GROUP);
    addGroupBox(IDC_LOG_GROUP, "Log File Configuration");
    addCheckBox(IDC_LOG_FILE, "Enable Log File").setGroup(IDC_LOG_GROUP);
    addLabel(IDC_LOG_SIZE_LABEL, "Size").setGroup(IDC_LOG_GROUP);
    auto& size = addEdit(IDC_LOG_SIZE, ui::EditStyle{false, true});
    size.setGroup(IDC_LOG_GROUP);
    size.setNewLine(false);
    auto& unit = addLabel(IDC_LOG_SIZE_UNIT, "Byte");
    unit.setGroup(IDC_LOG_GROUP);
    unit.setNewLine(false);
    addLabel(IDC_LOG_PATH_LABEL, "Path").setGroup(IDC_LOG_GROUP);
    auto& path = addEdit(IDC_LOG_PATH);
    path.setGroup(IDC_LOG_GROUP);
    path.setNewLine(false);
    path.setLimitText(kPathChars);
    addGroupBox(IDC_LOGGER_GROUP, "QbEventLogger");
    addCheckBox(IDC_LOGGER, "Enable Logger").setGroup(IDC_LOGGER_GROUP);
}

void CQuberonPage::initPage()
{
    RegKey image;
    if (openImageKey(image))
        m_image = parseImageVersion(readString(image.get(), u"Line1").value_or(""));
    m_systemConfig = systemConfigPath();
    // This page looks for the first run-time system's key first, whatever the version.
    m_systemKey = keyExists(kQuberonSystemKey) ? kQuberonSystemKey : kQuberon3SystemKey;

    initRunAsDevice();
    initLogFile();
    initVisualisation();
    initEventLogger();
    setChanged(false);
    setNeedsServiceRestart(false);
}

void CQuberonPage::hide(int control, int group)
{
    showItem(control, false);
    showItem(group, false);
}

void CQuberonPage::initRunAsDevice()
{
    RegKey system;
    system.open(m_systemKey.c_str(), KEY_READ);
    const auto stored = readDword(system.get(), u"RunAsDevice");
    if (!offered(m_image, 80) || !stored)
    {
        hide(IDC_RUN_AS_DEVICE, IDC_RUN_AS_DEVICE_GROUP);
        return;
    }
    m_runAsDevice = *stored != 0;
    setChecked(IDC_RUN_AS_DEVICE, *m_runAsDevice);
    RegKey setupdesk;
    setupdesk.open(kSetupdeskKey, KEY_READ);
    m_runAsDeviceReadOnly = readDword(setupdesk.get(), u"RunAsDeviceRO") == 1u;
    if (m_runAsDeviceReadOnly)
        enableItem(IDC_RUN_AS_DEVICE, false);
}

void CQuberonPage::initLogFile()
{
    RegKey system;
    system.open(m_systemKey.c_str(), KEY_READ);
    m_logSize = readDword(system.get(), u"SysLogFileSize").value_or(0);
    m_logPath = readString(system.get(), u"SysLogFilePath", kWholeValue).value_or("");
    setItemText(IDC_LOG_SIZE, std::to_string(m_logSize));
    setItemText(IDC_LOG_PATH, m_logPath);
    setChecked(IDC_LOG_FILE, m_logSize != 0);
    enableItem(IDC_LOG_SIZE, m_logSize != 0);
    enableItem(IDC_LOG_PATH, m_logSize != 0);
}

void CQuberonPage::initVisualisation()
{
    RegKey plc;
    plc.open(runtimeKey(u"Software\\Corvanta\\Quberon3\\Plc", u"Software\\Corvanta\\Quberon\\Plc"), KEY_READ);
    for (const char16_t* name : {u"EnableVisualisation", u"EnableVisualization"})
    {
        if (const auto stored = readRaw(plc.get(), name))
        {
            m_visualisation = Visualisation{name, *stored, false};
            break;
        }
    }
    // Without a stored switch there is nothing the box could show or change.
    if (!offered(m_image, 70) || !m_visualisation)
    {
        m_visualisation.reset();
        hide(IDC_VISUALISATION, IDC_VISUALISATION_GROUP);
        return;
    }
    if (m_runAsDevice.value_or(false))
    {
        // A device runs no visualisation of its own.
        enableItem(IDC_VISUALISATION, false);
        setChecked(IDC_VISUALISATION, false);
        return;
    }
    const bool on = switchState(m_visualisation->stored);
    m_visualisation->shown = on;
    setChecked(IDC_VISUALISATION, on);
    if (on)
        enableItem(IDC_RUN_AS_DEVICE, false);
}

void CQuberonPage::initEventLogger()
{
    m_loggerOffered = fileExists(kLoggerProgram);
    if (!m_loggerOffered)
    {
        hide(IDC_LOGGER, IDC_LOGGER_GROUP);
        return;
    }
    setChecked(IDC_LOGGER, eventLoggerListed(m_systemConfig));
}

void CQuberonPage::markChanged(bool reset, bool serviceRestart)
{
    setChanged(true);
    if (reset)
        setNeedsReset(true);
    if (serviceRestart)
        setNeedsServiceRestart(true);
}

void CQuberonPage::onCommand(int id, ui::Command code)
{
    if (code == ui::Command::Changed && (id == IDC_LOG_SIZE || id == IDC_LOG_PATH))
    {
        markChanged(false, true);
        return;
    }
    if (code != ui::Command::Clicked)
        return;
    switch (id)
    {
    case IDC_RUN_AS_DEVICE:
        enableItem(IDC_VISUALISATION, !isChecked(IDC_RUN_AS_DEVICE));
        markChanged(true, false);
        break;
    case IDC_VISUALISATION:
        enableItem(IDC_RUN_AS_DEVICE, !isChecked(IDC_VISUALISATION) && !m_runAsDeviceReadOnly);
        markChanged(false, true);
        break;
    case IDC_LOG_FILE:
    {
        const bool enabled = isChecked(IDC_LOG_FILE);
        enableItem(IDC_LOG_SIZE, enabled);
        enableItem(IDC_LOG_PATH, enabled);
        setItemText(IDC_LOG_SIZE, std::to_string(enabled ? kProposedLogSize : 0));
        markChanged(false, true);
        break;
    }
    case IDC_LOGGER:
        markChanged(true, false);
        break;
    default:
        break;
    }
}

void CQuberonPage::apply()
{
    if (!changed())
        return;
    applyRunAsDevice();
    applyLogFile();
    applyVisualisation();
    // A logger box that is not shown says nothing about the file: it is left as it is.
    if (m_loggerOffered)
        setEventLogger(m_systemConfig, isChecked(IDC_LOGGER));
    setChanged(false);
}

void CQuberonPage::applyRunAsDevice()
{
    const bool runAsDevice = isChecked(IDC_RUN_AS_DEVICE);
    if (!m_runAsDevice || runAsDevice == *m_runAsDevice)
        return;
    const DWORD flags = runAsDevice ? 0 : kDriverNotLoaded;
    RegKey system;
    if (system.open(m_systemKey.c_str()))
        writeDword(system.get(), u"RunAsDevice", runAsDevice ? 1 : 0);
    for (const char16_t* path : kDriverKeys)
    {
        RegKey driver;
        if (driver.open(path))
            writeDword(driver.get(), u"Flags", flags);
    }
    OSVERSIONINFOW os{};
    os.dwOSVersionInfoSize = sizeof os;
    if (GetVersionExW(&os) && os.dwMajorVersion < 6)
    {
        RegKey rtime, timer;
        if (rtime.create(
                runtimeKey(u"Software\\Corvanta\\Quberon3\\RTime", u"Software\\Corvanta\\Quberon\\RTime")))
            writeDword(rtime.get(), u"QbTimerInDevice", runAsDevice ? 1 : 0);
        if (timer.open(kTimerKey))
            writeDword(timer.get(), u"Flags", flags);
    }
    // What was written is the stored state now, so that a later Apply compares with it.
    m_runAsDevice = runAsDevice;
}

void CQuberonPage::applyLogFile()
{
    RegKey system;
    if (!system.open(m_systemKey.c_str()))
        return;
    const DWORD size = sizeOf(itemText(IDC_LOG_SIZE));
    const std::string path = itemText(IDC_LOG_PATH);
    if (size != m_logSize && writeDword(system.get(), u"SysLogFileSize", size))
        m_logSize = size;
    if (path != m_logPath && writeString(system.get(), u"SysLogFilePath", path))
        m_logPath = path;
    RegFlushKey(system.get());
}

void CQuberonPage::applyVisualisation()
{
    if (!m_visualisation)
        return;
    // Only a change of the box is written: a box shown cleared for a device keeps the stored state.
    const bool on = isChecked(IDC_VISUALISATION);
    if (on == m_visualisation->shown || m_visualisation->stored.bytes.empty())
        return;
    RegKey plc;
    if (!plc.open(runtimeKey(u"Software\\Corvanta\\Quberon3\\Plc", u"Software\\Corvanta\\Quberon\\Plc")))
        return;
    const RawValue value = storedSwitch(m_visualisation->stored, on);
    if (writeRaw(plc.get(), m_visualisation->name.c_str(), value))
    {
        m_visualisation->stored = value;
        m_visualisation->shown = on;
    }
}
} // namespace setupdesk
