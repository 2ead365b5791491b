#include "ncksim.h"

#include <chrono>
#include <cstring>
#include <sstream>

namespace ncksim
{
namespace
{
constexpr std::size_t RecordSize = 156;
constexpr USHORT CmdChannelEvent = 0x4016;
constexpr USHORT CmdConfiguration = 0x401E;
constexpr std::uint32_t ParameterRead = 0x80000002;
constexpr std::uint32_t PartialBatch = 0x423F;
constexpr std::size_t ChannelStateSize = 112;

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) |
           (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t v, std::size_t bytes = 4)
{
    for (std::size_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

double Dbl(const std::uint8_t* p)
{
    double v = 0.0;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

std::string Hex(const std::uint8_t* p, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
    {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string Num(double v)
{
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.17g", v);
    return buffer;
}

std::string Vec(const std::uint8_t* p, int n)
{
    std::string s = "[";
    for (int i = 0; i < n; ++i)
        s += (i ? "," : "") + Num(Dbl(p + 8 * i));
    return s + "]";
}

std::string Words(const std::uint8_t* p, int n)
{
    std::string s = "[";
    for (int i = 0; i < n; ++i)
        s += (i ? "," : "") + std::to_string(static_cast<std::int32_t>(Le32(p + 4 * i)));
    return s + "]";
}

// Named fields of a record by its kind.
std::string Fields(std::uint32_t kind, const std::uint8_t* r)
{
    auto w = [&](std::size_t at) { return std::to_string(static_cast<std::int32_t>(Le32(r + at))); };
    switch (kind)
    {
    case 1:
        return "\"mode\":" + w(20) + ",\"target\":" + Num(Dbl(r + 24)) + ",\"velocity\":" + Num(Dbl(r + 32)) +
               ",\"axis\":" + w(76);
    case 2:
        return "\"type\":" + w(20) + ",\"target\":" + Vec(r + 24, 3) + ",\"velocity\":" + Num(Dbl(r + 48)) +
               ",\"plane\":" + w(56) + ",\"center\":" + Vec(r + 60, 3) + ",\"turn\":" + Vec(r + 84, 3) +
               ",\"zperrad\":" + Num(Dbl(r + 108)) + ",\"aux\":" + Vec(r + 116, 5);
    case 4:
        return "\"sub\":" + std::to_string(Le32(r + 20)) + ",\"arg\":" + w(24) +
               ",\"value\":" + Num(Dbl(r + 28));
    case 5:
        return "\"mkind\":" + w(20) + ",\"m\":" + Words(r + 24, 8);
    case 6:
        return "\"time\":" + Num(Dbl(r + 20));
    case 7:
        return "\"speed\":" + Num(Dbl(r + 28));
    case 8:
        return "\"rules\":" + Words(r + 20, 6);
    case 10:
        return "\"orx\":\"" + Hex(r + 20, 120) + "\"";
    case 13:
        return "\"h\":" + w(20);
    case 14:
        return "\"tool\":" + w(20);
    case 16:
        return "\"mode\":" + w(20);
    case 18:
        return "\"form\":" + w(20) + ",\"target\":" + Vec(r + 24, 3) + ",\"pitch\":" + Vec(r + 48, 3);
    case 20:
        return "\"axes\":" + Words(r + 20, 8);
    case 22:
        return "\"mode\":" + w(20) + ",\"axis\":" + w(24) + ",\"value\":" + Num(Dbl(r + 28));
    default:
        return "";
    }
}
} // namespace

SimConfig SimConfig::Default()
{
    SimConfig config;
    config.channels.push_back(SimChannel{1, 1, 100000, "Channel 1"});
    config.groups.push_back(SimGroup{1, 2, 1});
    return config;
}

bool ParseConfig(const std::string& text, SimConfig& config, std::string& error)
{
    config = SimConfig{};
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line))
    {
        ++number;
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string kind;
        if (!(words >> kind))
            continue;
        std::uint32_t id = 0;
        if (!(words >> id))
        {
            error = "line " + std::to_string(number) + ": an id is missing";
            return false;
        }
        std::string key;
        if (kind == "channel")
        {
            SimChannel c;
            c.id = id;
            c.name = "Channel " + std::to_string(id);
            while (words >> key)
            {
                if (key == "dialect")
                    words >> c.dialect;
                else if (key == "size")
                    words >> c.size;
                else if (key == "name")
                    words >> c.name;
                else
                {
                    error = "line " + std::to_string(number) + ": unknown word " + key;
                    return false;
                }
            }
            config.channels.push_back(c);
        }
        else if (kind == "group")
        {
            SimGroup g;
            g.id = id;
            while (words >> key)
            {
                if (key == "type")
                    words >> g.type;
                else if (key == "channel")
                    words >> g.channel;
                else
                {
                    error = "line " + std::to_string(number) + ": unknown word " + key;
                    return false;
                }
            }
            config.groups.push_back(g);
        }
        else
        {
            error = "line " + std::to_string(number) + ": unknown kind " + kind;
            return false;
        }
    }
    return true;
}

class CNcKernelSim::Port : public CVosW32
{
public:
    Port(CNcKernelSim& sim, USHORT port) : CVosW32(0, FALSE, nullptr, 0), m_sim(sim), m_port(port) {}
    ~Port() override { OrxDisconnect(); }
    void VosReadInd(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG length) override
    {
        m_sim.OnRead(*this, m_port, addr, invokeId, group, offset, length);
    }
    void VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG length,
                     const void* data) override
    {
        m_sim.OnWrite(*this, m_port, addr, invokeId, group, offset, length, data);
    }
    void VosReadWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG readLength,
                         ULONG writeLength, const void* data) override
    {
        m_sim.OnReadWrite(*this, m_port, addr, invokeId, group, offset, readLength, writeLength, data);
    }
    void OrxDispatch(OrxCmd* cmd) override
    {
        // Answers to the kernel's own commands: never waited for, only logged.
        if (cmd->IsResponse() && !cmd->IsVosCommand())
        {
            m_sim.OnResponse(cmd);
            return;
        }
        CVosW32::OrxDispatch(cmd);
    }

private:
    CNcKernelSim& m_sim;
    USHORT m_port;
};

class CNcKernelSim::ControlPort : public CVosW32
{
public:
    explicit ControlPort(CNcKernelSim& sim) : CVosW32(0, FALSE, nullptr, 0), m_sim(sim) {}
    ~ControlPort() override { OrxDisconnect(); }
    void VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG length,
                     const void* data) override
    {
        m_sim.OnControlWrite(addr, invokeId, group, offset, length, data);
    }
    void VosReadInd(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG length) override
    {
        m_sim.OnControlRead(addr, invokeId, group, offset, length);
    }

private:
    CNcKernelSim& m_sim;
};

