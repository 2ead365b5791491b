// The audio mixer dialogs on "WAV1:" through a real device manager and WavSim: the
// register encodings of the AC97 dialog for both request forms, the STGL5000 volumes,
// mutes and input switch, and what OK and Cancel leave in the codec and the registry.
#include "setupdesk_fixture.h"

#include <audio_dlg.h>
#include <registry_values.h>

#include <device_manager_process.h>
#include <wavsim/control.h>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;
using ui::testing::ScriptedHost;

constexpr const char16_t* kSetupdesk = u"SOFTWARE\\Corvanta\\Setupdesk";

class AudioDlgTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_manager.start()) << m_manager.log(); }

    // A test control of the driver.
    static wavsim::Stats control(DWORD code, uint32_t in = 0)
    {
        const HANDLE device =
            CreateFileW(u"WAV1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        wavsim::Stats stats{};
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(device, code, &in, sizeof in, &stats, sizeof stats, &returned, nullptr));
        CloseHandle(device);
        return stats;
    }
    static uint32_t writes() { return control(wavsim::kIoctlGetStats).writes; }

    devmgr::testing::DeviceManagerProcess m_manager;
};

TEST_F(AudioDlgTest, Ac97SlidersAndMutesEncodeTheirRegisters)
{
    for (int kind : {1, 2})
    {
        control(wavsim::kIoctlReset);
        CWavDevice device;
        ASSERT_TRUE(device.writeAc97(kind, wavsim::kAc97Master, 0x0304));
        ScriptedHost host;
        CAc97Dlg dialog(kind);
        host.start(dialog);
        EXPECT_EQ(dialog.slider(IDC_AUDIO_VOLUME).pos(), 4) << kind;
        EXPECT_EQ(dialog.slider(IDC_AUDIO_MICROPHONE).pos(), 8) << kind;
        EXPECT_TRUE(dialog.isChecked(IDC_AUDIO_LINE_IN_MUTE)) << kind;
        EXPECT_EQ(dialog.value(IDC_AUDIO_MICROPHONE), 0x8048u) << kind; // the boost, not yet written
        EXPECT_EQ(device.readAc97(kind, wavsim::kAc97Microphone), 0x8008u) << kind;

        host.slide(dialog, IDC_AUDIO_VOLUME, 10);
        host.slide(dialog, IDC_AUDIO_MICROPHONE, 31);
        host.click(dialog, IDC_AUDIO_LINE_IN_MUTE);
        host.click(dialog, IDC_AUDIO_VOLUME_MUTE);
        EXPECT_EQ(device.readAc97(kind, wavsim::kAc97Master), 0x8A0Au) << kind;
        EXPECT_EQ(device.readAc97(kind, wavsim::kAc97Microphone), 0x805Fu) << kind;
        EXPECT_EQ(device.readAc97(kind, wavsim::kAc97LineIn), 0x0808u) << kind;

        host.click(dialog, IDOK);
        EXPECT_EQ(dword(kSetupdesk, u"VolMaster"), 0x8A0Au) << kind;
        EXPECT_EQ(dword(kSetupdesk, u"VolMic"), 0x805Fu) << kind;
        EXPECT_EQ(dword(kSetupdesk, u"VolLineIn"), 0x0808u) << kind;
    }
}

TEST_F(AudioDlgTest, Ac97CancelRestoresTheStoredValuesOrWritesNothing)
{
    ScriptedHost host;
    {
        CAc97Dlg dialog(2);
        host.start(dialog);
        host.slide(dialog, IDC_AUDIO_VOLUME, 3);
        const uint32_t before = writes();
        host.click(dialog, IDCANCEL);
        EXPECT_EQ(writes(), before); // nothing stored, nothing to go back to
        EXPECT_EQ(CWavDevice().readAc97(2, wavsim::kAc97Master), 0x8303u);
    }
    setDword(kSetupdesk, u"VolMaster", 0x0101);
    setDword(kSetupdesk, u"VolMic", 0x0042);
    setDword(kSetupdesk, u"VolLineIn", 0x0202);
    CAc97Dlg dialog(1);
    host.start(dialog);
    host.slide(dialog, IDC_AUDIO_LINE_IN, 20);
    host.click(dialog, IDCANCEL);
    CWavDevice device;
    EXPECT_EQ(device.readAc97(1, wavsim::kAc97Master), 0x0101u);
    EXPECT_EQ(device.readAc97(1, wavsim::kAc97Microphone), 0x0042u);
    EXPECT_EQ(device.readAc97(1, wavsim::kAc97LineIn), 0x0202u);
}

