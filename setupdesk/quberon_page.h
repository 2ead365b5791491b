// The "Quberon Settings" page: running the Quberon run-time system as a device, its log
// file, the target visualisation and the event logger process, kept in the run-time
// system's registry keys and its boot project file.
#pragma once

#include "image_version.h"
#include "registry_values.h"
#include "setup_page.h"

#include <optional>
#include <string>

namespace setupdesk
{
enum : int
{
    IDC_RUN_AS_DEVICE = 1051,
    IDC_VISUALISATION = 1052,
    IDC_LOG_PATH = 1054,
    IDC_LOG_SIZE = 1055,
    IDC_VISUALISATION_GROUP = 1056,
    IDC_RUN_AS_DEVICE_GROUP = 1057,
    IDC_LOG_FILE = 1058,
    IDC_LOGGER_GROUP = 1059,
    IDC_LOGGER = 1090,
};

class CQuberonPage final : public CSetupPage
{
public:
    CQuberonPage();

    void initPage() override;
    void onCommand(int id, ui::Command code) override;
    void apply() override;

private:
    // The visualisation switch under whichever spelling exists, as it is stored.
    struct Visualisation
    {
        std::u16string name;
        RawValue stored;
        bool shown = false; // the box as the page last showed or wrote it
    };

    void initRunAsDevice();
    void initLogFile();
    void initVisualisation();
    void initEventLogger();
    void applyRunAsDevice();
    void applyLogFile();
    void applyVisualisation();
    void markChanged(bool reset, bool serviceRestart);
    void hide(int control, int group);

    std::optional<ImageVersion> m_image;
    std::u16string m_systemKey;
    std::u16string m_systemConfig;
    std::optional<bool> m_runAsDevice; // as stored; nothing when it is not offered
    bool m_runAsDeviceReadOnly = false;
    DWORD m_logSize = 0;
    std::string m_logPath;
    std::optional<Visualisation> m_visualisation; // nothing when it is not offered
    bool m_loggerOffered = false;
};
} // namespace setupdesk