CNcKernelSim::CNcKernelSim(SimConfig config, Options options, std::FILE* log)
    : m_config(std::move(config)), m_options(std::move(options)), m_log(log)
{
}

CNcKernelSim::~CNcKernelSim()
{
    Stop();
}

bool CNcKernelSim::Start()
{
    m_kernel = std::make_unique<Port>(*this, m_options.kernelPort);
    if (!m_kernel->OrxConnect(m_options.kernelPort, 4096, 80))
        return false;
    for (USHORT port : m_options.extraPorts)
    {
        m_extra.push_back(std::make_unique<Port>(*this, port));
        if (!m_extra.back()->OrxConnect(port, 4096, 80))
            return false;
    }
    m_control = std::make_unique<ControlPort>(*this);
    m_control->OrxSetPortName(m_options.controlName.c_str());
    if (!m_control->OrxConnect(0, 4096, 80))
        return false;
    Log("{\"event\":\"ready\",\"port\":" + std::to_string(m_options.kernelPort) + "}");
    m_watcher = std::thread([this] { Watch(); });
    return true;
}

void CNcKernelSim::Stop()
{
    m_stop = true;
    if (m_watcher.joinable())
        m_watcher.join();
    // Every receive thread ends before any port object goes: dispatches reach the ports through
    // these members (events go out on the kernel port, control answers on the control port), and
    // reset() clears a member before the port's destructor waits for its thread.
    if (m_control)
        m_control->OrxDisconnect();
    for (auto& port : m_extra)
        port->OrxDisconnect();
    if (m_kernel)
        m_kernel->OrxDisconnect();
    m_control.reset();
    m_extra.clear();
    m_kernel.reset();
}

void CNcKernelSim::Log(const std::string& line)
{
    std::lock_guard<std::mutex> lock(m_logLock);
    if (!m_log)
        return;
    std::fputs(line.c_str(), m_log);
    std::fputc('\n', m_log);
    std::fflush(m_log);
}

OrxAddr CNcKernelSim::Service() const
{
    OrxAddr addr{};
    addr.port = m_options.servicePort;
    return addr;
}

