// Boardkit: the device function library ("Boardkit.dll"). Mainboard and
// processor data, sensors, GPIO, power controller, S-UPS, watchdog, user
// EEPROM, LEDs, power-supply unit, UPS, SMBus and the boot loader, each
// function one or a few requests through QbWmDevApi to the board driver.
//
// Every function returns non-zero on success. Every function sets the
// platform's last error: 0 on success, else the reason (87 bad argument, 24
// wrong length, 8 no memory, 50 not supported, 13 bad data, or the driver's
// error code unchanged). Out values are zeroed first, so a failed call leaves
// zeros or an empty text behind.
//
// Text forms: the base form works on the device's single-byte text in a
// fixed record, `...ExA` on a single-byte buffer and its size, `...ExW` on a
// wide buffer and its size in characters (Windows-1252 converted), `...ExT`
// is the wide form exported under its C++ name. A buffer too small for the
// text and its terminator is left empty.
#pragma once

#include <windows.h>

// Fixed record sizes of the base forms, in bytes.
#define WM_MAINBOARD_TYPE_SIZE 24
#define WM_MAINBOARD_INFO_SIZE 12
#define WM_BRAND_STRING_SIZE 48
#define WM_PWRCTRL_REVISION_SIZE 3
#define WM_PWRCTRL_SERIAL_SIZE 17
#define WM_PWRCTRL_PRODUCTION_DATE_SIZE 8
#define WM_PWRCTRL_SHUTDOWN_REASON_SIZE 4
#define WM_PWRCTRL_TEST_NUMBER_SIZE 7
#define WM_GPIO_INFO_SIZE 8
#define WM_REVISION_SIZE 2
#define WM_DISPLAY_LINE_LENGTH 16
#define WM_UEEPROM_SIZE 128
#define WM_SMBUS_NAME_LENGTH 15
#define WM_BOOTLOADER_NAME_SIZE 16
#define WM_BOOTLOADER_VERSION_SIZE 3

#pragma pack(push, 1)
// WmGenGetVersion: API version, driver version, QbWmDevApi's version, this library's version.
struct WM_VERSION_INFO
{
    DWORD apiVersion;
    DWORD drvVersion;
    DWORD dllVersion;
    DWORD funVersion;
};

// One sensor as the firmware delivers it (56 bytes).
struct WM_SENSOR_INFO
{
    DWORD kind; // with place 2, kind 1 is a reading per processor
    DWORD place;
    DWORD data[9];
    WORD value;
    WORD flags; // WM_SENSOR_FLAG_*
    DWORD tail[2];
};

// A physical-memory mapping: the virtual address (low, high), the size, 0.
struct WM_MEMORY_MAPPING
{
    DWORD addressLow;
    DWORD addressHigh;
    DWORD size;
    DWORD reserved;
};
#pragma pack(pop)
static_assert(sizeof(WM_SENSOR_INFO) == 56, "the firmware's sensor record");
static_assert(sizeof(WM_MEMORY_MAPPING) == 16, "the driver's mapping record");

#define WM_SENSOR_KIND_PROCESSOR 1
#define WM_SENSOR_PLACE_PROCESSOR 2
#define WM_SENSOR_FLAG_MINIMUM 0x4000 // per-processor readings combine by minimum, not maximum
#define WM_SENSOR_FLAG_SINGLE 0x8000  // no per-processor combination

// SMBus transfer kinds.
#define WM_SMBUS_BYTE 0
#define WM_SMBUS_BLOCK 3

// Firmware update options and progress codes.
#define WM_FWUPDATE_NAME_OPTIONAL 0x01    // the device name record need not come first
#define WM_FWUPDATE_VERSION_OPTIONAL 0x02 // the version record need not come first
#define WM_FWUPDATE_KEEP_MODE 0x20        // the boot loader is not switched to its loader mode
#define WM_FWUPDATE_FILE_SIZE 1
#define WM_FWUPDATE_POSITION 2
#define WM_FWUPDATE_DONE 3
#define WM_FWUPDATE_ERROR 4        // the value is the platform error that ended the update
#define WM_FWUPDATE_RECORD_STATE 5 // the boot loader refused a record: its status byte
#define WM_FWUPDATE_SHORT_ANSWER 6 // the answer to the record at this address was short
#define WM_FWUPDATE_NAME_FAILED 7
#define WM_FWUPDATE_VERSION_FAILED 8
#define WM_FWUPDATE_CHECK_MISSING 9 // a data record came before a required check

