#ifndef UABASE_UASTACKPLATFORM_H
#define UABASE_UASTACKPLATFORM_H

#include "uaplatformlayer.h"

// The counted stack set-up under the names the application uses.
class UaStackPlatform
{
public:
    UaStackPlatform() = delete;

    static int initialize() { return UaPlatformLayer::init(); }
    static void clear() { UaPlatformLayer::cleanup(); }
};

#endif