// The configuration goes out once the service port answers, and again after
// it has been away (a new service).
void CNcKernelSim::Watch()
{
    CVosSync sync(0, FALSE, nullptr);
    sync.VosSyncSetTimeout(1000);
    bool sent = false;
    while (!m_stop)
    {
        char name[VOS_DEVICE_NAME_LEN + 1] = {};
        VosVersion version{};
        const OrxAddr service = Service();
        const bool answers = sync.VosSyncReadDeviceInfoReq(&service, name, &version) == 0;
        // A service that lost a configuration it had taken is a new one.
        bool fresh = false;
        if (answers && sent && m_lastResult == 0 && !m_config.channels.empty())
        {
            std::uint8_t state[4] = {};
            fresh = sync.VosSyncReadReq(&service, 0x2000 + m_config.channels.front().id, 4, 4, state) ==
                    static_cast<LONG>(VOSERR_NO_SUCH_CHANNEL);
        }
        if (answers && (!sent || fresh))
        {
            m_lastResult = 0xFFFFFFFF;
            SendConfiguration();
        }
        sent = answers;
        for (int i = 0; i < 10 && !m_stop; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void CNcKernelSim::SendConfiguration()
{
    const OrxAddr service = Service();
    const LONG result =
        m_kernel->OrxSend(&service, CmdConfiguration, ORX_STATE_ANSWER, m_invoke++, nullptr, 0);
    Log("{\"event\":\"sent\",\"command\":\"configuration\",\"error\":" + std::to_string(result) + "}");
}

void CNcKernelSim::SendEvent(std::uint32_t code, std::uint32_t channel, const std::uint8_t* args,
                             std::size_t length)
{
    std::vector<std::uint8_t> data;
    PutLe(data, code);
    PutLe(data, channel);
    data.insert(data.end(), args, args + length);
    const OrxAddr service = Service();
    const LONG result = m_kernel->OrxSend(&service, CmdChannelEvent, ORX_STATE_ANSWER, m_invoke++,
                                          data.data(), static_cast<ULONG>(data.size()));
    Log("{\"event\":\"sent\",\"command\":\"event\",\"code\":" + std::to_string(code) +
        ",\"channel\":" + std::to_string(channel) + ",\"error\":" + std::to_string(result) + "}");
}

void CNcKernelSim::ScriptAnswers(const std::vector<BatchAnswer>& answers)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_script.insert(m_script.end(), answers.begin(), answers.end());
}

void CNcKernelSim::SetParameterValue(double value)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_parameterValue = value;
}

void CNcKernelSim::OnResponse(const OrxCmd* cmd)
{
    if (cmd->cmdId == CmdConfiguration)
    {
        const std::uint32_t result = cmd->length >= 4 ? Le32(cmd->Data()) : cmd->errorCode;
        m_lastResult = result;
        Log("{\"event\":\"configured\",\"result\":" + std::to_string(result) +
            ",\"error\":" + std::to_string(cmd->errorCode) + "}");
    }
}

const SimChannel* CNcKernelSim::FindChannel(std::uint32_t id) const
{
    for (const auto& c : m_config.channels)
        if (c.id == id)
            return &c;
    return nullptr;
}

const SimGroup* CNcKernelSim::FindGroup(std::uint32_t id) const
{
    for (const auto& g : m_config.groups)
        if (g.id == id)
            return &g;
    return nullptr;
}

bool CNcKernelSim::AnswerRead(ULONG group, ULONG offset, ULONG length, std::vector<std::uint8_t>& data)
{
    const ULONG area = group & 0xFF00;
    const std::uint32_t index = group & 0xFF;
    auto name = [&](const std::string& text)
    {
        data.assign(100, 0);
        std::memcpy(data.data(), text.data(), text.size() < 99 ? text.size() : 99);
        return true;
    };
    if (group == 0x1100)
    {
        switch (offset)
        {
        case 1:
            PutLe(data, static_cast<std::uint32_t>(m_config.channels.size()), 2);
            return true;
        case 2:
            PutLe(data, static_cast<std::uint32_t>(m_config.groups.size()), 2);
            return true;
        case 0x31:
            for (const auto& c : m_config.channels)
                PutLe(data, c.id);
            return true;
        case 0x32:
            for (const auto& g : m_config.groups)
                PutLe(data, g.id);
            return true;
        default:
            return false;
        }
    }
    if (area == 0x2000)
    {
        const SimChannel* c = FindChannel(index);
        if (!c)
            return false;
        switch (offset)
        {
        case 2:
            return name(c->name);
        case 4:
            PutLe(data, c->dialect);
            return true;
        case 5:
            PutLe(data, c->size);
            return true;
        case 33:
            for (const auto& g : m_config.groups)
                if (g.channel == c->id)
                {
                    PutLe(data, g.id);
                    return true;
                }
            PutLe(data, 0);
            return true;
        default:
            return false;
        }
    }
    if (area == 0x2100 && (offset == 4 || offset == 22))
    {
        PutLe(data, 0);
        return true;
    }
    if (area == 0x3000)
    {
        const SimGroup* g = FindGroup(index);
        if (!g)
            return false;
        switch (offset)
        {
        case 2:
            return name("Group " + std::to_string(g->id));
        case 3:
        case 0x24:
            PutLe(data, 0);
            return true;
        case 0x21:
            PutLe(data, g->channel);
            return true;
        case 0x23:
            PutLe(data, g->type);
            return true;
        case 1285:
            data.assign(8, 0);
            return true;
        default:
            return false;
        }
    }
    if (area == 0x3100)
    {
        if (offset == 0xE)
        {
            PutLe(data, m_batchSize);
            return true;
        }
        if (offset == 1360)
        {
            for (std::uint32_t axis = 1; axis <= 3; ++axis)
                PutLe(data, axis);
            return true;
        }
        return false;
    }
    if (area == 0x4100 && offset == 0x10002 && index >= 1 && index <= 3)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        data.resize(8);
        std::memcpy(data.data(), &m_positions[index - 1], 8);
        return true;
    }
    (void)length;
    return false;
}

