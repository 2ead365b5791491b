#include "audio_dlg.h"

#include "registry_values.h"

#include <ui/host.h>

#include <wavsim/control.h>

namespace setupdesk
{
namespace
{
enum : int
{
    IDC_AUDIO_VOLUME_LABEL = 1300,
    IDC_AUDIO_LINE_IN_LABEL,
    IDC_AUDIO_MICROPHONE_LABEL,
    IDC_STGL_INPUT_LABEL,
    IDC_STGL_SELECT_LABEL,
    IDC_STGL_GAIN_LABEL,
};

constexpr const char16_t* kSetupdeskKey = u"\\SOFTWARE\\Corvanta\\Setupdesk";
constexpr DWORD kAttenuation = 0x1F;
constexpr DWORD kBothAttenuations = 0x1F1F;
constexpr DWORD kMute = 0x8000;
constexpr DWORD kMicrophoneBoost = 0x40; // the 20 dB boost of the microphone register
constexpr DWORD kGainBits = 3;

void addSliderWithMute(ui::Dialog& dialog, int labelId, const char* label, int slider, int mute)
{
    dialog.addLabel(labelId, label);
    dialog.addSlider(slider, true).setNewLine(false);
    dialog.addCheckBox(mute, "Mute").setNewLine(false);
}

void saveValues(std::initializer_list<std::pair<const char16_t*, DWORD>> values)
{
    RegKey key;
    if (!key.create(kSetupdeskKey))
        return;
    for (const auto& [name, value] : values)
        writeDword(key.get(), name, value);
    RegFlushKey(key.get());
}
} // namespace

CWavDevice::CWavDevice()
    : m_handle(CreateFileW(u"WAV1:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr))
{
    if (!m_handle)
        m_handle = INVALID_HANDLE_VALUE;
}

CWavDevice::~CWavDevice()
{
    if (isOpen())
        CloseHandle(m_handle);
}

std::optional<DWORD> CWavDevice::readAc97(int kind, DWORD reg)
{
    DWORD returned = 0;
    if (kind == 1)
    {
        wavsim::GeodeRequest request{0, wavsim::kGeodeRead, reg, 0, 0};
        DWORD value = 0;
        if (!isOpen() || !DeviceIoControl(m_handle, wavsim::kIoctlGeodeCodec, &request, sizeof request,
                                          &value, sizeof value, &returned, nullptr))
            return std::nullopt;
        return value;
    }
    wavsim::CodecRequest request{0, 0, 0, reg, 0};
    wavsim::Reply reply{};
    if (!isOpen() ||
        !DeviceIoControl(m_handle, wavsim::kIoctlAc97Read, &request, sizeof request, &reply, sizeof reply,
                         &returned, nullptr) ||
        reply.status != 0)
        return std::nullopt;
    return reply.value;
}

bool CWavDevice::writeAc97(int kind, DWORD reg, DWORD value)
{
    DWORD returned = 0;
    if (kind == 1)
    {
        wavsim::GeodeRequest request{0, wavsim::kGeodeWrite, reg, value, 0};
        DWORD reply = 0;
        return isOpen() && DeviceIoControl(m_handle, wavsim::kIoctlGeodeCodec, &request, sizeof request,
                                           &reply, sizeof reply, &returned, nullptr);
    }
    wavsim::CodecRequest request{0, 0, 0, reg, value};
    wavsim::Reply reply{};
    return isOpen() &&
           DeviceIoControl(m_handle, wavsim::kIoctlAc97Write, &request, sizeof request, &reply, sizeof reply,
                           &returned, nullptr) &&
           reply.status == 0;
}

std::optional<DWORD> CWavDevice::stgl(DWORD command, DWORD reg, DWORD value)
{
    wavsim::CodecRequest request{0, command, 0, reg, value};
    wavsim::Reply reply{};
    DWORD returned = 0;
    if (!isOpen() ||
        !DeviceIoControl(m_handle, wavsim::kIoctlStgl5000, &request, sizeof request, &reply, sizeof reply,
                         &returned, nullptr) ||
        reply.status != 0)
        return std::nullopt;
    return reply.value;
}

DWORD stglVolumeValue(DWORD volume)
{
    const DWORD half = volume * 256 + (volume == 255 ? 255 : 0);
    return half | (half << 16);
}

// ---- AC97 --------------------------------------------------------------------------

CAc97Dlg::CAc97Dlg(int kind)
    : ui::Dialog(IDD_AC97, "Audio Settings"),
      m_kind(kind), m_channels{
                        {IDC_AUDIO_VOLUME, IDC_AUDIO_VOLUME_MUTE, wavsim::kAc97Master, u"VolMaster"},
                        {IDC_AUDIO_LINE_IN, IDC_AUDIO_LINE_IN_MUTE, wavsim::kAc97LineIn, u"VolLineIn"},
                        {IDC_AUDIO_MICROPHONE, IDC_AUDIO_MICROPHONE_MUTE, wavsim::kAc97Microphone, u"VolMic"}}
{
    addSliderWithMute(*this, IDC_AUDIO_VOLUME_LABEL, "Volume:", IDC_AUDIO_VOLUME, IDC_AUDIO_VOLUME_MUTE);
    addSliderWithMute(*this, IDC_AUDIO_LINE_IN_LABEL, "Line In:", IDC_AUDIO_LINE_IN, IDC_AUDIO_LINE_IN_MUTE);
    addSliderWithMute(*this, IDC_AUDIO_MICROPHONE_LABEL, "Microphone:", IDC_AUDIO_MICROPHONE,
                      IDC_AUDIO_MICROPHONE_MUTE);
    addButton(IDOK, "OK");
    addButton(IDCANCEL, "Cancel").setNewLine(false);
}

void CAc97Dlg::onInit()
{
    for (Channel& c : m_channels)
    {
        c.value = m_device.readAc97(m_kind, c.reg).value_or(0);
        if (c.reg == wavsim::kAc97Microphone)
            c.value |= kMicrophoneBoost;
        slider(c.slider).setRange(0, static_cast<int>(kAttenuation));
        slider(c.slider).setPos(static_cast<int>(c.value & kAttenuation));
        setChecked(c.mute, (c.value & kMute) != 0);
    }
}

CAc97Dlg::Channel* CAc97Dlg::channel(int control)
{
    for (Channel& c : m_channels)
    {
        if (c.slider == control || c.mute == control)
            return &c;
    }
    return nullptr;
}

DWORD CAc97Dlg::value(int slider) const
{
    for (const Channel& c : m_channels)
    {
        if (c.slider == slider)
            return c.value;
    }
    return 0;
}

void CAc97Dlg::write(Channel& c)
{
    m_device.writeAc97(m_kind, c.reg, c.value);
}

void CAc97Dlg::onNotify(int id, ui::Notify& notify)
{
    Channel* c = channel(id);
    if (!c || id != c->slider || notify.code != ui::NotifyCode::SliderMove)
        return;
    const auto position = static_cast<DWORD>(notify.position) & kAttenuation;
    if (c->reg == wavsim::kAc97Microphone)
        c->value = (c->value & ~kAttenuation) | position;
    else
        c->value = (c->value & ~kBothAttenuations) | position | (position << 8);
    write(*c);
}

void CAc97Dlg::onCommand(int id, ui::Command code)
{
    Channel* c = channel(id);
    if (!c || id != c->mute || code != ui::Command::Clicked)
        return;
    c->value = isChecked(id) ? (c->value | kMute) : (c->value & ~kMute);
    write(*c);
}

void CAc97Dlg::onOk()
{
    saveValues({{m_channels[0].stored, m_channels[0].value},
                {m_channels[1].stored, m_channels[1].value},
                {m_channels[2].stored, m_channels[2].value}});
    endDialog(IDOK);
}

void CAc97Dlg::onCancel()
{
    RegKey key;
    key.open(kSetupdeskKey, KEY_READ);
    // Without a stored value the codec keeps what it has: there is nothing to go back to.
    for (Channel& c : m_channels)
    {
        if (const auto stored = readDword(key.get(), c.stored))
            m_device.writeAc97(m_kind, c.reg, *stored);
    }
    endDialog(IDCANCEL);
}

// ---- STGL5000 ----------------------------------------------------------------------

CStgl5000Dlg::CStgl5000Dlg(CWavDevice& device) : ui::Dialog(IDD_STGL5000, "Audio Settings"), m_device(device)
{
    addSliderWithMute(*this, IDC_AUDIO_VOLUME_LABEL, "Volume:", IDC_AUDIO_VOLUME, IDC_AUDIO_VOLUME_MUTE);
    addSliderWithMute(*this, IDC_STGL_INPUT_LABEL, "Input:", IDC_STGL_INPUT, IDC_STGL_INPUT_MUTE);
    addLabel(IDC_STGL_SELECT_LABEL, "Input select:");
    addRadio(IDC_STGL_MICROPHONE, "Microphone", 1).setNewLine(false);
    addRadio(IDC_STGL_LINE_IN, "Line In", 1).setNewLine(false);
    addLabel(IDC_STGL_GAIN_LABEL, "Microphone gain:");
    ui::ComboBox& gain = addCombo(IDC_STGL_GAIN);
    gain.setNewLine(false);
    for (const char* item : {"0dB", "+20dB", "+30dB", "+40dB"})
        gain.addString(item);
    addButton(IDOK, "OK");
    addButton(IDCANCEL, "Cancel").setNewLine(false);
}

void CStgl5000Dlg::onInit()
{
    auto volume = [this](DWORD command) { return (m_device.stgl(command).value_or(0) >> 8) & 0xFF; };
    m_open.outVolume = volume(wavsim::kStglReadOutVolume);
    m_open.inVolume = volume(wavsim::kStglReadInVolume);
    m_open.outMute = m_device.stgl(wavsim::kStglReadOutMute).value_or(0);
    m_open.inMute = m_device.stgl(wavsim::kStglReadInMute).value_or(0);
    m_open.input = m_device.stgl(wavsim::kStglReadInput).value_or(0) != 0 ? 1 : 0;
    m_open.gainRegister = m_device.stgl(wavsim::kStglReadRegister, wavsim::kStglMicGainRegister).value_or(0);
    m_current = m_open;

    for (int id : {IDC_AUDIO_VOLUME, IDC_STGL_INPUT})
    {
        slider(id).setRange(0, 255);
        slider(id).setTicFreq(32);
    }
    slider(IDC_AUDIO_VOLUME).setPos(static_cast<int>(255 - m_open.outVolume));
    slider(IDC_STGL_INPUT).setPos(static_cast<int>(255 - m_open.inVolume));
    setChecked(IDC_AUDIO_VOLUME_MUTE, m_open.outMute != 0);
    setChecked(IDC_STGL_INPUT_MUTE, m_open.inMute != 0);
    setChecked(IDC_STGL_MICROPHONE, m_open.input == 0);
    setChecked(IDC_STGL_LINE_IN, m_open.input == 1);
    combo(IDC_STGL_GAIN).setCurSel(static_cast<int>(m_open.gainRegister & kGainBits));
}

void CStgl5000Dlg::onNotify(int id, ui::Notify& notify)
{
    if (notify.code != ui::NotifyCode::SliderMove || (id != IDC_AUDIO_VOLUME && id != IDC_STGL_INPUT))
        return;
    const DWORD volume = 255 - static_cast<DWORD>(std::clamp(notify.position, 0, 255));
    const bool output = id == IDC_AUDIO_VOLUME;
    (output ? m_current.outVolume : m_current.inVolume) = volume;
    m_device.stgl(output ? wavsim::kStglWriteOutVolume : wavsim::kStglWriteInVolume, 0,
                  stglVolumeValue(volume));
}

void CStgl5000Dlg::switchInput(DWORD input)
{
    if (input == m_current.input)
        return;
    if (!m_device.stgl(wavsim::kStglWriteInput, 0, input))
    {
        messageBox("Can not switch input while recording is active.");
        setChecked(IDC_STGL_MICROPHONE, m_current.input == 0);
        setChecked(IDC_STGL_LINE_IN, m_current.input == 1);
        return;
    }
    m_current.input = input;
}

void CStgl5000Dlg::onCommand(int id, ui::Command code)
{
    if (id == IDC_STGL_GAIN && code == ui::Command::SelChange)
    {
        const auto gain = static_cast<DWORD>(std::max(combo(IDC_STGL_GAIN).curSel(), 0));
        m_current.gainRegister = (m_current.gainRegister & ~kGainBits) | gain;
        m_device.stgl(wavsim::kStglWriteRegister, wavsim::kStglMicGainRegister, m_current.gainRegister);
        m_gainChanged = true;
        return;
    }
    if (code != ui::Command::Clicked)
        return;
    switch (id)
    {
    case IDC_AUDIO_VOLUME_MUTE:
        m_current.outMute = isChecked(id) ? 1 : 0;
        m_device.stgl(wavsim::kStglWriteOutMute, 0, m_current.outMute);
        break;
    case IDC_STGL_INPUT_MUTE:
        m_current.inMute = isChecked(id) ? 1 : 0;
        m_device.stgl(wavsim::kStglWriteInMute, 0, m_current.inMute);
        break;
    case IDC_STGL_MICROPHONE:
    case IDC_STGL_LINE_IN:
        switchInput(id == IDC_STGL_LINE_IN ? 1 : 0);
        break;
    default:
        break;
    }
}

void CStgl5000Dlg::onOk()
{
    saveValues({{u"VolMasterSTGL5000", m_current.outVolume},
                {u"VolInSTGL5000", m_current.inVolume},
                {u"MuteMasterSTGL5000", m_current.outMute},
                {u"MuteInSTGL5000", m_current.inMute},
                {u"MuxInSTGL5000", m_current.input},
                {u"GainMicSTGL5000", m_current.gainRegister & kGainBits}});
    endDialog(IDOK);
}

void CStgl5000Dlg::onCancel()
{
    m_device.stgl(wavsim::kStglWriteInMute, 0, m_open.inMute);
    m_device.stgl(wavsim::kStglWriteOutMute, 0, m_open.outMute);
    m_device.stgl(wavsim::kStglWriteInVolume, 0, stglVolumeValue(m_open.inVolume));
    m_device.stgl(wavsim::kStglWriteOutVolume, 0, stglVolumeValue(m_open.outVolume));
    if (m_gainChanged)
        m_device.stgl(wavsim::kStglWriteRegister, wavsim::kStglMicGainRegister, m_open.gainRegister);
    m_device.stgl(wavsim::kStglWriteInput, 0, m_open.input);
    endDialog(IDCANCEL);
}

void openAudioSettings(ui::Dialog& owner, int kind)
{
    if (kind != 4)
    {
        CAc97Dlg dialog(kind);
        owner.host().runModal(dialog);
        return;
    }
    CWavDevice device;
    if (!device.isOpen())
    {
        owner.messageBox("Audio driver not loaded.");
        return;
    }
    CStgl5000Dlg dialog(device);
    owner.host().runModal(dialog);
}
} // namespace setupdesk
