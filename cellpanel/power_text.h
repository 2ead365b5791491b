// The status texts of the battery dialog, one per line of the dialog.
#pragma once

#include <windows.h>

#include <string>

namespace cellpanel
{
std::string powerSourceText(BYTE acLineStatus);
std::string chargeStatusText(BYTE batteryFlag);
std::string loadLevelText(BYTE percent);
std::string runtimeText(DWORD seconds);
std::string temperatureText(LONG tenthsOfDegree);
std::string voltageText(DWORD millivolts);
std::string currentText(LONG milliamperes);
} // namespace cellpanel
