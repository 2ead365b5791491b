// The battery status dialog: the battery or UPS state once a second, and the time
// the device may run on battery before the critical alarm.
#pragma once

#include <ui/dialog.h>

#include <optional>
#include <string>

namespace cellpanel
{
// Control ids of the dialog.
enum : int
{
    IDD_CELLPANEL = 102,
    IDC_VENDOR = 1000,
    IDC_MODEL = 1001,
    IDC_POWER_SOURCE = 1002,
    IDC_LOAD_LEVEL = 1003,
    IDC_RUNTIME = 1004,
    IDC_PORT = 1005,
    IDC_WAIT_SPIN = 1006,
    IDC_WAIT = 1007,
    IDC_WAIT_UNIT = 1008,
    IDC_TEMPERATURE = 1013,
    IDC_VOLTAGE = 1014,
    IDC_CURRENT = 1015,
    IDC_PORT_LABEL = 1016,
    IDC_ABOUT = 1017,
    IDC_WAIT_GROUP = 1019,
    IDC_CHARGE_STATUS = 1020,
};

constexpr int kRefreshTimer = 1;
constexpr unsigned kRefreshPeriod = 1000;
constexpr int kMaxWait = 720;

class CCellpanelDlg final : public ui::Dialog
{
public:
    CCellpanelDlg();

    void onInit() override;
    void onCommand(int id, ui::Command code) override;
    void onNotify(int id, ui::Notify& notify) override;
    void onTimer(int timerId) override;
    void onOk() override;
    void doDataExchange(ui::DataExchange& exchange) override;

    const std::string& port() const { return m_port; }

private:
    void refreshStatus();
    void disableStatusAndSettings();

    std::string m_port;
    std::string m_unitText;
    // Values are written back only when they were there or the user set them: a
    // value written unasked would change the battery driver's behaviour.
    bool m_waitPresent = false;
    bool m_unitPresent = false;
    bool m_waitChanged = false;
    bool m_unitChanged = false;
};
} // namespace cellpanel
