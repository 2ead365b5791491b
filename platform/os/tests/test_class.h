// The COM classes of the test libraries: a counter, created in-process from the class
// table (OsTestLib) or through the registry (OsComServer).
#pragma once

#include <windows.h>

inline constexpr CLSID CLSID_TestCounter = {
    0x6A1C3F20, 0x1B2D, 0x4E5F, {0x90, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};
inline constexpr CLSID CLSID_TestServerCounter = {
    0x6A1C3F22, 0x1B2D, 0x4E5F, {0x90, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};
inline constexpr IID IID_ITestCounter = {
    0x6A1C3F21, 0x1B2D, 0x4E5F, {0x90, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};

struct ITestCounter : public IUnknown
{
    STDMETHOD(Next)(LONG* value) PURE;
};

namespace ostest
{
class Counter : public os::ComObject<ITestCounter, IID_ITestCounter>
{
public:
    STDMETHODIMP Next(LONG* value) override
    {
        *value = ++m_count;
        return S_OK;
    }

private:
    LONG m_count = 0;
};

} // namespace ostest
