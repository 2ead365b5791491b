// The "Miscellaneous" page: the audio driver and its mixer dialogs, the Num Lock state at
// start-up, the serial Vos connection in the boot configuration, the time service and
// two TCP/IP switches.
#pragma once

#include "library_loader.h"
#include "setup_page.h"

#include <windows.h>

namespace setupdesk
{
enum : int
{
    IDC_MISC_AUDIO_ENABLE = 1009,
    IDC_MISC_SERIAL = 1010,
    IDC_MISC_IP_ROUTING = 1014,
    IDC_MISC_REFRESH = 1022,
    IDC_MISC_AUDIO_SETTINGS = 1028,
    IDC_MISC_REFRESH_UPDOWN = 1030,
    IDC_MISC_NUMLOCK = 1031,
    IDC_MISC_SNTP_SERVER = 1041,
    IDC_MISC_DHCP = 1048,
};

// The audio hardware: "gxuamaud" audio, AC97 audio, the STGL5000 codec.
enum : int
{
    kAudioGeode = 1,
    kAudioAc97 = 2,
    kAudioStgl5000 = 4,
};

class CMiscPage final : public CSetupPage
{
public:
    explicit CMiscPage(LibraryLoader& loader = platformLibraryLoader());

    void initPage() override;
    void onCommand(int id, ui::Command code) override;
    void onNotify(int id, ui::Notify& notify) override;
    void apply() override;

    int audioKind() const { return m_audioKind; }
    DWORD refreshInterval() const { return m_refresh; }

private:
    bool serialLibraryLoads();
    void initAudio();
    void initTimeService();
    void initSerialConnection();
    void applyAudio();
    void applyTimeService();
    void applyNumLock();
    void applySerialConnection();
    void applyTcpIp();
    void showRefresh();
    void edited(bool reset = true);

    LibraryLoader& m_loader;
    int m_audioKind = kAudioGeode;
    DWORD m_refresh = 0;
};
} // namespace setupdesk
