// The service's actions and properties as the device host sees them.
#pragma once

#include <upnphost/upnphost.h>

namespace netherald
{
enum Action : UINT
{
    actionRead,
    actionReadWrite,
    actionReadWriteEx,
    actionWrite,
};

enum Property : UINT
{
    propertyInt,
    propertyString,
};

const UPnPServiceTable& serviceTable();
} // namespace netherald
