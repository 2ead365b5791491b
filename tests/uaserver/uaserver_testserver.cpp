// uaserver_testserver: a server built from the library as an application builds one. It starts the
// core and server modules with its own configuration, namespace 0 and a test namespace (ns 2),
// prints its URL once listening and stops in order on SIGTERM (exit 0).
//
// Its options are the text of kHelp below, which --help prints.
#include "companionserverconfig.h"
#include "testnodemanager.h"
#include "testserverconfig.h"

#include <coremodule.h>
#include <uamodule.h>

#include <servermanager.h>

#include <ualog.h>
#include <uafilepaths.h>
#include <uaplatformlayer.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

namespace
{
std::vector<OpcUa_Byte> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<OpcUa_Byte>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const char* const kHelp = R"(Usage: uaserver_testserver [options]
  --port N                   port on localhost (default 4840)
  --policy NAME[:MODES]      None, Basic128Rsa15 or Basic256 with modes None, Sign,
                             SignAndEncrypt joined by ','; repeatable (default None)
  --certificate FILE         server certificate (DER), a host path
  --key FILE                 server private key (PEM or DER), a host path
  --pki FOLDER               trusted client certificates in FOLDER/trusted, revocation lists in
                             FOLDER/crl: a device path, below DEVICE_ROOT (an absolute path
                             inside DEVICE_ROOT is taken as it is, any other one lies below it)
  --rejected FOLDER          where refused client certificates are kept: a device path, as --pki
  --user NAME:PASSWORD       a user who may log on; repeatable (anonymous logon is always allowed)
  --trace-file FILE          trace log, a host path (default: the trace goes to standard error)
  --trace-level N            0 to 7 (default 1: errors, a refused client among them)
  --variables N              N cached Doubles for benchmarks (ns=2;i=1000..), Variable<n> = n
  --change-interval MS       the --variables Doubles each go up by 1 every MS milliseconds, all
                             with one source time (default 0: never)
  --min-publishing-interval MS, --max-publishing-interval MS, --min-keep-alive-interval MS,
  --min-lifetime-interval MS, --max-lifetime-interval MS, --retransmission-queue-size N,
  --max-notifications-per-publish N
                             the subscription settings (default: the application's 50, 0, 5000,
                             10000, 0, 5, 0; a maximum of 0 is none)
  --models NAME              test (default): the test namespace as ns 2; companion: the DI (ns 2)
                             and PLCopen (ns 3) models in its place
  --stack-pool N             the stack's worker pool with up to N threads runs the requests
                             (default 0: none, each request runs on the thread that read it)
  --max-monitored-items N    monitored items of the whole server, all sessions (default 0: the
                             server's built-in ceiling)
)";

int usage(const char* problem)
{
    std::fprintf(stderr, "uaserver_testserver: %s (--help lists the options)\n", problem);
    return 2;
}

bool parseNumber(const std::string& text, OpcUa_UInt32& number)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10)
        return false;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (value > 0xFFFFFFFFull)
        return false;
    number = static_cast<OpcUa_UInt32>(value);
    return true;
}

// The options that set one subscription setting each.
struct SubscriptionOption
{
    const char* name;
    OpcUa_UInt32 SubscriptionSettings::*setting;
};
constexpr SubscriptionOption kSubscriptionOptions[] = {
    {"--min-publishing-interval", &SubscriptionSettings::minPublishingInterval},
    {"--max-publishing-interval", &SubscriptionSettings::maxPublishingInterval},
    {"--min-keep-alive-interval", &SubscriptionSettings::minKeepAliveInterval},
    {"--min-lifetime-interval", &SubscriptionSettings::minLifetimeInterval},
    {"--max-lifetime-interval", &SubscriptionSettings::maxLifetimeInterval},
    {"--retransmission-queue-size", &SubscriptionSettings::retransmissionQueueSize},
    {"--max-notifications-per-publish", &SubscriptionSettings::maxNotificationsPerPublish},
};

