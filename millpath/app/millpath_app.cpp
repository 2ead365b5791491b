#include "millpath_app.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <thread>

#include "millpath_service.h"
#include "user_server_port.h"

namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;
}

CMillpathApp::CMillpathApp()
{
    m_userServerPort = new CQbUserServerVosPort(0, FALSE, nullptr, 1, this, "Millpath");
}

CMillpathApp::~CMillpathApp()
{
    DeleteService();
    delete m_userServerPort;
}

HRESULT CMillpathApp::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IQbUserServerCallback) || IsEqualIID(iid, IID_IUnknown))
    {
        m_callbackInterface = this;
        *object = static_cast<IQbUserServerCallback*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

void CMillpathApp::DeleteService()
{
    Lock lock(m_serviceLock);
    if (!m_service)
        return;
    m_service->StopService();
    delete m_service;
    m_service = nullptr;
}

HRESULT CMillpathApp::StartService()
{
    Lock lock(m_serviceLock);
    DeleteService();
    m_service = new CMillpathService;
    if (!m_service->Init())
    {
        delete m_service;
        m_service = nullptr;
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CMillpathApp::StopService()
{
    DeleteService();
    return S_OK;
}

HRESULT CMillpathApp::ServiceCall()
{
    Lock lock(m_serviceLock);
    if (m_service)
        m_service->OpenPort();
    return S_OK;
}

HRESULT CMillpathApp::ShutdownService()
{
    return static_cast<IQbUserServerCallback*>(this)->StopService();
}

BOOL CMillpathApp::InitInstance()
{
    IQbUserServer* server = nullptr;
    bool connected = false;
    if (SUCCEEDED(DllGetQbUserServer(&server)) && server)
    {
        BSTR name = SysAllocString(u"Millpath");
        const HRESULT registered = server->RegisterClient(name, this);
        SysFreeString(name);
        if (SUCCEEDED(registered))
        {
            for (int i = 0; i < ConnectTries && !connected; ++i)
            {
                connected = m_userServerPort->OrxConnect(0, 4096, 80) != 0;
                if (!connected)
                {
                    (void)m_userServerPort->OrxGetLastError();
                    std::this_thread::sleep_for(std::chrono::milliseconds(ConnectPauseMs));
                }
            }
        }
        else
            std::fprintf(stderr, "millpath: registration failed (0x%X)\n", static_cast<unsigned>(registered));
    }
    if (connected)
    {
        std::printf("millpath: running\n");
        std::fflush(stdout);
        MSG msg;
        PeekMessage(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        for (;;)
        {
            const BOOL got = GetMessage(&msg, nullptr, 0, 0);
            if (got == 0 || got == -1)
                break;
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    if (server)
        server->Release();
    DeleteService();
    if (m_userServerPort)
        m_userServerPort->OrxDisconnect();
    std::printf("millpath: stopped\n");
    std::fflush(stdout);
    return FALSE;
}
