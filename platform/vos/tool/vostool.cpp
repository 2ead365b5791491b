// vostool: talks to any Vos port of the device from the command line.
#include "values.h"

#include "vos/orxport.h"
#include "vos/vossync.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{

const char USAGE[] = "usage: vostool --port PORT|NAME [--timeout MS] [--as TYPE] COMMAND ARGS...\n"
                     "  info                                   device name and version\n"
                     "  state                                  Vos state and device state\n"
                     "  read GROUP OFFSET LENGTH               read LENGTH bytes\n"
                     "  write GROUP OFFSET VALUE...            write the values\n"
                     "  readwrite GROUP OFFSET LENGTH VALUE... write the values, read up to LENGTH bytes\n"
                     "Numbers: decimal or 0x hex. VALUE: hex:0a0b.., i8: u8: i16: u16: i32: u32: i64: u64:\n"
                     "f32: f64: followed by a number, or str:TEXT (sent with a terminating zero).\n"
                     "--as TYPE prints read data as hex (default), str, or values of a number type.\n";

int Usage(const char* problem = nullptr)
{
    if (problem)
        std::fprintf(stderr, "vostool: %s\n", problem);
    std::fputs(USAGE, stderr);
    return 2;
}

const char* ErrorText(ULONG error)
{
    switch (error)
    {
    case VOSERR_ROUTER_NOT_RUNNING:
        return "router not reachable";
    case VOSERR_PORT_NOT_CONNECTED:
        return "own port not connected";
    case VOSERR_PORT_IN_USE:
        return "port in use";
    case VOSERR_TARGET_PORT_NOT_FOUND:
        return "target port not found";
    case VOSERR_TARGET_NOT_REACHABLE:
        return "target device not reachable";
    case VOSERR_TIMEOUT:
        return "time-out";
    case VOSERR_INVALID_PARAMETER:
        return "invalid parameter";
    case VOSERR_INVALID_MESSAGE:
        return "invalid message";
    case VOSERR_NAME_NOT_FOUND:
        return "no port of that name";
    case VOSERR_SRV_NOT_SUPPORTED:
        return "service not supported";
    case VOSERR_INVALID_SIZE:
        return "invalid size";
    default:
        return "answered by the device";
    }
}

int Failed(const char* what, LONG error)
{
    std::fprintf(stderr, "vostool: %s failed: error 0x%X (%s)\n", what, static_cast<unsigned>(error),
                 ErrorText(static_cast<ULONG>(error)));
    return 1;
}

bool ResolvePort(const std::string& text, OrxAddr& addr, LONG& error)
{
    addr = OrxAddr{};
    if (auto n = vostool::ParseU32(text))
    {
        if (*n == 0 || *n > 0xFFFF)
            return false;
        addr.port = static_cast<USHORT>(*n);
        return true;
    }
    error = OrxGetPortByName(text.c_str(), &addr);
    return error == 0;
}

int PrintData(const std::vector<uint8_t>& bytes, const std::string& type)
{
    auto text = vostool::FormatValues(bytes, type);
    if (!text)
    {
        std::fprintf(stderr, "vostool: %zu bytes cannot be shown as %s\n", bytes.size(), type.c_str());
        return 1;
    }
    std::fputs(text->c_str(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string port, as;
    ULONG timeout = CVosSync::DEFAULT_TIMEOUT_MS;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
    {
        std::string a = argv[i];
        if ((a == "--port" || a == "--timeout" || a == "--as") && i + 1 >= argc)
            return Usage(("missing value after " + a).c_str());
        if (a == "--port")
            port = argv[++i];
        else if (a == "--timeout")
        {
            auto t = vostool::ParseU32(argv[++i]);
            if (!t)
                return Usage("bad time-out");
            timeout = *t;
        }
        else if (a == "--as")
            as = argv[++i];
        else if (a == "--help" || a == "-h")
            return Usage();
        else
            args.push_back(a);
    }
    if (port.empty() || args.empty())
        return Usage();
    if (!as.empty() && !vostool::FormatValues({}, as))
        return Usage(("unknown type " + as).c_str());

    const std::string command = args[0];
    std::vector<uint32_t> numbers; // group, offset, length as the command needs them
    size_t wantNumbers = command == "read" || command == "readwrite" ? 3 : command == "write" ? 2 : 0;
    if (wantNumbers == 0 && command != "info" && command != "state")
        return Usage(("unknown command " + command).c_str());
    if (args.size() < 1 + wantNumbers)
        return Usage("missing arguments");
    for (size_t i = 1; i <= wantNumbers; ++i)
    {
        auto n = vostool::ParseU32(args[i]);
        if (!n)
            return Usage(("bad number " + args[i]).c_str());
        numbers.push_back(*n);
    }
    std::vector<std::string> valueArgs(args.begin() + static_cast<std::ptrdiff_t>(1 + wantNumbers),
                                       args.end());
    if (command != "write" && command != "readwrite" && !valueArgs.empty())
        return Usage("unexpected arguments");
    std::string error;
    auto values = vostool::ParseValues(valueArgs, error);
    if (!values)
        return Usage(error.c_str());

    OrxAddr target{};
    LONG result = 0;
    if (!ResolvePort(port, target, result))
        return result ? Failed("port look-up", result) : Usage("bad port");

    CVosSync client(0, FALSE, nullptr);
    client.VosSyncSetTimeout(timeout);
    if (command == "info")
    {
        char name[VOS_DEVICE_NAME_LEN + 1] = {};
        VosVersion v{};
        if ((result = client.VosSyncReadDeviceInfoReq(&target, name, &v)) != 0)
            return Failed("info", result);
        std::printf("name: %s\nversion: %u.%u.%u\n", name, v.version, v.revision, v.build);
        return 0;
    }
    if (command == "state")
    {
        USHORT vosState = 0, deviceState = 0;
        if ((result = client.VosSyncReadStateReq(&target, &vosState, &deviceState)) != 0)
            return Failed("state", result);
        std::printf("vos state: %u\ndevice state: %u\n", vosState, deviceState);
        return 0;
    }
    if (command == "write")
    {
        result = client.VosSyncWriteReq(&target, numbers[0], numbers[1], static_cast<ULONG>(values->size()),
                                        values->data());
        return result ? Failed("write", result) : 0;
    }
    if (numbers[2] > 16u * 1024 * 1024)
        return Usage("length too large");
    std::vector<uint8_t> data(numbers[2]);
    ULONG got = 0;
    if (command == "read")
        result = client.VosSyncReadReq(&target, numbers[0], numbers[1], numbers[2], data.data(), &got);
    else
        result = client.VosSyncReadWriteReq(&target, numbers[0], numbers[1], numbers[2], data.data(),
                                            static_cast<ULONG>(values->size()), values->data(), &got);
    if (result)
        return Failed(command.c_str(), result);
    data.resize(got);
    return PrintData(data, as);
}