const SubscriptionOption* findSubscriptionOption(const std::string& name)
{
    for (const SubscriptionOption& option : kSubscriptionOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

bool parsePolicy(const std::string& text, TestServerOptions::Policy& policy)
{
    static const char* const base = "http://opcfoundation.org/UA/SecurityPolicy#";
    const auto colon = text.find(':');
    const std::string name = text.substr(0, colon);
    if (name != "None" && name != "Basic128Rsa15" && name != "Basic256")
        return false;
    policy.uri = base + name;
    policy.modes = 0;
    std::string modes = colon == std::string::npos ? (name == "None" ? "None" : "Sign,SignAndEncrypt")
                                                   : text.substr(colon + 1);
    size_t begin = 0;
    while (begin <= modes.size())
    {
        const size_t end = modes.find(',', begin);
        const std::string mode = modes.substr(begin, end - begin);
        if (mode == "None")
            policy.modes |= 0x1;
        else if (mode == "Sign")
            policy.modes |= 0x2;
        else if (mode == "SignAndEncrypt")
            policy.modes |= 0x4;
        else
            return false;
        if (end == std::string::npos)
            break;
        begin = end + 1;
    }
    return true;
}
} // namespace

// Trace lines on standard error when no trace file is given.
class StandardErrorSink : public UaLogSink
{
public:
    void write(int, const char* text) override { std::fprintf(stderr, "%s\n", text); }
};

// A folder option is a device path: says where it lies on the host when that is not where it says.
void noteDevicePath(const char* option, const std::string& folder)
{
    if (folder.empty())
        return;
    const std::optional<std::string> host = uaHostPath(folder.c_str());
    if (!host)
        std::fprintf(stderr, "uaserver_testserver: %s %s leaves the device root (DEVICE_ROOT)\n", option,
                     folder.c_str());
    else if (*host != folder)
        std::fprintf(stderr, "uaserver_testserver: %s %s is a device path: host folder %s\n", option,
                     folder.c_str(), host->c_str());
}

int main(int argc, char** argv)
{
    TestServerOptions options;
    std::string traceFile;
    int traceLevel = 1;
    OpcUa_UInt32 variables = 0;
    OpcUa_UInt32 changeInterval = 0;
    bool companionModels = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--help")
        {
            std::printf("%s", kHelp);
            return 0;
        }
        if (i + 1 >= argc)
            return usage(("missing value of " + option).c_str());
        const std::string value = argv[++i];
        if (option == "--port")
            options.port = std::atoi(value.c_str());
        else if (option == "--policy")
        {
            TestServerOptions::Policy policy;
            if (!parsePolicy(value, policy))
                return usage(("bad policy " + value).c_str());
            options.policies.push_back(policy);
        }
        else if (option == "--certificate")
            options.certificate = readFile(value);
        else if (option == "--key")
            options.privateKey = readFile(value);
        else if (option == "--pki")
            options.pkiFolder = value;
        else if (option == "--rejected")
            options.rejectedFolder = value;
        else if (option == "--user")
        {
            const auto colon = value.find(':');
            if (colon == std::string::npos)
                return usage("a user is NAME:PASSWORD");
            options.users[value.substr(0, colon)] = value.substr(colon + 1);
        }
        else if (option == "--trace-file")
            traceFile = value;
        else if (option == "--trace-level")
            traceLevel = std::atoi(value.c_str());
        else if (option == "--variables")
            variables = static_cast<OpcUa_UInt32>(std::strtoul(value.c_str(), nullptr, 10));
        else if (option == "--change-interval")
        {
            if (!parseNumber(value, changeInterval))
                return usage(("bad change interval " + value).c_str());
        }
        else if (const SubscriptionOption* setting = findSubscriptionOption(option))
        {
            if (!parseNumber(value, options.subscription.*(setting->setting)))
                return usage(("bad value of " + option + ": " + value).c_str());
        }
        else if (option == "--stack-pool")
            options.stackPoolThreads = std::max(0, std::atoi(value.c_str()));
        else if (option == "--max-monitored-items")
            options.maxMonitoredItems = static_cast<OpcUa_UInt32>(std::strtoul(value.c_str(), nullptr, 10));
        else if (option == "--models")
        {
            if (value != "test" && value != "companion")
                return usage(("bad models " + value).c_str());
            companionModels = value == "companion";
        }
        else
            return usage(("unknown option " + option).c_str());
    }
    if (options.policies.empty())
        options.policies.push_back({"http://opcfoundation.org/UA/SecurityPolicy#None", 0x1});

    // SIGTERM and SIGINT are taken by sigwait below, not by a handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    noteDevicePath("--pki", options.pkiFolder);
    noteDevicePath("--rejected", options.rejectedFolder);
    StandardErrorSink standardError;
    if (!traceFile.empty() && traceLevel > 0)
    {
        UaLog::open(traceLevel, 100000, 2, traceFile.c_str(), "uaserver_testserver");
        UaLog::setActive(true);
    }
    else if (traceLevel > 0)
        UaLog::setSink(&standardError, traceLevel);
    if (UaPlatformLayer::init() != 0)
        return usage("the stack cannot be initialised");

    std::unique_ptr<TestServerConfig> config;
    if (companionModels)
        config = std::make_unique<CompanionServerConfig>(options);
    else
        config = std::make_unique<TestServerConfig>(
            options, [variables, changeInterval]
            { return new TestNodeManager("urn:uaserver:testserver:ns2", variables, changeInterval); });
    int result = 1;
    auto* core = new CoreModule();
    UaModule* module = nullptr;
    if (core->initialize() == 0 && core->startUp(config.get()) == 0 &&
        config->startUp(core->getServerManager()).isGood())
    {
        module = new UaModule();
        if (module->startUp(core) == 0)
        {
            std::printf("%s\n", config->url().c_str());
            std::fflush(stdout);
            int signal = 0;
            sigwait(&stopSignals, &signal);
            result = 0;
        }
        else
            std::fprintf(stderr, "uaserver_testserver: the server did not start\n");
    }
    else
        std::fprintf(stderr, "uaserver_testserver: the core did not start\n");

    if (module != nullptr)
    {
        module->shutDown();
        delete module;
    }
    core->shutDown();
    delete core;
    UaPlatformLayer::cleanup();
    UaLog::setSink(nullptr, 0);
    UaLog::close();
    return result;
}