void CNcKernelSim::OnRead(CVos& from, USHORT port, const OrxAddr* addr, ULONG invokeId, ULONG group,
                          ULONG offset, ULONG length)
{
    std::vector<std::uint8_t> data;
    if (port != m_options.kernelPort || !AnswerRead(group, offset, length, data))
    {
        from.VosReadRes(addr, invokeId, VOSERR_INVALID_OFFSET, 0, nullptr);
        return;
    }
    if (data.size() > length)
        data.resize(length);
    from.VosReadRes(addr, invokeId, 0, static_cast<ULONG>(data.size()), data.data());
}

void CNcKernelSim::OnWrite(CVos& from, USHORT port, const OrxAddr* addr, ULONG invokeId, ULONG group,
                           ULONG offset, ULONG length, const void* data)
{
    Log("{\"event\":\"write\",\"port\":" + std::to_string(port) + ",\"group\":" + std::to_string(group) +
        ",\"offset\":" + std::to_string(offset) + ",\"hex\":\"" +
        Hex(static_cast<const std::uint8_t*>(data), length) + "\"}");
    from.VosWriteRes(addr, invokeId, 0);
}

BatchAnswer CNcKernelSim::NextAnswer(std::uint32_t sent)
{
    BatchAnswer answer;
    answer.next = m_batchSize;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_script.empty())
        {
            answer = m_script.front();
            m_script.pop_front();
        }
    }
    if (answer.accepted < 0)
        answer.accepted = static_cast<std::int32_t>(sent);
    return answer;
}

void CNcKernelSim::LogRecord(std::uint32_t group, const std::uint8_t* r)
{
    const std::uint32_t kind = Le32(r);
    if (m_log)
    {
        const std::string fields = Fields(kind, r);
        Log("{\"event\":\"record\",\"group\":" + std::to_string(group) + ",\"kind\":" + std::to_string(kind) +
            ",\"line\":" + std::to_string(Le32(r + 4)) + ",\"text\":" + std::to_string(Le32(r + 8)) +
            ",\"block\":" + std::to_string(Le32(r + 12)) + ",\"entry\":" + std::to_string(Le32(r + 16)) +
            (fields.empty() ? "" : "," + fields) + ",\"hex\":\"" + Hex(r, RecordSize) + "\"}");
    }
    ++m_records;
    if (kind == 2 && Le32(r + 20) != 0)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::memcpy(m_positions, r + 24, sizeof(m_positions));
    }
}

