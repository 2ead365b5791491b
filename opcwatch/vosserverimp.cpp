#include "vosserverimp.h"

#include "opcwatchpaths.h"
#include "opcwatchversion.h"

#include <uatrace.h>

#include <vos/vosserverport.h>

CVosServerImp::CVosServerImp()
{
    UaTrace::traceLevel5("**CVosServerImp");
}

CVosServerImp::~CVosServerImp()
{
    UaTrace::traceLevel5("~CVosServerImp");
    ShutdownVosServer();
}

STDMETHODIMP CVosServerImp::QueryInterface(REFIID iid, void** object)
{
    return os::queryInterface<IQbVosSync2>(this, IID_IQbVosSync2, iid, object);
}

STDMETHODIMP_(ULONG) CVosServerImp::AddRef()
{
    return ++m_references;
}

STDMETHODIMP_(ULONG) CVosServerImp::Release()
{
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP CVosServerImp::Write(ULONG, ULONG, ULONG, const void*)
{
    UaTrace::traceLevel6("--> CVosServerImp::Write()");
    UaTrace::traceLevel6("<-- CVosServerImp::Write() return E_NOTIMPL");
    return E_NOTIMPL;
}

STDMETHODIMP CVosServerImp::Read(ULONG, ULONG, ULONG, void* data)
{
    UaTrace::traceLevel6("--> CVosServerImp::Read()");
    if (!data)
    {
        UaTrace::traceLevel6("<-- CVosServerImp::Read() return E_POINTER");
        return E_POINTER;
    }
    UaTrace::traceLevel6("<-- CVosServerImp::Read() return E_NOTIMPL");
    return E_NOTIMPL;
}

STDMETHODIMP CVosServerImp::ReadEx(ULONG, ULONG, ULONG, void* data, ULONG* returned)
{
    UaTrace::traceLevel6("--> CVosServerImp::ReadEx()");
    if (!data || !returned)
    {
        UaTrace::traceLevel6("<-- CVosServerImp::ReadEx() return E_POINTER");
        return E_POINTER;
    }
    UaTrace::traceLevel6("<-- CVosServerImp::ReadEx() return E_NOTIMPL");
    return E_NOTIMPL;
}

STDMETHODIMP CVosServerImp::ReadWrite(ULONG, ULONG, ULONG, void* readData, ULONG, const void*,
                                      ULONG* returned)
{
    UaTrace::traceLevel6("--> CVosServerImp::ReadWrite()");
    if (!readData || !returned)
    {
        UaTrace::traceLevel6("<-- CVosServerImp::ReadWrite() return E_POINTER");
        return E_POINTER;
    }
    UaTrace::traceLevel6("<-- CVosServerImp::ReadWrite() return E_NOTIMPL");
    return E_NOTIMPL;
}

STDMETHODIMP CVosServerImp::WriteControl(USHORT, USHORT, ULONG, const void*)
{
    UaTrace::traceLevel6("--> CVosServerImp::WriteControl()");
    UaTrace::traceLevel6("<-- CVosServerImp::WriteControl() return E_NOTIMPL");
    return E_NOTIMPL;
}

STDMETHODIMP CVosServerImp::ReadDeviceInfo(BSTR* name, VosVersion* version)
{
    return answerDeviceInfo("CVosServerImp", m_deviceName, name, version);
}

HRESULT CVosServerImp::answerDeviceInfo(const char* owner, const std::u16string& deviceName, BSTR* name,
                                        VosVersion* version)
{
    UaTrace::traceLevel6("--> %s::ReadDeviceInfo()", owner);
    if (!name && !version)
    {
        UaTrace::traceLevel6("<-- %s::ReadDeviceInfo() return E_POINTER", owner);
        return E_POINTER;
    }
    if (version)
        readProgramVosVersion(*version);
    if (name)
        *name = SysAllocStringLen(deviceName.data(), static_cast<UINT>(deviceName.size()));
    UaTrace::traceLevel6("<-- %s::ReadDeviceInfo() return S_OK", owner);
    return S_OK;
}

STDMETHODIMP CVosServerImp::ReadState(ULONG* vosState, ULONG* deviceState, ULONG* value3, ULONG* value4)
{
    return answerState(5, vosState, deviceState, value3, value4);
}

HRESULT CVosServerImp::answerState(ULONG state, ULONG* vosState, ULONG* deviceState, ULONG* value3,
                                   ULONG* value4)
{
    UaTrace::traceLevel6("--> CVosServerImp::ReadState()");
    if (vosState)
        *vosState = 5;
    if (deviceState)
        *deviceState = state;
    if (value3)
        *value3 = 0;
    if (value4)
        *value4 = 0;
    UaTrace::traceLevel6("<-- CVosServerImp::ReadState() retrun S_OK");
    return S_OK;
}

STDMETHODIMP CVosServerImp::AddDeviceNotification(ULONG, ULONG, ULONG, ULONG, ULONG* handle)
{
    UaTrace::traceLevel6("--> CVosServerImp::AddDeviceNotification()");
    if (!handle)
    {
        UaTrace::traceLevel6("<-- CVosServerImp::AddDeviceNotification() return E_POINTER");
        return E_POINTER;
    }
    UaTrace::traceLevel6("<-- CVosServerImp::AddDeviceNotification() return E_NOTIMPL");
    return E_NOTIMPL;
}

STDMETHODIMP CVosServerImp::DelDeviceNotification(ULONG)
{
    UaTrace::traceLevel6("--> CVosServerImp::DelDeviceNotification()");
    UaTrace::traceLevel6("<-- CVosServerImp::DelDeviceNotification() return E_NOTIMPL");
    return E_NOTIMPL;
}

STDMETHODIMP CVosServerImp::DeviceNotification(ULONG, const void*)
{
    UaTrace::traceLevel6("--> CVosServerImp::DeviceNotification()");
    UaTrace::traceLevel6("<-- CVosServerImp::DeviceNotification() return E_NOTIMPL");
    return E_NOTIMPL;
}

HRESULT CVosServerImp::OpenVosServer(USHORT port, LPCSTR portName)
{
    ShutdownVosServer();
    CVosServerPort* opened = new CVosServerPort(this, portName);
    if (!opened->Open(port))
    {
        UaTrace::traceLevel2("Vos port %u (%s) not opened [error 0x%x]; going on without it",
                             static_cast<unsigned>(port), portName ? portName : "",
                             static_cast<unsigned>(opened->OrxGetLastError()));
        opened->Release();
        return E_FAIL;
    }
    m_port = opened;
    return S_OK;
}

HRESULT CVosServerImp::ShutdownVosServer()
{
    UaTrace::traceLevel6("--> CVosServerImp::ShutdownVosServer()");
    if (IUnknown* port = m_port.exchange(nullptr))
    {
        // The port gives back its reference on this object as it goes; that must not delete the
        // object from here, where it may be in its destructor already.
        ++m_references;
        port->Release();
        --m_references;
    }
    UaTrace::traceLevel6("<-- CVosServerImp::ShutdownVosServer() return 0");
    return S_OK;
}

bool CVosServerImp::readProgramVosVersion(VosVersion& version)
{
    OpcFileVersion fileVersion;
    if (!readFileVersion(opcwatchProgramFile(), fileVersion))
        return false;
    version.version = static_cast<BYTE>(fileVersion.part(0) & 0xFF);
    version.revision = static_cast<BYTE>(fileVersion.part(1) & 0xFF);
    version.build = fileVersion.part(3);
    return true;
}
