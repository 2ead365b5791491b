// Fixed-width types of the messaging layer's interface.
#pragma once

#include <windows.h>
