#include "misc_page.h"

#include "audio_dlg.h"
#include "boot_config.h"
#include "quberon_system.h"
#include "registry_values.h"
#include "resource.h"
#include "time_texts.h"
#include "warning_dlg.h"

#include <os/text.h>

namespace setupdesk
{
namespace
{
enum : int
{
    IDC_MISC_NUMLOCK_GROUP = 1300,
    IDC_MISC_SERIAL_GROUP,
    IDC_MISC_AUDIO_GROUP,
    IDC_MISC_SNTP_GROUP,
    IDC_MISC_SNTP_LABEL,
    IDC_MISC_REFRESH_LABEL,
    IDC_MISC_TCPIP_GROUP,
};

constexpr const char16_t* kKeyboardKey = u"ControlPanel\\keybd";
constexpr const char16_t* kTimeKey = u"Services\\Timesvc";
constexpr const char16_t* kTcpIpKey = u"Comm\\Tcpip\\Parms";
constexpr const char16_t* kPciKey = u"Drivers\\BuiltIn\\PCI";
constexpr const char16_t* kTemplateKey = u"Drivers\\BuiltIn\\PCI\\Template\\gxuamaud";
constexpr const char16_t* kInstanceKey = u"Drivers\\BuiltIn\\PCI\\Instance\\gxuamaud1";
constexpr const char16_t* kAc97Key = u"Drivers\\BuiltIn\\PCI\\Template\\ichac97";
constexpr const char16_t* kStgl5000Key = u"Drivers\\BuiltIn\\STGL5000";
constexpr const char16_t* kSerialLibrary = u"QbComPortConnectionW32.dll";
constexpr DWORD kDriverDisabled = 4;
constexpr DWORD kNumLockOn = 2;
constexpr DWORD kShortestRefresh = 300000;

// The Num Lock box is sorted: "Off" comes first.
enum : int
{
    kNumLockOffItem = 0,
    kNumLockOnItem = 1,
};

bool writeMultiString(HKEY key, const char16_t* name, const std::u16string& text)
{
    std::u16string list = text;
    list.push_back(u'\0');
    list.push_back(u'\0');
    return RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list.data()),
                          static_cast<DWORD>(list.size() * sizeof(char16_t))) == ERROR_SUCCESS;
}

void flush(HKEY root, const char16_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    RegFlushKey(key);
    RegCloseKey(key);
}
} // namespace

CMiscPage::CMiscPage(LibraryLoader& loader) : CSetupPage(IDD_MISC, "Miscellaneous"), m_loader(loader)
{
    addGroupBox(IDC_MISC_NUMLOCK_GROUP, "Startup Numlock State");
    ui::ComboBox& numLock = addCombo(IDC_MISC_NUMLOCK, false, true);
    numLock.setGroup(IDC_MISC_NUMLOCK_GROUP);
    numLock.addString("Off");
    numLock.addString("On");
    addGroupBox(IDC_MISC_SERIAL_GROUP, "Vos Serial Connection");
    addCheckBox(IDC_MISC_SERIAL, "Enable ").setGroup(IDC_MISC_SERIAL_GROUP);
    addGroupBox(IDC_MISC_AUDIO_GROUP, "Audio Module");
    addCheckBox(IDC_MISC_AUDIO_ENABLE, "Enable Audio Device").setGroup(IDC_MISC_AUDIO_GROUP);
    auto& settings = addButton(IDC_MISC_AUDIO_SETTINGS, "Audio Settings");
    settings.setGroup(IDC_MISC_AUDIO_GROUP);
    settings.setNewLine(false);
    addGroupBox(IDC_MISC_SNTP_GROUP, "Simple Network Time Protocol");
    addLabel(IDC_MISC_SNTP_LABEL, "SNTP Server :").setGroup(IDC_MISC_SNTP_GROUP);
    auto& server = addEdit(IDC_MISC_SNTP_SERVER);
    server.setGroup(IDC_MISC_SNTP_GROUP);
    server.setNewLine(false);
    server.setLimitText(kPathChars);
    addLabel(IDC_MISC_REFRESH_LABEL, "Refresh rate :").setGroup(IDC_MISC_SNTP_GROUP);
    auto& refresh = addLabel(IDC_MISC_REFRESH, {});
    refresh.setGroup(IDC_MISC_SNTP_GROUP);
    refresh.setNewLine(false);
    auto& upDown = addUpDown(IDC_MISC_REFRESH_UPDOWN);
    upDown.setGroup(IDC_MISC_SNTP_GROUP);
    upDown.setNewLine(false);
    addGroupBox(IDC_MISC_TCPIP_GROUP, "TCP/IP Settings");
    addCheckBox(IDC_MISC_IP_ROUTING, "IP Routing").setGroup(IDC_MISC_TCPIP_GROUP);
    auto& dhcp = addCheckBox(IDC_MISC_DHCP, "DHCP");
    dhcp.setGroup(IDC_MISC_TCPIP_GROUP);
    dhcp.show(false);
}

