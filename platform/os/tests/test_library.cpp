// A small library loaded by name in the module tests; it brings a COM class along.
#include <windows.h>

#include "test_class.h"

#include <atomic>

extern "C" __attribute__((visibility("default"))) int osTestAnswer(int value)
{
    return value * 2 + 1;
}

namespace
{
class Counter : public ITestCounter
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ITestCounter)
        {
            *object = static_cast<ITestCounter*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHODIMP Next(LONG* value) override
    {
        *value = ++m_count;
        return S_OK;
    }
    virtual ~Counter() = default;

private:
    std::atomic<ULONG> m_references{1};
    LONG m_count = 0;
};

struct Registration
{
    Registration() { os::registerClass(CLSID_TestCounter, os::createObject<Counter>, u"OsTest.Counter"); }
    ~Registration() { os::unregisterClass(CLSID_TestCounter); }
} g_registration;
} // namespace
