#include "cellpanel_dialog.h"

#include "battery_registry.h"
#include "power_text.h"

#include <ui/text.h>

#include <windows.h>

namespace cellpanel
{
namespace
{
constexpr const char* kSeconds = "seconds";
constexpr const char* kMinutes = "minutes";
} // namespace

CCellpanelDlg::CCellpanelDlg() : ui::Dialog(IDD_CELLPANEL, "CORVANTA UPS Configuration")
{
    addLabel(IDC_VENDOR, "Vendor:");
    addLabel(IDC_MODEL, "Model:");
    addLabel(IDC_PORT_LABEL, "Port:");
    addCombo(IDC_PORT).setNewLine(false);
    addLabel(IDC_POWER_SOURCE, "Current power source:");
    addLabel(IDC_CHARGE_STATUS, "Battery charge status:");
    addLabel(IDC_LOAD_LEVEL, "Battery load level:");
    addLabel(IDC_RUNTIME, "Estimated UPS runtime:");
    addLabel(IDC_TEMPERATURE, "Temperature:");
    addLabel(IDC_VOLTAGE, "Voltage:");
    addLabel(IDC_CURRENT, "Current:");
    addGroupBox(IDC_WAIT_GROUP, "Max. time on battery before critical alarm:");
    addEdit(IDC_WAIT).setGroup(IDC_WAIT_GROUP);
    addUpDown(IDC_WAIT_SPIN).setGroup(IDC_WAIT_GROUP);
    auto& unit = addCombo(IDC_WAIT_UNIT);
    unit.setGroup(IDC_WAIT_GROUP);
    unit.addString(kSeconds);
    unit.addString(kMinutes);
    addButton(IDC_ABOUT, "&About");
    addButton(IDOK, "OK");
}

void CCellpanelDlg::onInit()
{
    setTimer(kRefreshTimer, kRefreshPeriod);
    const BatterySettings settings = readBatterySettings();

    if (settings.port.empty())
    {
        for (int id : {IDC_PORT, IDC_PORT_LABEL})
        {
            showItem(id, false);
            enableItem(id, false);
        }
    }
    else
    {
        m_port = settings.port;
        combo(IDC_PORT).setCurSel(combo(IDC_PORT).addString(settings.port));
    }

    setItemText(IDC_VENDOR, ui::format("Vendor: %s", settings.vendor.c_str()));
    setItemText(IDC_MODEL, ui::format("Model: %s", settings.model.c_str()));
    if (settings.model.empty() || settings.vendor.empty() || settings.vendor == "(None)" ||
        settings.vendor == "(none)")
        disableStatusAndSettings();

    // The arrows always follow the field, so a typed number counts even when no value
    // was stored.
    ui::UpDown& spin = upDown(IDC_WAIT_SPIN);
    spin.setRange(0, kMaxWait);
    spin.setBuddy(IDC_WAIT);
    if (settings.wait)
    {
        m_waitPresent = true;
        spin.setPos(static_cast<int>(std::min<DWORD>(*settings.wait, kMaxWait)));
    }
    if (settings.unit)
    {
        m_unitPresent = true;
        combo(IDC_WAIT_UNIT).selectString(ui::ComboBox::kNone, *settings.unit == 1 ? kMinutes : kSeconds);
    }
}

void CCellpanelDlg::onCommand(int id, ui::Command code)
{
    if (id == IDC_ABOUT && code == ui::Command::Clicked)
    {
        messageBox(ui::format("Version: %d.%d.%d", 1, 0, 1), "About", MB_OK);
    }
    else if (id == IDC_PORT && code == ui::Command::SelChange)
    {
        m_port = combo(IDC_PORT).text();
    }
    else if (id == IDC_WAIT_UNIT && code == ui::Command::SelChange)
    {
        m_unitChanged = true;
        updateData(true);
    }
    else if (id == IDC_WAIT && code == ui::Command::Changed)
    {
        m_waitChanged = true;
    }
}

void CCellpanelDlg::onNotify(int id, ui::Notify& notify)
{
    if (id == IDC_WAIT_SPIN && notify.code == ui::NotifyCode::UpDownDelta)
        m_waitChanged = true;
}

void CCellpanelDlg::onTimer(int timerId)
{
    if (timerId == kRefreshTimer)
        refreshStatus();
}

void CCellpanelDlg::doDataExchange(ui::DataExchange& exchange)
{
    exchange.comboText(IDC_WAIT_UNIT, m_unitText);
}

// A failed query disables the controls for good; later answers still update the texts.
void CCellpanelDlg::refreshStatus()
{
    SYSTEM_POWER_STATUS_EX2 status{};
    if (GetSystemPowerStatusEx2(&status, sizeof status, TRUE) == 0)
    {
        disableStatusAndSettings();
        return;
    }
    setItemText(IDC_POWER_SOURCE, powerSourceText(status.ACLineStatus));
    setItemText(IDC_LOAD_LEVEL, loadLevelText(status.BatteryLifePercent));
    setItemText(IDC_RUNTIME, runtimeText(status.BatteryLifeTime));
    setItemText(IDC_CHARGE_STATUS, chargeStatusText(status.BatteryFlag));
    setItemText(IDC_VOLTAGE, voltageText(status.BatteryVoltage));
    setItemText(IDC_TEMPERATURE, temperatureText(status.BatteryTemperature));
    setItemText(IDC_CURRENT, currentText(status.BatteryCurrent));
}

void CCellpanelDlg::disableStatusAndSettings()
{
    for (int id : {IDC_VENDOR, IDC_MODEL, IDC_POWER_SOURCE, IDC_CHARGE_STATUS, IDC_LOAD_LEVEL, IDC_RUNTIME,
                   IDC_TEMPERATURE, IDC_VOLTAGE, IDC_CURRENT, IDC_WAIT_GROUP, IDC_WAIT, IDC_WAIT_SPIN,
                   IDC_WAIT_UNIT, IDC_PORT, IDC_PORT_LABEL})
        enableItem(id, false);
}

void CCellpanelDlg::onOk()
{
    std::optional<DWORD> wait;
    std::optional<DWORD> unit;
    if (m_waitPresent || m_waitChanged)
        wait = static_cast<DWORD>(upDown(IDC_WAIT_SPIN).pos());
    if (m_unitPresent || m_unitChanged)
        unit = combo(IDC_WAIT_UNIT).text() == kMinutes ? 1 : 0;
    // A missing key writes nothing; the dialog closes all the same.
    writeShutdownWait(wait, unit);
    endDialog(IDOK);
}
} // namespace cellpanel