bool CMiscPage::serialLibraryLoads()
{
    std::vector<std::u16string> places{u"\\Windows\\", u"\\Hard Disk\\System\\"};
    if (quberonMajorVersion() >= 3)
    {
        if (const auto driver = quberonDirectories().driver)
            places.push_back(os::toUtf16(*driver));
    }
    for (const std::u16string& place : places)
    {
        BoundLibrary library(m_loader, (place + kSerialLibrary).c_str());
        if (library.loaded())
            return true;
    }
    return false;
}

void CMiscPage::initPage()
{
    ui::UpDown& upDown = this->upDown(IDC_MISC_REFRESH_UPDOWN);
    upDown.setAccel(timeAcceleration());
    upDown.setRange(0, 65535);
    upDown.setPos(0);
    enableItem(IDC_MISC_SERIAL, serialLibraryLoads());
    initAudio();

    HKEY keyboard = nullptr;
    DWORD indicators = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyboardKey, 0, KEY_READ, &keyboard) == ERROR_SUCCESS)
    {
        indicators = readDword(keyboard, u"InitialKeyboardIndicators").value_or(0);
        RegCloseKey(keyboard);
    }
    combo(IDC_MISC_NUMLOCK).setCurSel(indicators == kNumLockOn ? kNumLockOnItem : kNumLockOffItem);

    initTimeService();
    initSerialConnection();

    RegKey tcpIp;
    tcpIp.open(kTcpIpKey, KEY_READ);
    setChecked(IDC_MISC_IP_ROUTING, readDword(tcpIp.get(), u"IPEnableRouter") == 1u);
    setChecked(IDC_MISC_DHCP, readDword(tcpIp.get(), u"EnableDHCP") == 1u);
    setChanged(false);
}

void CMiscPage::initAudio()
{
    m_audioKind = keyExists(kStgl5000Key) ? kAudioStgl5000 : keyExists(kAc97Key) ? kAudioAc97 : kAudioGeode;
    if (m_audioKind != kAudioGeode)
    {
        enableItem(IDC_MISC_AUDIO_ENABLE, false);
        enableItem(IDC_MISC_AUDIO_SETTINGS, CWavDevice().isOpen());
        return;
    }
    RegKey instance;
    const bool enabled = keyExists(kTemplateKey) && instance.open(kInstanceKey, KEY_READ) &&
                         readDword(instance.get(), u"Flags").value_or(0) == 0;
    setChecked(IDC_MISC_AUDIO_ENABLE, enabled);
    enableItem(IDC_MISC_AUDIO_SETTINGS, enabled);
}

void CMiscPage::initTimeService()
{
    RegKey time;
    if (!time.open(kTimeKey, KEY_READ))
    {
        setItemText(IDC_MISC_SNTP_SERVER, "SNTP not available");
        enableItem(IDC_MISC_REFRESH, false);
        enableItem(IDC_MISC_REFRESH_UPDOWN, false);
        m_refresh = kShortestRefresh;
        showRefresh();
        return;
    }
    setItemText(IDC_MISC_SNTP_SERVER, readString(time.get(), u"Server", kWholeValue).value_or(""));
    m_refresh = readDword(time.get(), u"Refresh").value_or(kShortestRefresh);
    showRefresh();
}

void CMiscPage::initSerialConnection()
{
    const BootFiles files = bootFiles(quberonMajorVersion());
    bool found = false;
    for (const auto& file : {files.defaultConfig, files.addInits})
        found = found || (file && holdsSerialConnection(*file));
    setChecked(IDC_MISC_SERIAL, found);
}

void CMiscPage::showRefresh()
{
    setItemText(IDC_MISC_REFRESH, refreshText(m_refresh));
}

void CMiscPage::edited(bool reset)
{
    if (reset)
        setNeedsReset(true);
    setChanged(true);
}

