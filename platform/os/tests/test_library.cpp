// A small library loaded by name in the module tests; it brings a COM class along.
#include <windows.h>

#include "test_class.h"

extern "C" __attribute__((visibility("default"))) int osTestAnswer(int value)
{
    return value * 2 + 1;
}

namespace
{
struct Registration
{
    Registration()
    {
        os::registerClass(CLSID_TestCounter, os::createObject<ostest::Counter>, u"OsTest.Counter");
    }
    ~Registration() { os::unregisterClass(CLSID_TestCounter); }
} g_registration;
} // namespace
