// The Millpath program: registers with the user server and runs the message
// loop; the user server starts and stops the interpreter service.
#pragma once

#include <memory>
#include <mutex>

#include "QbUserSrvW32.h"

class CMillpathService;
class CQbUserServerVosPort;

class CMillpathApp : public IQbUserServerCallback
{
public:
    static constexpr int ConnectTries = 50;
    static constexpr int ConnectPauseMs = 100;

    CMillpathApp();
    virtual ~CMillpathApp();

    // Start-up and the message loop; FALSE when the program is to end.
    BOOL InitInstance();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE StartService() override;
    HRESULT STDMETHODCALLTYPE StopService() override;
    HRESULT STDMETHODCALLTYPE ServiceCall() override;
    HRESULT STDMETHODCALLTYPE ShutdownService() override;

    CMillpathService* Service() const { return m_service; }

private:
    void DeleteService();

    IQbUserServerCallback* m_callbackInterface = nullptr;
    CMillpathService* m_service = nullptr;
    CQbUserServerVosPort* m_userServerPort = nullptr;
    // Start and stop come from the user-server port's thread or the user server's own.
    std::recursive_mutex m_serviceLock;
};