TEST_F(AudioDlgTest, Stgl5000VolumesMutesGainAndOk)
{
    EXPECT_EQ(stglVolumeValue(255), 0xFFFFFFFFu);
    EXPECT_EQ(stglVolumeValue(128), 0x80008000u);
    EXPECT_EQ(stglVolumeValue(0), 0u);
    CWavDevice device;
    ScriptedHost host;
    CStgl5000Dlg dialog(device);
    host.start(dialog);
    EXPECT_EQ(dialog.slider(IDC_AUDIO_VOLUME).pos(), 255 - 0xC0);
    EXPECT_EQ(dialog.slider(IDC_STGL_INPUT).pos(), 255 - 0x80);
    EXPECT_TRUE(dialog.isChecked(IDC_STGL_MICROPHONE));

    host.slide(dialog, IDC_AUDIO_VOLUME, 0);
    EXPECT_EQ(device.stgl(wavsim::kStglReadOutVolume), 0xFFFFFFFFu);
    host.slide(dialog, IDC_STGL_INPUT, 127);
    EXPECT_EQ(device.stgl(wavsim::kStglReadInVolume), 0x80008000u);
    host.click(dialog, IDC_STGL_INPUT_MUTE);
    EXPECT_EQ(device.stgl(wavsim::kStglReadInMute), 1u);
    host.select(dialog, IDC_STGL_GAIN, 2);
    EXPECT_EQ(device.stgl(wavsim::kStglReadRegister, wavsim::kStglMicGainRegister), 2u);
    host.click(dialog, IDC_STGL_LINE_IN);
    EXPECT_EQ(device.stgl(wavsim::kStglReadInput), 1u);
    host.click(dialog, IDOK);
    const std::pair<const char16_t*, DWORD> stored[] = {
        {u"VolMasterSTGL5000", 255}, {u"VolInSTGL5000", 128}, {u"MuteMasterSTGL5000", 0},
        {u"MuteInSTGL5000", 1},      {u"MuxInSTGL5000", 1},   {u"GainMicSTGL5000", 2},
    };
    for (const auto& [name, number] : stored)
        EXPECT_EQ(dword(kSetupdesk, name), number);
}

TEST_F(AudioDlgTest, Stgl5000CancelAndTheInputWhileRecording)
{
    CWavDevice device;
    ScriptedHost host;
    CStgl5000Dlg dialog(device);
    host.start(dialog);
    host.slide(dialog, IDC_AUDIO_VOLUME, 0);
    host.click(dialog, IDC_AUDIO_VOLUME_MUTE);
    control(wavsim::kIoctlSetRecording, 1);
    host.answer(IDOK, std::string("Can not switch input while recording is active."));
    host.click(dialog, IDC_STGL_LINE_IN);
    EXPECT_TRUE(dialog.isChecked(IDC_STGL_MICROPHONE));
    EXPECT_FALSE(dialog.isChecked(IDC_STGL_LINE_IN));
    EXPECT_EQ(device.stgl(wavsim::kStglReadInput), 0u);
    control(wavsim::kIoctlSetRecording, 0);
    host.click(dialog, IDCANCEL);
    EXPECT_EQ(device.stgl(wavsim::kStglReadOutVolume), 0xC000C000u);
    EXPECT_EQ(device.stgl(wavsim::kStglReadOutMute), 0u);
    EXPECT_EQ(host.unusedScript(), 0u);
    EXPECT_FALSE(value(kSetupdesk, u"VolMasterSTGL5000"));
}

TEST(AudioSettings, Stgl5000NeedsTheDriver)
{
    devmgr::testing::DeviceManagerProcess notStarted;
    ui::Dialog owner(1, "owner");
    ScriptedHost host;
    host.start(owner);
    host.answer(IDOK, std::string("Audio driver not loaded."));
    openAudioSettings(owner, 4);
    EXPECT_EQ(host.unusedScript(), 0u);
}
} // namespace
