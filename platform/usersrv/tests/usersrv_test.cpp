// The user server: registration, and start and stop of services in other processes.
#include "QbUserSrvW32.h"
#include "testsupport.h"
#include "vos/orx.h"

#include <gtest/gtest.h>

#include <cstdlib>

using vostest::Child;
using vostest::DeviceRoot;

namespace
{

BSTR Name(const char16_t* text)
{
    return const_cast<BSTR>(text);
}

class CountingCallback : public IQbUserServerCallback
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--m_refs); }
    HRESULT STDMETHODCALLTYPE StartService() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE StopService() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ServiceCall() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShutdownService() override { return S_OK; }
    int m_refs = 0;
};

class UserSrvTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::unsetenv("QBUSERSRV_AUTOSTART");
        ASSERT_EQ(DllGetQbUserServer(&m_server), S_OK);
        ASSERT_NE(m_server, nullptr);
    }
    void TearDown() override
    {
        if (m_server)
            m_server->Release();
        ::unsetenv("QBUSERSRV_AUTOSTART");
        EXPECT_TRUE(m_root.StopRouter()) << "a router is left running";
    }

    std::unique_ptr<Child> StartClient(const std::string& name)
    {
        auto child = std::make_unique<Child>("usersrv_test_client", std::vector<std::string>{name});
        EXPECT_EQ(child->ReadLine(), "ready");
        return child;
    }

    DeviceRoot m_root;
    IQbUserServer* m_server = nullptr;
};

TEST_F(UserSrvTest, StartAndStopWritesReachARegisteredClient)
{
    auto client = StartClient("Millpath");
    ASSERT_EQ(m_server->StartClientService(Name(u"Millpath")), S_OK);
    EXPECT_EQ(client->ReadLine(), "StartService");
    EXPECT_EQ(client->ReadLine(), "ServiceCall");
    ASSERT_EQ(m_server->StopClientService(Name(u"Millpath")), S_OK);
    EXPECT_EQ(client->ReadLine(), "StopService");
    ASSERT_EQ(m_server->ShutdownClientService(Name(u"Millpath")), S_OK);
    EXPECT_EQ(client->ReadLine(), "ShutdownService");
    EXPECT_EQ(client->Finish(), 0);
}

TEST_F(UserSrvTest, AutoStartOptionStartsTheServiceOnRegistration)
{
    ::setenv("QBUSERSRV_AUTOSTART", "Other;Millpath", 1);
    auto client = StartClient("Millpath");
    EXPECT_EQ(client->ReadLine(), "StartService");
    EXPECT_EQ(client->ReadLine(), "ServiceCall");
    EXPECT_EQ(client->Finish(), 0);
}

TEST_F(UserSrvTest, FailuresComeBackAsResults)
{
    EXPECT_EQ(m_server->StartClientService(Name(u"Nobody")),
              USERSRV_E_VOS | static_cast<HRESULT>(VOSERR_NAME_NOT_FOUND));
    EXPECT_EQ(m_server->StopClientService(Name(u"")), E_INVALIDARG);
    auto client = StartClient("Failing");
    // The service's start fails: the port answers 0x700 and no service call follows.
    EXPECT_EQ(m_server->StartClientService(Name(u"Failing")),
              USERSRV_E_VOS | static_cast<HRESULT>(VOSERR_DEVICE_ERROR));
    EXPECT_EQ(client->ReadLine(), "StartService");
    EXPECT_EQ(m_server->StopClientService(Name(u"Failing")), S_OK);
    EXPECT_EQ(client->ReadLine(), "StopService");
}

TEST_F(UserSrvTest, RegistrationHoldsTheCallbackUntilReleased)
{
    CountingCallback callback;
    EXPECT_EQ(m_server->RegisterClient(Name(u"Millpath"), nullptr), E_INVALIDARG);
    EXPECT_EQ(m_server->RegisterClient(nullptr, &callback), E_INVALIDARG);
    ASSERT_EQ(m_server->RegisterClient(Name(u"Millpath"), &callback), S_OK);
    EXPECT_EQ(callback.m_refs, 1);
    EXPECT_EQ(m_server->RegisterClient(Name(u"Millpath"), &callback), USERSRV_E_ALREADY_REGISTERED);
    EXPECT_EQ(callback.m_refs, 1);
    ASSERT_EQ(m_server->UnregisterClient(Name(u"Millpath")), S_OK);
    EXPECT_EQ(callback.m_refs, 0);
    EXPECT_EQ(m_server->UnregisterClient(Name(u"Millpath")), USERSRV_E_NOT_REGISTERED);

    // The process has one server; its last release drops every registration.
    IQbUserServer* second = nullptr;
    ASSERT_EQ(DllGetQbUserServer(&second), S_OK);
    EXPECT_EQ(second, m_server);
    ASSERT_EQ(second->RegisterClient(Name(u"Millpath"), &callback), S_OK);
    void* unknown = nullptr;
    ASSERT_EQ(second->QueryInterface(IID_IQbUserServer, &unknown), S_OK);
    EXPECT_EQ(unknown, second);
    EXPECT_EQ(second->QueryInterface(IID_IQbUserServerCallback, &unknown), E_NOINTERFACE);
    EXPECT_EQ(unknown, nullptr);
    EXPECT_EQ(second->Release(), 2u);
    EXPECT_EQ(second->Release(), 1u);
    EXPECT_EQ(m_server->Release(), 0u);
    m_server = nullptr;
    EXPECT_EQ(callback.m_refs, 0);
    EXPECT_EQ(DllGetQbUserServer(nullptr), E_POINTER);
}

} // namespace