void CMiscPage::onCommand(int id, ui::Command code)
{
    if (id == IDC_MISC_NUMLOCK && code == ui::Command::SelChange)
        edited(false);
    if (id == IDC_MISC_SNTP_SERVER && code == ui::Command::Changed)
        edited();
    if (code != ui::Command::Clicked)
        return;
    switch (id)
    {
    case IDC_MISC_AUDIO_ENABLE:
        if (isChecked(IDC_MISC_AUDIO_ENABLE))
            showWarning(*this, IDS_WARN_AUDIO);
        edited();
        break;
    case IDC_MISC_SERIAL:
    case IDC_MISC_IP_ROUTING:
    case IDC_MISC_DHCP:
        edited();
        break;
    case IDC_MISC_AUDIO_SETTINGS:
        openAudioSettings(*this, m_audioKind);
        break;
    default:
        break;
    }
}

void CMiscPage::onNotify(int id, ui::Notify& notify)
{
    if (id != IDC_MISC_REFRESH_UPDOWN || notify.code != ui::NotifyCode::UpDownDelta)
        return;
    m_refresh = stepRefresh(m_refresh, -notify.delta);
    showRefresh();
    edited();
}

void CMiscPage::applyAudio()
{
    if (m_audioKind != kAudioGeode)
        return;
    if (!isChecked(IDC_MISC_AUDIO_ENABLE))
    {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTemplateKey);
        // The system may keep the instance key; then the driver is only marked as not to load.
        if (RegDeleteKeyW(HKEY_LOCAL_MACHINE, kInstanceKey) == ERROR_ACCESS_DENIED)
        {
            RegKey instance;
            if (instance.open(kInstanceKey))
                writeDword(instance.get(), u"Flags", kDriverDisabled);
        }
        flush(HKEY_LOCAL_MACHINE, kPciKey);
        return;
    }
    HKEY created = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTemplateKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                        &disposition) == ERROR_SUCCESS)
    {
        if (disposition == REG_CREATED_NEW_KEY)
        {
            writeString(created, u"Prefix", "WAV");
            writeString(created, u"Dll", "gxuamaud.dll");
            writeDword(created, u"Order", 0);
            writeDword(created, u"Class", 4);
            writeDword(created, u"SubClass", 1);
            writeDword(created, u"ProgIF", 0);
            writeMultiString(created, u"VendorID", u"100B");
            writeMultiString(created, u"DeviceID", u"0503");
            writeMultiString(created, u"IClass", u"{E92BC203-8354-4043-A06F-2A170BF6F227}");
        }
        RegCloseKey(created);
    }
    RegKey instance;
    if (instance.open(kInstanceKey))
        writeDword(instance.get(), u"Flags", 0);
    flush(HKEY_LOCAL_MACHINE, kPciKey);
}

void CMiscPage::applyTimeService()
{
    RegKey time;
    if (!time.open(kTimeKey))
        return;
    const std::string server = itemText(IDC_MISC_SNTP_SERVER);
    writeString(time.get(), u"Server", server);
    writeDword(time.get(), u"trustlocalclock", server.empty() ? 1 : 0);
    writeDword(time.get(), u"Refresh", m_refresh);
    writeDword(time.get(), u"RecoveryRefresh", m_refresh);
    RegFlushKey(time.get());
}

void CMiscPage::applyNumLock()
{
    HKEY keyboard = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyboardKey, 0, KEY_ALL_ACCESS, &keyboard) != ERROR_SUCCESS)
        return;
    writeDword(keyboard, u"InitialKeyboardIndicators",
               combo(IDC_MISC_NUMLOCK).curSel() == kNumLockOnItem ? kNumLockOn : 0);
    RegFlushKey(keyboard);
    RegCloseKey(keyboard);
}

void CMiscPage::applySerialConnection()
{
    const bool on = isChecked(IDC_MISC_SERIAL);
    const BootFiles files = bootFiles(quberonMajorVersion());
    if (files.addInits)
        rewriteAddInits(*files.addInits, on);
    for (const auto& file : {files.defaultConfig, files.currentConfig})
    {
        if (file && holdsSerialConnection(*file) != on)
            editSerialConnection(*file, on);
    }
}

void CMiscPage::applyTcpIp()
{
    RegKey tcpIp;
    if (!tcpIp.open(kTcpIpKey))
        return;
    writeDword(tcpIp.get(), u"EnableDHCP", isChecked(IDC_MISC_DHCP) ? 1 : 0);
    writeDword(tcpIp.get(), u"IPEnableRouter", isChecked(IDC_MISC_IP_ROUTING) ? 1 : 0);
    RegFlushKey(tcpIp.get());
}

void CMiscPage::apply()
{
    if (!changed())
        return;
    applyAudio();
    applyTimeService();
    applyNumLock();
    applySerialConnection();
    applyTcpIp();
    setChanged(false);
}
} // namespace setupdesk
