#include "QbUserSrvW32.h"

#include "vos/orxport.h"
#include "vos/voslog.h"
#include "vos/vossync.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

extern "C" const IID IID_IQbUserServerCallback = {
    0xA34B80D2, 0x6D73, 0x49BF, {0x9E, 0x89, 0xF9, 0x9E, 0xF5, 0x7C, 0x81, 0x6B}};
extern "C" const IID IID_IQbUserServer = {
    0x50ACC943, 0x642F, 0x4410, {0xA7, 0x77, 0x61, 0x23, 0xA6, 0xAB, 0x5F, 0xBB}};

namespace
{

constexpr ULONG GROUP_START = 1;
constexpr ULONG GROUP_SERVICE_CALL = 2;
constexpr ULONG GROUP_STOP = 3;
constexpr ULONG GROUP_SHUTDOWN = 4;
// A service's start may read files and build its objects before it answers.
constexpr ULONG ANSWER_TIMEOUT_MS = 30000;
// How long an automatic start waits for the registered program to open its port.
constexpr auto PORT_WAIT = std::chrono::seconds(60);

std::string PortName(const std::string& name)
{
    return "UserSrv_" + name;
}

std::string Utf8(BSTR text)
{
    return text ? os::toUtf8(static_cast<const WCHAR*>(text)) : std::string();
}

HRESULT VosResult(LONG error)
{
    return error == 0 ? S_OK : (USERSRV_E_VOS | static_cast<HRESULT>(error & 0xFFFF));
}

// Finds the service's port and writes the index group to it (no data).
HRESULT WriteGroup(const std::string& name, ULONG group)
{
    OrxAddr addr{};
    LONG error = OrxGetPortByName(PortName(name).c_str(), &addr);
    if (error != 0)
        return VosResult(error);
    CVosSync client(0, TRUE, nullptr);
    client.VosSyncSetTimeout(ANSWER_TIMEOUT_MS);
    return VosResult(client.VosSyncWriteReq(&addr, group, 0, 0, nullptr));
}

HRESULT StartByPort(const std::string& name)
{
    HRESULT hr = WriteGroup(name, GROUP_START);
    return FAILED(hr) ? hr : WriteGroup(name, GROUP_SERVICE_CALL);
}

bool AutoStartListed(const std::string& name)
{
    const char* list = std::getenv("QBUSERSRV_AUTOSTART");
    if (!list)
        return false;
    std::string all(list);
    size_t start = 0;
    while (start <= all.size())
    {
        size_t end = all.find_first_of(",;", start);
        if (end == std::string::npos)
            end = all.size();
        std::string item = all.substr(start, end - start);
        if (item == "*" || item == name)
            return true;
        start = end + 1;
    }
    return false;
}

class UserServer final : public IQbUserServer
{
public:
    UserServer() { m_log.SetDeviceName("UserSrv"); }

    // Ends every automatic start and drops every registration.
    ~UserServer()
    {
        std::map<std::string, Client> clients;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stopping = true;
            clients.swap(m_clients);
        }
        m_wake.notify_all();
        for (auto& [name, client] : clients)
            Drop(client);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IQbUserServer || iid == IID_IUnknown)
        {
            *object = static_cast<IQbUserServer*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }

    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE RegisterClient(BSTR bname, IQbUserServerCallback* callback) override
    {
        std::string name = Utf8(bname);
        if (name.empty() || !callback)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_clients.count(name))
            return USERSRV_E_ALREADY_REGISTERED;
        Client& client = m_clients[name];
        client.callback = callback;
        callback->AddRef();
        if (AutoStartListed(name))
        {
            client.cancel = std::make_shared<std::atomic<bool>>(false);
            client.starter = std::thread([this, name, cancel = client.cancel] { AutoStart(name, *cancel); });
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE UnregisterClient(BSTR bname) override
    {
        std::string name = Utf8(bname);
        Client client;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            auto it = m_clients.find(name);
            if (it == m_clients.end())
                return USERSRV_E_NOT_REGISTERED;
            client = std::move(it->second);
            m_clients.erase(it);
        }
        m_wake.notify_all();
        Drop(client);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE StartClientService(BSTR name) override { return Command(name, 0); }
    HRESULT STDMETHODCALLTYPE StopClientService(BSTR name) override { return Command(name, GROUP_STOP); }
    HRESULT STDMETHODCALLTYPE ShutdownClientService(BSTR name) override
    {
        return Command(name, GROUP_SHUTDOWN);
    }

private:
    struct Client
    {
        IQbUserServerCallback* callback = nullptr;
        std::thread starter;
        std::shared_ptr<std::atomic<bool>> cancel;
    };

    HRESULT Command(BSTR bname, ULONG group)
    {
        std::string name = Utf8(bname);
        if (name.empty())
            return E_INVALIDARG;
        return group == 0 ? StartByPort(name) : WriteGroup(name, group);
    }

    void Drop(Client& client)
    {
        if (client.cancel)
            *client.cancel = true;
        m_wake.notify_all();
        if (client.starter.joinable())
            client.starter.join();
        if (client.callback)
            client.callback->Release();
        client.callback = nullptr;
    }

    // Waits for the program to open its port, then starts its service.
    void AutoStart(const std::string& name, const std::atomic<bool>& cancel)
    {
        auto deadline = std::chrono::steady_clock::now() + PORT_WAIT;
        for (;;)
        {
            OrxAddr addr{};
            if (OrxGetPortByName(PortName(name).c_str(), &addr) == 0)
                break;
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait_for(lock, std::chrono::milliseconds(100),
                            [&] { return m_stopping || cancel.load(); });
            if (m_stopping || cancel || std::chrono::steady_clock::now() >= deadline)
            {
                if (!m_stopping && !cancel)
                    m_log.VosReportLog(148, "UserSrv: %s did not open its port \"%s\"", name.c_str(),
                                       PortName(name).c_str());
                return;
            }
        }
        HRESULT hr = StartByPort(name);
        if (FAILED(hr))
            m_log.VosReportLog(148, "UserSrv: starting %s failed: 0x%08X", name.c_str(),
                               static_cast<unsigned>(hr));
    }

    std::atomic<ULONG> m_refs{0};
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<std::string, Client> m_clients;
    CVosLog m_log;
};

std::mutex g_serverLock;
UserServer* g_server = nullptr;

ULONG UserServer::Release()
{
    ULONG left;
    {
        std::lock_guard<std::mutex> lock(g_serverLock);
        left = --m_refs;
        if (left == 0 && g_server == this)
            g_server = nullptr;
    }
    if (left == 0)
        delete this;
    return left;
}

} // namespace

extern "C" HRESULT DllGetQbUserServer(IQbUserServer** server)
{
    if (!server)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(g_serverLock);
    if (!g_server)
        g_server = new (std::nothrow) UserServer;
    if (!g_server)
    {
        *server = nullptr;
        return E_OUTOFMEMORY;
    }
    g_server->AddRef();
    *server = g_server;
    return S_OK;
}
