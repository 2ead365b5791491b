// CVosServerImp: the generic Vos request object. Every request is answered as not served
// (E_NOTIMPL) or as missing a pointer (E_POINTER); the device info gives the device name member
// and the program file's version, the state 5 and 5. A server derives from it and overrides the
// requests it serves. Each request writes an entry and an exit line at trace level 6.
#pragma once

#include <vos/qbvossync2.h>

#include <atomic>
#include <string>

class CVosServerImp : public IQbVosSync2
{
public:
    CVosServerImp();
    CVosServerImp(const CVosServerImp&) = delete;
    CVosServerImp& operator=(const CVosServerImp&) = delete;

    // The object itself for IUnknown and IQbVosSync2.
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    // The object deletes itself when the count reaches 0.
    STDMETHOD_(ULONG, Release)() override;

    STDMETHOD(Write)(ULONG indexGroup, ULONG indexOffset, ULONG length, const void* data) override;
    STDMETHOD(Read)(ULONG indexGroup, ULONG indexOffset, ULONG length, void* data) override;
    STDMETHOD(ReadEx)
    (ULONG indexGroup, ULONG indexOffset, ULONG length, void* data, ULONG* returned) override;
    STDMETHOD(ReadWrite)
    (ULONG indexGroup, ULONG indexOffset, ULONG readLength, void* readData, ULONG writeLength,
     const void* writeData, ULONG* returned) override;
    STDMETHOD(WriteControl)(USHORT vosState, USHORT deviceState, ULONG length, const void* data) override;
    STDMETHOD(ReadDeviceInfo)(BSTR* name, VosVersion* version) override;
    STDMETHOD(ReadState)(ULONG* vosState, ULONG* deviceState, ULONG* value3, ULONG* value4) override;
    STDMETHOD(AddDeviceNotification)
    (ULONG indexGroup, ULONG indexOffset, ULONG length, ULONG transMode, ULONG* handle) override;
    STDMETHOD(DelDeviceNotification)(ULONG handle) override;
    STDMETHOD(DeviceNotification)(ULONG length, const void* data) override;

    virtual ~CVosServerImp();

    // Opens a Vos server port (vos/vosserverport.h) on the port number and name that hands its
    // requests to this object, and keeps it as the port reference (an open one is shut first).
    // When the port cannot be opened (no router), a level-2 warning is written and the object
    // goes on without a port; the result is then E_FAIL. The caller holds a reference.
    HRESULT OpenVosServer(USHORT port, LPCSTR portName);
    // Releases the port reference; requests end with the port. Always 0. The port holds a
    // reference on this object, so the owner shuts the port before its last Release; a derived
    // object calls it first in its own destructor, so that no request reaches it half destroyed.
    HRESULT ShutdownVosServer();

    // The program file's version as a Vos version record (version, revision, build); false, with
    // the record untouched, when the program has no readable version record.
    static bool readProgramVosVersion(VosVersion& version);

protected:
    // The device info answer with its trace lines, which name the owner's class.
    HRESULT answerDeviceInfo(const char* owner, const std::u16string& deviceName, BSTR* name,
                             VosVersion* version);
    // The state answer with its trace lines: Vos state 5, the device state, 0 and 0.
    HRESULT answerState(ULONG state, ULONG* vosState, ULONG* deviceState, ULONG* value3, ULONG* value4);

    std::u16string m_deviceName;

private:
    std::atomic<ULONG> m_references{0};
    std::atomic<IUnknown*> m_port{nullptr};
};
