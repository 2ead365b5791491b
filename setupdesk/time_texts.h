// The time fields of the display and miscellaneous pages: how a time is shown, and how
// an up-down step moves it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <ui/controls.h>

namespace setupdesk
{
// Screen saver wait: "45 Seconds", "1 Second"; above 60 seconds the whole minutes.
std::string waitTimeText(DWORD seconds);
// One up-down step (its delta already negated): 60 seconds while the time rises from
// above 59 or falls from above 60 seconds, else 1; held within 1 to 86400.
DWORD stepWaitTime(DWORD seconds, int delta);

// Time service refresh: "1000 ms" up to 1000 ms, then whole seconds, minutes, hours or days.
std::string refreshText(DWORD milliseconds);
// One up-down step of the unit of the interval's size, held within 300000 ms and 4294967295 ms.
DWORD stepRefresh(DWORD milliseconds, int delta);

// The up-down's ten acceleration steps: seconds counting up from 1, increments doubling from 1.
std::vector<ui::UpDown::Acceleration> timeAcceleration();
} // namespace setupdesk