void CNcKernelSim::OnReadWrite(CVos& from, USHORT port, const OrxAddr* addr, ULONG invokeId, ULONG group,
                               ULONG offset, ULONG readLength, ULONG writeLength, const void* data)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    CVos* answerPort = &from;
    if (port != m_options.kernelPort)
    {
        // A second kernel address pre-processes blocks: it echoes them.
        Log("{\"event\":\"preprocess\",\"port\":" + std::to_string(port) +
            ",\"group\":" + std::to_string(group) + ",\"offset\":" + std::to_string(offset) + ",\"hex\":\"" +
            Hex(bytes, writeLength) + "\"}");
        const ULONG n = writeLength < readLength ? writeLength : readLength;
        answerPort->VosReadWriteRes(addr, invokeId, 0, n, bytes);
        return;
    }
    if ((group & 0xFF00) == 0x3200 && offset == 0x60)
    {
        const std::uint32_t g = group & 0xFF;
        const std::uint32_t sent = writeLength / RecordSize;
        std::vector<std::uint32_t> parameterReads;
        for (std::uint32_t i = 0; i < sent; ++i)
        {
            const std::uint8_t* r = bytes + i * RecordSize;
            LogRecord(g, r);
            if (Le32(r) == 4 && Le32(r + 20) == ParameterRead)
                parameterReads.push_back(Le32(r + 24));
        }
        const BatchAnswer answer = NextAnswer(sent);
        Log("{\"event\":\"answer\",\"group\":" + std::to_string(g) + ",\"sent\":" + std::to_string(sent) +
            ",\"result\":" + std::to_string(answer.result) + ",\"accepted\":" +
            std::to_string(answer.accepted) + ",\"next\":" + std::to_string(answer.next) + "}");
        std::vector<std::uint8_t> out;
        PutLe(out, static_cast<std::uint32_t>(answer.accepted));
        PutLe(out, answer.next);
        answerPort->VosReadWriteRes(addr, invokeId, answer.result, static_cast<ULONG>(out.size()),
                                    out.data());
        const SimGroup* simGroup = FindGroup(g);
        const std::uint32_t channel = simGroup ? simGroup->channel : 1;
        for (std::uint32_t rIndex : parameterReads)
        {
            std::vector<std::uint8_t> args;
            PutLe(args, ParameterRead);
            double value = 0.0;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                value = m_parameterValue;
            }
            std::uint8_t raw[8];
            std::memcpy(raw, &value, sizeof(raw));
            args.insert(args.end(), raw, raw + 8);
            (void)rIndex;
            SendEvent(6, channel, args.data(), args.size());
        }
        // The motion of the records taken ends at once.
        if (m_autoEvent0 && answer.accepted > 0 && (answer.result == 0 || answer.result == PartialBatch))
            SendEvent(0, channel, nullptr, 0);
        return;
    }
    if (group == CmdChannelEvent)
    {
        std::vector<std::uint8_t> state(ChannelStateSize, 0);
        state[0] = static_cast<std::uint8_t>(offset);
        const ULONG n = readLength < ChannelStateSize ? readLength : static_cast<ULONG>(ChannelStateSize);
        answerPort->VosReadWriteRes(addr, invokeId, 0, n, state.data());
        return;
    }
    answerPort->VosReadWriteRes(addr, invokeId, VOSERR_INVALID_OFFSET, 0, nullptr);
}

void CNcKernelSim::OnControlWrite(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG, ULONG length,
                                  const void* data)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    ULONG result = 0;
    switch (group)
    {
    case CtlSendConfiguration:
        SendConfiguration();
        break;
    case CtlSendEvent:
        if (length < 8)
            result = VOSERR_INVALID_SIZE;
        else
            SendEvent(Le32(bytes), Le32(bytes + 4), bytes + 8, length - 8);
        break;
    case CtlScriptAnswers:
    {
        if (length % 12 != 0)
        {
            result = VOSERR_INVALID_SIZE;
            break;
        }
        std::vector<BatchAnswer> answers;
        for (ULONG i = 0; i < length; i += 12)
            answers.push_back(BatchAnswer{Le32(bytes + i), static_cast<std::int32_t>(Le32(bytes + i + 4)),
                                          Le32(bytes + i + 8)});
        ScriptAnswers(answers);
        break;
    }
    case CtlBatchSize:
        if (length < 4)
            result = VOSERR_INVALID_SIZE;
        else
            SetBatchSize(Le32(bytes));
        break;
    case CtlParameterValue:
        if (length < 8)
            result = VOSERR_INVALID_SIZE;
        else
            SetParameterValue(Dbl(bytes));
        break;
    case CtlAutoEvent0:
        if (length < 4)
            result = VOSERR_INVALID_SIZE;
        else
            SetAutoEvent0(Le32(bytes) != 0);
        break;
    default:
        result = VOSERR_INVALID_GROUP;
        break;
    }
    m_control->VosWriteRes(addr, invokeId, result);
}

void CNcKernelSim::OnControlRead(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG, ULONG length)
{
    if (group != CtlRecordCount || length < 4)
    {
        m_control->VosReadRes(addr, invokeId, VOSERR_INVALID_GROUP, 0, nullptr);
        return;
    }
    std::vector<std::uint8_t> out;
    PutLe(out, m_records);
    m_control->VosReadRes(addr, invokeId, 0, 4, out.data());
}

} // namespace ncksim