// Handed each sensor record; 0 ends the enumeration (last error 1223).
typedef BOOL (*WM_SENSOR_CALLBACK)(const WM_SENSOR_INFO* info, PVOID context);
// Handed (code, pointer to a 4-byte value, 4, context); 0 stops the update (last error 1223).
typedef BOOL (*WM_FWUPDATE_CALLBACK)(DWORD code, LPCVOID value, DWORD size, PVOID context);

extern "C"
{
    // --- Versions --------------------------------------------------------------
    BOOL WmGenGetVersion(WM_VERSION_INFO* info);
    BOOL WmGetApiVersionEx(DWORD* version);
    BOOL WmGetDrvVersionEx(DWORD* version);
    BOOL WmGetDllVersionEx(DWORD* version);
    BOOL WmGetFunVersionEx(DWORD* version);

    // --- Mainboard (index group 0x0) -------------------------------------------
    BOOL WmGenGetMainboardType(LPSTR type); // WM_MAINBOARD_TYPE_SIZE bytes
    BOOL WmGenGetMainboardTypeExA(LPSTR buffer, DWORD size);
    BOOL WmGenGetMainboardTypeExW(LPWSTR buffer, DWORD size);
    BOOL WmGenGetMainboardInfo(BYTE* info); // WM_MAINBOARD_INFO_SIZE bytes
    BOOL WmGenGetPlatformInfo(DWORD* info);

    // --- Processor, registers, buses, memory and ports (driver level) ----------
    BOOL GetProcSignature(DWORD* signature);
    BOOL GetTjmax(DWORD* tjmax);
    BOOL GetCpuTjmax(DWORD* tjmax); // a Tjmax of 0 fails with 13
    BOOL GetActiveProcMask(ULONGLONG* mask);
    BOOL GetActiveProcCount(DWORD* count);
    BOOL GetProcBrandID(DWORD* brandId);
    BOOL GetProcBrandString(LPSTR brand); // WM_BRAND_STRING_SIZE bytes
    BOOL GetProcBrandStringExA(LPSTR buffer, DWORD size);
    BOOL GetProcBrandStringExW(LPWSTR buffer, DWORD size);
    BOOL HalOsReadMsr(DWORD msr, ULONGLONG* value);
    BOOL HalOsWriteMsr(DWORD msr, ULONGLONG value);
    BOOL HalOsGetBusDataByOffset(DWORD busType, DWORD busNumber, DWORD device, DWORD function, DWORD offset,
                                 PVOID buffer, DWORD length, DWORD* count);
    BOOL HalOsMapPhysMemoryEx(DWORD addressLow, DWORD addressHigh, DWORD size, WM_MEMORY_MAPPING* mapping);
    BOOL HalOsUnMapPhysMemoryEx(DWORD addressLow, DWORD addressHigh, DWORD size);
    BOOL HalOsReadPhysMemoryEx(DWORD addressLow, DWORD addressHigh, DWORD size, PVOID buffer, DWORD length);
    BOOL HalOsWritePhysMemoryEx(DWORD addressLow, DWORD addressHigh, DWORD size, LPCVOID data, DWORD length);
    BOOL HalReadPortUChar(BYTE port, BYTE* value);
    BOOL HalReadPortUShort(WORD port, WORD* value);
    BOOL HalReadPortULong(DWORD port, DWORD* value);
    BOOL HalWritePortUChar(BYTE port, BYTE value);
    BOOL HalWritePortUShort(WORD port, WORD value);
    BOOL HalWritePortULong(DWORD port, DWORD value);

    // --- Sensors (0x2000) --------------------------------------------------------
    BOOL WmSysCountSensors(DWORD* count);
    // Sensors count from 1. With a mask of 0, a per-processor sensor is read on
    // every active processor and combined.
    BOOL WmSysGetSensorInfo(DWORD sensor, WM_SENSOR_INFO* info, DWORD maskLow, DWORD maskHigh);
    BOOL WmSysEnumSensors(WM_SENSOR_CALLBACK callback, PVOID context, DWORD maskLow, DWORD maskHigh);

    // --- GPIO (0x3000) -------------------------------------------------------------
    BOOL GpioReadIn0(DWORD* value);
    BOOL GpioReadIn1(DWORD* value);
    BOOL GpioReadOut0(DWORD* value);
    BOOL GpioReadOut1(DWORD* value);
    BOOL GpioReadMask0(DWORD* value);
    BOOL GpioReadMask1(DWORD* value);
    BOOL GpioWriteOut0(BYTE value);
    BOOL GpioWriteOut1(BYTE value);
    BOOL GpioWriteMask0(BYTE value);
    BOOL GpioWriteMask1(BYTE value);

    // --- Power controller (0x4000) -------------------------------------------------
    BOOL PwrCtrlGetBootLdrRev(BYTE* revision); // WM_PWRCTRL_REVISION_SIZE bytes
    BOOL PwrCtrlGetFirmwareRev(BYTE* revision);
    BOOL PwrCtrlGetDeviceID(DWORD* id);
    BOOL PwrCtrlGetOperationTime(DWORD* time);
    BOOL PwrCtrlGetMinMaxTemp(LONG* minimum, LONG* maximum);
    BOOL PwrCtrlGetMinMaxVolt(LONG* minimum, LONG* maximum);
    BOOL PwrCtrlGetSerialNumber(LPSTR serial); // WM_PWRCTRL_SERIAL_SIZE bytes
    BOOL PwrCtrlGetSerialNumberExA(LPSTR buffer, DWORD size);
    BOOL PwrCtrlGetSerialNumberExW(LPWSTR buffer, DWORD size);
    BOOL PwrCtrlGetBootCounter(DWORD* counter);
    // The answer's byte 0 goes to byte 6 of the record, byte 1 to byte 4.
    BOOL PwrCtrlGetProductionDate(BYTE* record); // WM_PWRCTRL_PRODUCTION_DATE_SIZE bytes
    BOOL PwrCtrlGetPosition(DWORD* position);
    BOOL PwrCtrlGetShutdownReason(BYTE* reason); // WM_PWRCTRL_SHUTDOWN_REASON_SIZE bytes
    BOOL PwrCtrlCountTests(DWORD* count);
    BOOL PwrCtrlGetTestNumber(LPSTR number); // WM_PWRCTRL_TEST_NUMBER_SIZE bytes
    BOOL PwrCtrlGetTestNumberExA(LPSTR buffer, DWORD size);
    BOOL PwrCtrlGetTestNumberExW(LPWSTR buffer, DWORD size);

    // --- S-UPS (0x5000) ------------------------------------------------------------
    BOOL SUpsEnable(BYTE enable);
    // A byte from 0xC0 to 0xDF is a state (high nibble) with a value (low nibble times 10).
    BOOL SUpsGetState(DWORD* state, DWORD* value /* optional */);
    BOOL SUpsGetRevision(BYTE* revision); // WM_REVISION_SIZE bytes
    BOOL SUpsCountPowerFails(DWORD* count);
    BOOL SUpsGetPowerFailTimes(DWORD* times); // 4 values: the three times sorted, then 0
    BOOL SUpsSetShutdownType(BYTE type);
    BOOL SUpsGetShutdownType(DWORD* type);
    BOOL SUpsGetActiveCount(DWORD* count);
    BOOL SUpsGetPowerFailStatus(DWORD* status);
    BOOL SUpsTestCapacity();
    BOOL SUpsGetTestResult(DWORD* result);
    BOOL SUpsGetGpioInfo(BYTE* info); // WM_GPIO_INFO_SIZE bytes

    // --- Watchdog (0x6000) ---------------------------------------------------------
    BOOL WDTrigger(BYTE value);
    BOOL WDSwitchTimeBase(BYTE timeBase);
    BOOL WDGetConfig(DWORD* config);
    BOOL WDSetConfig(BYTE config);
    BOOL WDActivatePwrCtrl(BYTE activate);
    BOOL WDTriggerWTimeSpan(BYTE first, BYTE second);
    BOOL WDRetriggerIo();
    BOOL WDGetGpioInfo(BYTE* info); // WM_GPIO_INFO_SIZE bytes

    // --- User EEPROM (0x7000) ------------------------------------------------------
    BOOL UEEPROMRead(BYTE* buffer, DWORD length);      // at least WM_UEEPROM_SIZE bytes
    BOOL UEEPROMWrite(const BYTE* data, DWORD length); // 1 to WM_UEEPROM_SIZE bytes
    BOOL UEEPROMReadByte(BYTE address, BYTE* value);
    BOOL UEEPROMWriteByte(BYTE address, BYTE value);

    // --- LEDs (0x8000) ---------------------------------------------------------------
    BOOL SetQbLedColor(BYTE color);
    BOOL SetUserLedColor(BYTE color);

    // --- Power-supply unit (0x9000) ----------------------------------------------------
    BOOL ZrPwrSuppGetType(DWORD* type);
    BOOL ZrPwrSuppGetSerialNumber(DWORD* serial);
    BOOL ZrPwrSuppGetFirmwareVer(BYTE* version); // WM_REVISION_SIZE bytes
    BOOL ZrPwrSuppGetBootCounter(DWORD* counter);
    BOOL ZrPwrSuppGetOperationTime(DWORD* time);
    BOOL ZrPwrSuppGet5Volt(DWORD* value);
    BOOL ZrPwrSuppGetMax5Volt(DWORD* value);
    BOOL ZrPwrSuppGet12Volt(DWORD* value);
    BOOL ZrPwrSuppGetMax12Volt(DWORD* value);
    BOOL ZrPwrSuppGet24Volt(DWORD* value);
    BOOL ZrPwrSuppGetMax24Volt(DWORD* value);
    BOOL ZrPwrSuppGetTemp(LONG* value);
    BOOL ZrPwrSuppGetMinTemp(LONG* value);
    BOOL ZrPwrSuppGetMaxTemp(LONG* value);
    BOOL ZrPwrSuppGetCurrent(DWORD* value);
    BOOL ZrPwrSuppGetMaxCurrent(DWORD* value);
    BOOL ZrPwrSuppGetPower(DWORD* value);
    BOOL ZrPwrSuppGetMaxPower(DWORD* value);
    BOOL ZrPwrSuppEnableBacklight(BYTE enable);
    // WM_DISPLAY_LINE_LENGTH characters; a longer text is cut, a shorter one padded with zeros.
    BOOL ZrPwrSuppDisplayLine1(LPCSTR text);
    BOOL ZrPwrSuppDisplayLine2(LPCSTR text);
    BOOL ZrPwrSuppDisplayLine1ExA(LPCSTR text);
    BOOL ZrPwrSuppDisplayLine2ExA(LPCSTR text);
    BOOL ZrPwrSuppDisplayLine1ExW(LPCWSTR text);
    BOOL ZrPwrSuppDisplayLine2ExW(LPCWSTR text);
    BOOL ZrPwrSuppGetButtonState(DWORD* state);

    // --- UPS (0x9001) ------------------------------------------------------------------
    BOOL ZrUpsGetEnabled(DWORD* enabled);
    BOOL ZrUpsSetEnabled(BYTE enabled);
    BOOL ZrUpsGetFirmwareVer(BYTE* version); // WM_REVISION_SIZE bytes
    BOOL ZrUpsGetPowerStatus(DWORD* status);
    BOOL ZrUpsGetBatteryStatus(DWORD* status);
    BOOL ZrUpsGetBatteryCapacity(DWORD* capacity);
    BOOL ZrUpsGetBatteryRuntime(DWORD* runtime);
    BOOL ZrUpsGetBootCounter(DWORD* counter);
    BOOL ZrUpsGetOperationTime(DWORD* time);
    BOOL ZrUpsGetPowerFailCounter(DWORD* counter);
    BOOL ZrUpsGetBatteryCritical(DWORD* critical);
    BOOL ZrUpsGetBatteryPresent(DWORD* present);
    BOOL ZrUpsSetShutdownMode(BYTE mode);
    BOOL ZrUpsGetOutputVolt(DWORD* value);
    BOOL ZrUpsGetMaxOutputVolt(DWORD* value);
    BOOL ZrUpsGetInputVolt(DWORD* value);
    BOOL ZrUpsGetMaxInputVolt(DWORD* value);
    BOOL ZrUpsGetTemp(LONG* value);
    BOOL ZrUpsGetMinTemp(LONG* value);
    BOOL ZrUpsGetMaxTemp(LONG* value);
    BOOL ZrUpsGetChargingCurrent(DWORD* value);
    BOOL ZrUpsGetMaxChargingCurrent(DWORD* value);
    BOOL ZrUpsGetChargingPower(DWORD* value);
    BOOL ZrUpsGetMaxChargingPower(DWORD* value);
    BOOL ZrUpsGetDischargingCurrent(DWORD* value);
    BOOL ZrUpsGetMaxDischargingCurrent(DWORD* value);
    BOOL ZrUpsGetDischargingPower(DWORD* value);
    BOOL ZrUpsGetMaxDischargingPower(DWORD* value);
    // The stored date: day (5 bits), month (4 bits), year (12 bits), and the raw 32-bit value.
    BOOL ZrUpsGetLastBattChangeDate(DWORD* day, DWORD* month, DWORD* year, DWORD* raw /* optional */);
    // Writes only when the date or the kept byte changes; a field that does not fit is 87.
    BOOL ZrUpsSetLastBattChangeDate(DWORD day, DWORD month, DWORD year, const BYTE* kept /* optional */);
    BOOL ZrUpsGetSMBusAddr(BYTE* segment, BYTE* address);
    BOOL ZrUpsGetRestartMode(DWORD* mode); // not supported: 50
    BOOL ZrUpsSetRestartMode(DWORD mode);  // not supported: 50

    // --- SMBus and boot loader (0xF000) ------------------------------------------------
    BOOL SMBusRead(BYTE segment, BYTE address, BYTE kind, BYTE command, DWORD length, BYTE* buffer,
                   DWORD* count);
    BOOL SMBusWrite(BYTE segment, BYTE address, BYTE kind, BYTE command, DWORD length, const BYTE* data);
    // 1 to WM_SMBUS_NAME_LENGTH characters; an empty or longer name is 24.
    BOOL SMBusGetAddrByName(LPCSTR name, BYTE* segment, BYTE* address);
    BOOL SMBusGetAddrByNameExA(LPCSTR name, BYTE* segment, BYTE* address);
    BOOL SMBusGetAddrByNameExW(LPCWSTR name, BYTE* segment, BYTE* address);
    BOOL BootLoaderGetMode(BYTE segment, BYTE address, BYTE* mode);
    BOOL BootLoaderSetMode(BYTE segment, BYTE address, BYTE mode);
    BOOL BootLoaderGetVersion(BYTE segment, BYTE address, BYTE* version); // major, minor, build
    BOOL BootLoaderGetName(BYTE segment, BYTE address, LPSTR buffer, DWORD size);
    BOOL BootLoaderGetNameExA(BYTE segment, BYTE address, LPSTR buffer, DWORD size);
    BOOL BootLoaderGetNameExW(BYTE segment, BYTE address, LPWSTR buffer, DWORD size);
    BOOL BootLoaderReadWrite(BYTE segment, BYTE address, const BYTE* request, DWORD requestLength,
                             BYTE* response, DWORD responseLength, DWORD* count);
    // Updates the boot loader's device from an Intel hex file. `requiredVersion`
    // (major, minor, build) and `requiredName`, when given, are checked against
    // the boot loader before the file is read.
    BOOL BootLoaderFwUpdateA(DWORD options, BYTE segment, BYTE address, LPCSTR fileName,
                             WM_FWUPDATE_CALLBACK callback, PVOID context, const BYTE* requiredVersion,
                             LPCSTR requiredName);
    BOOL BootLoaderFwUpdateW(DWORD options, BYTE segment, BYTE address, LPCWSTR fileName,
                             WM_FWUPDATE_CALLBACK callback, PVOID context, const BYTE* requiredVersion,
                             LPCWSTR requiredName);
}

// The wide forms once more, under their C++ names.
BOOL ZrPwrSuppDisplayLine1ExT(LPCWSTR text);
BOOL ZrPwrSuppDisplayLine2ExT(LPCWSTR text);
BOOL SMBusGetAddrByNameExT(LPCWSTR name, BYTE* segment, BYTE* address);
BOOL BootLoaderGetNameExT(BYTE segment, BYTE address, LPWSTR buffer, DWORD size);
