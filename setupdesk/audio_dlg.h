// The audio mixer dialogs of the Miscellaneous page on "WAV1:": the AC97 dialog (master,
// line in and microphone registers) and the STGL5000 codec's dialog.
#pragma once

#include <ui/dialog.h>

#include <windows.h>

#include <optional>

namespace setupdesk
{
enum : int
{
    IDD_AC97 = 145,
    IDD_STGL5000 = 151,
    IDC_AUDIO_VOLUME = 1066,
    IDC_AUDIO_MICROPHONE = 1067,
    IDC_AUDIO_LINE_IN = 1068,
    IDC_AUDIO_VOLUME_MUTE = 1069,
    IDC_AUDIO_LINE_IN_MUTE = 1070,
    IDC_AUDIO_MICROPHONE_MUTE = 1071,
    IDC_STGL_INPUT = 1098,
    IDC_STGL_INPUT_MUTE = 1099,
    IDC_STGL_GAIN = 1100,
    IDC_STGL_MICROPHONE = 1001,
    IDC_STGL_LINE_IN = 1002,
};

// "WAV1:" for the life of the object.
class CWavDevice
{
public:
    CWavDevice();
    ~CWavDevice();
    CWavDevice(const CWavDevice&) = delete;
    CWavDevice& operator=(const CWavDevice&) = delete;

    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    // AC97 registers: kind 1 through the "gxuamaud" request, the other kinds through 4003 and 4004.
    std::optional<DWORD> readAc97(int kind, DWORD reg);
    bool writeAc97(int kind, DWORD reg, DWORD value);
    // One STGL5000 command; a read's value, or nothing when the codec refused.
    std::optional<DWORD> stgl(DWORD command, DWORD reg = 0, DWORD value = 0);

private:
    HANDLE m_handle;
};

// The value a slider's volume (0 to 255) is written as: v × 256, plus 255 at 255, in both halves.
DWORD stglVolumeValue(DWORD volume);

class CAc97Dlg final : public ui::Dialog
{
public:
    explicit CAc97Dlg(int kind);
    void onInit() override;
    void onNotify(int id, ui::Notify& notify) override;
    void onCommand(int id, ui::Command code) override;
    void onOk() override;
    void onCancel() override;

    // The working register values: master, line in, microphone.
    DWORD value(int slider) const;

private:
    struct Channel
    {
        int slider;
        int mute;
        DWORD reg;
        const char16_t* stored;
        DWORD value = 0;
    };
    Channel* channel(int control);
    void write(Channel& channel);

    int m_kind;
    CWavDevice m_device;
    Channel m_channels[3];
};

class CStgl5000Dlg final : public ui::Dialog
{
public:
    explicit CStgl5000Dlg(CWavDevice& device);
    void onInit() override;
    void onNotify(int id, ui::Notify& notify) override;
    void onCommand(int id, ui::Command code) override;
    void onOk() override;
    void onCancel() override;

private:
    struct Settings
    {
        DWORD outVolume = 0; // 0 to 255
        DWORD inVolume = 0;
        DWORD outMute = 0;
        DWORD inMute = 0;
        DWORD input = 0; // 0 microphone, 1 line in
        DWORD gainRegister = 0;
    };
    void switchInput(DWORD input);

    CWavDevice& m_device;
    Settings m_open;    // as read at open
    Settings m_current; // as last written
    bool m_gainChanged = false;
};

// "Audio Settings" of the page: the dialog of the audio kind, run over the owner.
void openAudioSettings(ui::Dialog& owner, int kind);
} // namespace setupdesk
