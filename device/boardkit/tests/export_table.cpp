#include "export_table.h"

namespace boardkit::testing
{

namespace
{

constexpr DWORD kDriver = 0x10000000;
constexpr bool D = true;  // driver level
constexpr bool F = false; // firmware

// Buffers large enough for every call of the table.
BYTE g_bytes[256];
char g_text[64];
WCHAR g_wide[64];
DWORD g_value;
LONG g_signed;
ULONGLONG g_quad;
WM_MEMORY_MAPPING g_mapping;
WM_SENSOR_INFO g_sensor;
WM_VERSION_INFO g_versions;
BYTE g_segment;
BYTE g_address;

std::vector<BYTE> words(std::initializer_list<DWORD> values)
{
    std::vector<BYTE> bytes;
    for (DWORD v : values)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<BYTE>(v >> shift));
    return bytes;
}

std::vector<BYTE> smbus(BYTE kind, BYTE command, DWORD length, std::vector<BYTE> data = {})
{
    std::vector<BYTE> head = {0, 0x50, kind, command};
    for (int shift = 0; shift < 32; shift += 8)
        head.push_back(static_cast<BYTE>(length >> shift));
    head.insert(head.end(), data.begin(), data.end());
    return head;
}

BOOL countTwo(const WM_SENSOR_INFO*, PVOID)
{
    return TRUE;
}

// Readers into a 32-bit value, of one group: (symbol, offset, width).
struct Reader
{
    const char* symbol;
    BOOL (*read)(DWORD*);
    DWORD offset;
    DWORD width;
};

void addReaders(std::vector<ExportRow>& rows, DWORD group, std::initializer_list<Reader> readers,
                bool level = F)
{
    for (const Reader& r : readers)
        rows.push_back(
            {r.symbol, {{group, r.offset, 0, r.width, level}}, [read = r.read] { return read(&g_value); }});
}

struct SignedReader
{
    const char* symbol;
    BOOL (*read)(LONG*);
    DWORD offset;
};

void addSignedReaders(std::vector<ExportRow>& rows, DWORD group, std::initializer_list<SignedReader> readers)
{
    for (const SignedReader& r : readers)
        rows.push_back({r.symbol, {{group, r.offset, 0, 1, F}}, [read = r.read] { return read(&g_signed); }});
}

struct Writer
{
    const char* symbol;
    BOOL (*write)(BYTE);
    DWORD offset;
};

void addWriters(std::vector<ExportRow>& rows, DWORD group, std::initializer_list<Writer> writers)
{
    for (const Writer& w : writers)
        rows.push_back(
            {w.symbol, {{group, w.offset, 1, 0, F, {0x3C}}}, [write = w.write] { return write(0x3C); }});
}

struct BufferReader
{
    const char* symbol;
    BOOL (*read)(BYTE*);
    DWORD offset;
    DWORD size;
};

void addBuffers(std::vector<ExportRow>& rows, DWORD group, std::initializer_list<BufferReader> readers)
{
    for (const BufferReader& r : readers)
        rows.push_back(
            {r.symbol, {{group, r.offset, 0, r.size, F}}, [read = r.read] { return read(g_bytes); }});
}

// A text function in its base, ExA and ExW forms.
void addTextForms(std::vector<ExportRow>& rows, const std::string& base, DWORD group, DWORD offset,
                  DWORD size, bool level, BOOL (*plain)(LPSTR), BOOL (*exA)(LPSTR, DWORD),
                  BOOL (*exW)(LPWSTR, DWORD))
{
    const ExpectedCall call{group, offset, 0, size, level};
    rows.push_back({base, {call}, [plain] { return plain(g_text); }});
    // The stand-in's answer fills the whole record: room for it and the terminator.
    rows.push_back({base + "ExA", {call}, [exA] { return exA(g_text, sizeof g_text); }});
    rows.push_back({base + "ExW", {call}, [exW] { return exW(g_wide, 64); }});
}

std::vector<ExportRow> buildTable()
{
    std::vector<ExportRow> rows;

    // Versions: QbWmDevApi's version calls only.
    rows.push_back({"WmGenGetVersion", {}, [] { return WmGenGetVersion(&g_versions); }});
    rows.push_back({"WmGetApiVersionEx", {}, [] { return WmGetApiVersionEx(&g_value); }});
    rows.push_back({"WmGetDrvVersionEx", {}, [] { return WmGetDrvVersionEx(&g_value); }});
    rows.push_back({"WmGetDllVersionEx", {}, [] { return WmGetDllVersionEx(&g_value); }});
    rows.push_back({"WmGetFunVersionEx", {}, [] { return WmGetFunVersionEx(&g_value); }});

    // Mainboard, index group 0.
    rows.push_back(
        {"WmGenGetMainboardType", {{0, 1, 0, 16, F}}, [] { return WmGenGetMainboardType(g_text); }});
    rows.push_back({"WmGenGetMainboardTypeExA", {{0, 1, 0, 16, F}}, [] {
                        return WmGenGetMainboardTypeExA(g_text, sizeof g_text);
                    }});
    rows.push_back({"WmGenGetMainboardTypeExW", {{0, 1, 0, 16, F}}, [] {
                        return WmGenGetMainboardTypeExW(g_wide, 64);
                    }});
    addBuffers(rows, 0, {{"WmGenGetMainboardInfo", WmGenGetMainboardInfo, 2, 12}});
    addReaders(rows, 0, {{"WmGenGetPlatformInfo", WmGenGetPlatformInfo, 3, 1}});

    // Processor: served by the driver.
    addReaders(rows, kDriver,
               {{"GetProcSignature", GetProcSignature, 2, 4},
                {"GetTjmax", GetTjmax, 3, 4},
                {"GetCpuTjmax", GetCpuTjmax, 3, 4},
                {"GetActiveProcCount", GetActiveProcCount, 5, 4},
                {"GetProcBrandID", GetProcBrandID, 6, 4}},
               D);
    rows.push_back({"GetActiveProcMask", {{kDriver, 4, 0, 8, D}}, [] { return GetActiveProcMask(&g_quad); }});
    addTextForms(rows, "GetProcBrandString", kDriver, 7, 48, D, GetProcBrandString, GetProcBrandStringExA,
                 GetProcBrandStringExW);
    rows.push_back({"HalOsReadMsr", {{kDriver, 9, 4, 8, D, words({0x1A2})}}, [] {
                        return HalOsReadMsr(0x1A2, &g_quad);
                    }});
    rows.push_back({"HalOsWriteMsr",
                    {{kDriver, 15, 16, 0, D, words({0x1A2, 0x55667788, 0x11223344, 0})}},
                    [] { return HalOsWriteMsr(0x1A2, 0x1122334455667788ull); }});
    rows.push_back({"HalOsGetBusDataByOffset",
                    {{kDriver, 11, 28, 16, D, words({4, 0, 31, 3, 8, 16, 0})}},
                    [] { return HalOsGetBusDataByOffset(4, 0, 31, 3, 8, g_bytes, 16, &g_value); }});
    rows.push_back({"HalOsMapPhysMemoryEx",
                    {{kDriver, 66, 16, 16, D, words({0xFFE00000, 0, 0x1000, 0})}},
                    [] { return HalOsMapPhysMemoryEx(0xFFE00000, 0, 0x1000, &g_mapping); }});
    rows.push_back({"HalOsUnMapPhysMemoryEx",
                    {{kDriver, 67, 16, 16, D, words({0x8000, 0x7F, 0x1000, 0})}},
                    [] { return HalOsUnMapPhysMemoryEx(0x8000, 0x7F, 0x1000); }});
    rows.push_back({"HalOsReadPhysMemoryEx", {{kDriver, 68, 16, 8, D, words({0x8000, 0x7F, 0x1000, 0})}}, [] {
                        return HalOsReadPhysMemoryEx(0x8000, 0x7F, 0x1000, g_bytes, 8);
                    }});
    rows.push_back(
        {"HalOsWritePhysMemoryEx",
         {{kDriver, 69, 20, 0, D, {0x00, 0x80, 0, 0, 0x7F, 0, 0, 0, 0, 0x10, 0, 0, 4, 0, 0, 0, 9, 8, 7, 6}}},
         []
         {
             const BYTE data[4] = {9, 8, 7, 6};
             return HalOsWritePhysMemoryEx(0x8000, 0x7F, 0x1000, data, 4);
         }});
    rows.push_back({"HalReadPortUChar", {{kDriver, 80, 8, 1, D, words({0x61, 0})}}, [] {
                        return HalReadPortUChar(0x61, g_bytes);
                    }});
    rows.push_back({"HalReadPortUShort", {{kDriver, 81, 8, 2, D, words({0x3F8, 0})}}, [] {
                        return HalReadPortUShort(0x3F8, reinterpret_cast<WORD*>(g_bytes));
                    }});
    rows.push_back({"HalReadPortULong", {{kDriver, 82, 8, 4, D, words({0xCF8, 0})}}, [] {
                        return HalReadPortULong(0xCF8, &g_value);
                    }});
    rows.push_back({"HalWritePortUChar", {{kDriver, 83, 16, 0, D, words({0x80, 0, 0xAA, 0})}}, [] {
                        return HalWritePortUChar(0x80, 0xAA);
                    }});
    rows.push_back({"HalWritePortUShort", {{kDriver, 84, 16, 0, D, words({0x3F8, 0, 0x1234, 0})}}, [] {
                        return HalWritePortUShort(0x3F8, 0x1234);
                    }});
    rows.push_back({"HalWritePortULong", {{kDriver, 85, 16, 0, D, words({0xCF8, 0, 0x80000000, 0})}}, [] {
                        return HalWritePortULong(0xCF8, 0x80000000);
                    }});

    // Sensors.
    addReaders(rows, 0x2000, {{"WmSysCountSensors", WmSysCountSensors, 0, 4}});
    rows.push_back({"WmSysGetSensorInfo", {{0x2000, 3, 0, 56, F}}, [] {
                        return WmSysGetSensorInfo(3, &g_sensor, 0, 0);
                    }});
    rows.push_back({"WmSysEnumSensors",
                    {{0x2000, 0, 0, 4, F}, {0x2000, 1, 0, 56, F}, {0x2000, 2, 0, 56, F}},
                    [] { return WmSysEnumSensors(countTwo, nullptr, 0, 0); },
                    0,
                    {{0x2000, 0, words({2})}}});

    // GPIO.
    addReaders(rows, 0x3000,
               {{"GpioReadIn0", GpioReadIn0, 0, 1},
                {"GpioReadIn1", GpioReadIn1, 1, 1},
                {"GpioReadOut0", GpioReadOut0, 2, 1},
                {"GpioReadOut1", GpioReadOut1, 3, 1},
                {"GpioReadMask0", GpioReadMask0, 4, 1},
                {"GpioReadMask1", GpioReadMask1, 5, 1}});
    addWriters(rows, 0x3000,
               {{"GpioWriteOut0", GpioWriteOut0, 6},
                {"GpioWriteOut1", GpioWriteOut1, 7},
                {"GpioWriteMask0", GpioWriteMask0, 8},
                {"GpioWriteMask1", GpioWriteMask1, 9}});

    // Power controller.
    addBuffers(rows, 0x4000,
               {{"PwrCtrlGetBootLdrRev", PwrCtrlGetBootLdrRev, 0, 3},
                {"PwrCtrlGetFirmwareRev", PwrCtrlGetFirmwareRev, 1, 3},
                {"PwrCtrlGetShutdownReason", PwrCtrlGetShutdownReason, 10, 4},
                {"PwrCtrlGetProductionDate", PwrCtrlGetProductionDate, 8, 2}});
    addReaders(rows, 0x4000,
               {{"PwrCtrlGetDeviceID", PwrCtrlGetDeviceID, 2, 1},
                {"PwrCtrlGetOperationTime", PwrCtrlGetOperationTime, 3, 4},
                {"PwrCtrlGetBootCounter", PwrCtrlGetBootCounter, 7, 2},
                {"PwrCtrlGetPosition", PwrCtrlGetPosition, 9, 1},
                {"PwrCtrlCountTests", PwrCtrlCountTests, 11, 1}});
    rows.push_back({"PwrCtrlGetMinMaxTemp", {{0x4000, 4, 0, 2, F}}, [] {
                        return PwrCtrlGetMinMaxTemp(&g_signed, &g_signed);
                    }});
    rows.push_back({"PwrCtrlGetMinMaxVolt", {{0x4000, 5, 0, 2, F}}, [] {
                        return PwrCtrlGetMinMaxVolt(&g_signed, &g_signed);
                    }});
    addTextForms(rows, "PwrCtrlGetSerialNumber", 0x4000, 6, 17, F, PwrCtrlGetSerialNumber,
                 PwrCtrlGetSerialNumberExA, PwrCtrlGetSerialNumberExW);
    addTextForms(rows, "PwrCtrlGetTestNumber", 0x4000, 12, 7, F, PwrCtrlGetTestNumber,
                 PwrCtrlGetTestNumberExA, PwrCtrlGetTestNumberExW);

    // S-UPS.
    addWriters(rows, 0x5000,
               {{"SUpsEnable", SUpsEnable, 0}, {"SUpsSetShutdownType", SUpsSetShutdownType, 5}});
    addReaders(rows, 0x5000,
               {{"SUpsCountPowerFails", SUpsCountPowerFails, 3, 2},
                {"SUpsGetShutdownType", SUpsGetShutdownType, 6, 1},
                {"SUpsGetActiveCount", SUpsGetActiveCount, 7, 1},
                {"SUpsGetPowerFailStatus", SUpsGetPowerFailStatus, 8, 1},
                {"SUpsGetTestResult", SUpsGetTestResult, 10, 1}});
    addBuffers(rows, 0x5000,
               {{"SUpsGetRevision", SUpsGetRevision, 2, 2}, {"SUpsGetGpioInfo", SUpsGetGpioInfo, 160, 8}});
    rows.push_back({"SUpsGetState", {{0x5000, 1, 0, 1, F}}, [] { return SUpsGetState(&g_value, nullptr); }});
    rows.push_back({"SUpsGetPowerFailTimes", {{0x5000, 4, 0, 12, F}}, [] {
                        return SUpsGetPowerFailTimes(reinterpret_cast<DWORD*>(g_bytes));
                    }});
    rows.push_back({"SUpsTestCapacity", {{0x5000, 9, 0, 0, F}}, [] { return SUpsTestCapacity(); }});

    // Watchdog.
    addWriters(rows, 0x6000,
               {{"WDTrigger", WDTrigger, 0},
                {"WDSwitchTimeBase", WDSwitchTimeBase, 1},
                {"WDSetConfig", WDSetConfig, 3},
                {"WDActivatePwrCtrl", WDActivatePwrCtrl, 4}});
    addReaders(rows, 0x6000, {{"WDGetConfig", WDGetConfig, 2, 1}});
    rows.push_back({"WDTriggerWTimeSpan", {{0x6000, 5, 2, 0, F, {0x02, 0x01}}}, [] {
                        return WDTriggerWTimeSpan(1, 2);
                    }});
    rows.push_back({"WDRetriggerIo", {{0x6000, 6, 0, 0, F}}, [] { return WDRetriggerIo(); }});
    addBuffers(rows, 0x6000, {{"WDGetGpioInfo", WDGetGpioInfo, 7, 8}});

    // User EEPROM.
    rows.push_back({"UEEPROMRead", {{0x7000, 0, 0, 128, F}}, [] { return UEEPROMRead(g_bytes, 128); }});
    rows.push_back({"UEEPROMWrite", {{0x7000, 1, 10, 0, F}}, [] { return UEEPROMWrite(g_bytes, 10); }});
    rows.push_back(
        {"UEEPROMReadByte", {{0x7000, 2, 1, 1, F, {5}}}, [] { return UEEPROMReadByte(5, g_bytes); }});
    rows.push_back(
        {"UEEPROMWriteByte", {{0x7000, 3, 2, 0, F, {5, 9}}}, [] { return UEEPROMWriteByte(5, 9); }});

    // LEDs.
    addWriters(rows, 0x8000, {{"SetQbLedColor", SetQbLedColor, 0}, {"SetUserLedColor", SetUserLedColor, 1}});

    // Power-supply unit.
    addReaders(rows, 0x9000,
               {{"ZrPwrSuppGetType", ZrPwrSuppGetType, 16, 4},
                {"ZrPwrSuppGetSerialNumber", ZrPwrSuppGetSerialNumber, 17, 4},
                {"ZrPwrSuppGetBootCounter", ZrPwrSuppGetBootCounter, 19, 4},
                {"ZrPwrSuppGetOperationTime", ZrPwrSuppGetOperationTime, 20, 4},
                {"ZrPwrSuppGet5Volt", ZrPwrSuppGet5Volt, 48, 2},
                {"ZrPwrSuppGetMax5Volt", ZrPwrSuppGetMax5Volt, 49, 2},
                {"ZrPwrSuppGet12Volt", ZrPwrSuppGet12Volt, 50, 2},
                {"ZrPwrSuppGetMax12Volt", ZrPwrSuppGetMax12Volt, 51, 2},
                {"ZrPwrSuppGet24Volt", ZrPwrSuppGet24Volt, 52, 2},
                {"ZrPwrSuppGetMax24Volt", ZrPwrSuppGetMax24Volt, 53, 2},
                {"ZrPwrSuppGetCurrent", ZrPwrSuppGetCurrent, 57, 2},
                {"ZrPwrSuppGetMaxCurrent", ZrPwrSuppGetMaxCurrent, 58, 2},
                {"ZrPwrSuppGetPower", ZrPwrSuppGetPower, 59, 4},
                {"ZrPwrSuppGetMaxPower", ZrPwrSuppGetMaxPower, 60, 4},
                {"ZrPwrSuppGetButtonState", ZrPwrSuppGetButtonState, 99, 1}});
    addSignedReaders(rows, 0x9000,
                     {{"ZrPwrSuppGetTemp", ZrPwrSuppGetTemp, 54},
                      {"ZrPwrSuppGetMinTemp", ZrPwrSuppGetMinTemp, 55},
                      {"ZrPwrSuppGetMaxTemp", ZrPwrSuppGetMaxTemp, 56}});
    addBuffers(rows, 0x9000, {{"ZrPwrSuppGetFirmwareVer", ZrPwrSuppGetFirmwareVer, 18, 2}});
    addWriters(rows, 0x9000, {{"ZrPwrSuppEnableBacklight", ZrPwrSuppEnableBacklight, 96}});
    const std::vector<BYTE> line = {'L', 'i', 'n', 'e'};
    rows.push_back({"ZrPwrSuppDisplayLine1", {{0x9000, 97, 17, 0, F, line}}, [] {
                        return ZrPwrSuppDisplayLine1("Line");
                    }});
    rows.push_back({"ZrPwrSuppDisplayLine2", {{0x9000, 98, 17, 0, F, line}}, [] {
                        return ZrPwrSuppDisplayLine2("Line");
                    }});
    rows.push_back({"ZrPwrSuppDisplayLine1ExA", {{0x9000, 97, 17, 0, F, line}}, [] {
                        return ZrPwrSuppDisplayLine1ExA("Line");
                    }});
    rows.push_back({"ZrPwrSuppDisplayLine2ExA", {{0x9000, 98, 17, 0, F, line}}, [] {
                        return ZrPwrSuppDisplayLine2ExA("Line");
                    }});
    rows.push_back({"ZrPwrSuppDisplayLine1ExW", {{0x9000, 97, 17, 0, F, line}}, [] {
                        return ZrPwrSuppDisplayLine1ExW(u"Line");
                    }});
    rows.push_back({"ZrPwrSuppDisplayLine2ExW", {{0x9000, 98, 17, 0, F, line}}, [] {
                        return ZrPwrSuppDisplayLine2ExW(u"Line");
                    }});
    rows.push_back({"_Z24ZrPwrSuppDisplayLine1ExTPKDs", {{0x9000, 97, 17, 0, F, line}}, [] {
                        return ZrPwrSuppDisplayLine1ExT(u"Line");
                    }});
    rows.push_back({"_Z24ZrPwrSuppDisplayLine2ExTPKDs", {{0x9000, 98, 17, 0, F, line}}, [] {
                        return ZrPwrSuppDisplayLine2ExT(u"Line");
                    }});

    // UPS.
    addReaders(rows, 0x9001,
               {{"ZrUpsGetEnabled", ZrUpsGetEnabled, 0, 1},
                {"ZrUpsGetPowerStatus", ZrUpsGetPowerStatus, 3, 1},
                {"ZrUpsGetBatteryStatus", ZrUpsGetBatteryStatus, 4, 1},
                {"ZrUpsGetBatteryCapacity", ZrUpsGetBatteryCapacity, 5, 1},
                {"ZrUpsGetBatteryRuntime", ZrUpsGetBatteryRuntime, 6, 4},
                {"ZrUpsGetBootCounter", ZrUpsGetBootCounter, 7, 4},
                {"ZrUpsGetOperationTime", ZrUpsGetOperationTime, 8, 4},
                {"ZrUpsGetPowerFailCounter", ZrUpsGetPowerFailCounter, 9, 4},
                {"ZrUpsGetBatteryCritical", ZrUpsGetBatteryCritical, 10, 1},
                {"ZrUpsGetBatteryPresent", ZrUpsGetBatteryPresent, 11, 1},
                {"ZrUpsGetOutputVolt", ZrUpsGetOutputVolt, 50, 2},
                {"ZrUpsGetMaxOutputVolt", ZrUpsGetMaxOutputVolt, 51, 2},
                {"ZrUpsGetInputVolt", ZrUpsGetInputVolt, 52, 2},
                {"ZrUpsGetMaxInputVolt", ZrUpsGetMaxInputVolt, 53, 2},
                {"ZrUpsGetChargingCurrent", ZrUpsGetChargingCurrent, 57, 2},
                {"ZrUpsGetMaxChargingCurrent", ZrUpsGetMaxChargingCurrent, 58, 2},
                {"ZrUpsGetChargingPower", ZrUpsGetChargingPower, 59, 4},
                {"ZrUpsGetMaxChargingPower", ZrUpsGetMaxChargingPower, 60, 4},
                {"ZrUpsGetDischargingCurrent", ZrUpsGetDischargingCurrent, 61, 2},
                {"ZrUpsGetMaxDischargingCurrent", ZrUpsGetMaxDischargingCurrent, 62, 2},
                {"ZrUpsGetDischargingPower", ZrUpsGetDischargingPower, 63, 4},
                {"ZrUpsGetMaxDischargingPower", ZrUpsGetMaxDischargingPower, 64, 4}});
    addSignedReaders(rows, 0x9001,
                     {{"ZrUpsGetTemp", ZrUpsGetTemp, 54},
                      {"ZrUpsGetMinTemp", ZrUpsGetMinTemp, 55},
                      {"ZrUpsGetMaxTemp", ZrUpsGetMaxTemp, 56}});
    addWriters(rows, 0x9001,
               {{"ZrUpsSetEnabled", ZrUpsSetEnabled, 1}, {"ZrUpsSetShutdownMode", ZrUpsSetShutdownMode, 14}});
    addBuffers(rows, 0x9001, {{"ZrUpsGetFirmwareVer", ZrUpsGetFirmwareVer, 2, 2}});
    rows.push_back({"ZrUpsGetLastBattChangeDate", {{0x9001, 151, 0, 4, F}}, [] {
                        return ZrUpsGetLastBattChangeDate(&g_value, &g_value, &g_value, nullptr);
                    }});
    rows.push_back({"ZrUpsSetLastBattChangeDate", {{0x9001, 151, 0, 4, F}, {0x9001, 152, 4, 0, F}}, [] {
                        return ZrUpsSetLastBattChangeDate(1, 2, 2020, nullptr);
                    }});
    rows.push_back({"ZrUpsGetSMBusAddr", {{0x9001, 240, 0, 2, F}}, [] {
                        return ZrUpsGetSMBusAddr(&g_segment, &g_address);
                    }});
    rows.push_back({"ZrUpsGetRestartMode", {}, [] { return ZrUpsGetRestartMode(&g_value); }, 50});
    rows.push_back({"ZrUpsSetRestartMode", {}, [] { return ZrUpsSetRestartMode(1); }, 50});

    // SMBus and the boot loader (segment 0, address 0x50).
    rows.push_back({"SMBusRead", {{0xF000, 0, 8, 4, F, smbus(3, 0x10, 4)}}, [] {
                        return SMBusRead(0, 0x50, 3, 0x10, 4, g_bytes, &g_value);
                    }});
    rows.push_back({"SMBusWrite",
                    {{0xF000, 1, 10, 0, F, smbus(0, 0x11, 2, {7, 8})}},
                    []
                    {
                        const BYTE data[2] = {7, 8};
                        return SMBusWrite(0, 0x50, 0, 0x11, 2, data);
                    }});
    const std::vector<BYTE> name = {'P', 'S', 'U', 0};
    rows.push_back({"SMBusGetAddrByName", {{0xF000, 2, 4, 2, F, name}}, [] {
                        return SMBusGetAddrByName("PSU", &g_segment, &g_address);
                    }});
    rows.push_back({"SMBusGetAddrByNameExA", {{0xF000, 2, 4, 2, F, name}}, [] {
                        return SMBusGetAddrByNameExA("PSU", &g_segment, &g_address);
                    }});
    rows.push_back({"SMBusGetAddrByNameExW", {{0xF000, 2, 4, 2, F, name}}, [] {
                        return SMBusGetAddrByNameExW(u"PSU", &g_segment, &g_address);
                    }});
    rows.push_back({"_Z21SMBusGetAddrByNameExTPKDsPhS1_", {{0xF000, 2, 4, 2, F, name}}, [] {
                        return SMBusGetAddrByNameExT(u"PSU", &g_segment, &g_address);
                    }});
    rows.push_back({"BootLoaderGetMode", {{0xF000, 0, 8, 1, F, smbus(0, 0xA0, 1)}}, [] {
                        return BootLoaderGetMode(0, 0x50, g_bytes);
                    }});
    rows.push_back({"BootLoaderSetMode", {{0xF000, 1, 9, 0, F, smbus(0, 0xA1, 1, {1})}}, [] {
                        return BootLoaderSetMode(0, 0x50, 1);
                    }});
    rows.push_back({"BootLoaderGetVersion", {{0xF000, 0, 8, 3, F, smbus(3, 0xA2, 3)}}, [] {
                        return BootLoaderGetVersion(0, 0x50, g_bytes);
                    }});
    const ExpectedCall getName{0xF000, 0, 8, 16, F, smbus(3, 0xA3, 16)};
    rows.push_back({"BootLoaderGetName", {getName}, [] { return BootLoaderGetName(0, 0x50, g_text, 16); }});
    rows.push_back(
        {"BootLoaderGetNameExA", {getName}, [] { return BootLoaderGetNameExA(0, 0x50, g_text, 16); }});
    rows.push_back(
        {"BootLoaderGetNameExW", {getName}, [] { return BootLoaderGetNameExW(0, 0x50, g_wide, 16); }});
    rows.push_back({"_Z20BootLoaderGetNameExThhPDsj", {getName}, [] {
                        return BootLoaderGetNameExT(0, 0x50, g_wide, 16);
                    }});
    rows.push_back({"BootLoaderReadWrite",
                    {{0xF000, 1, 13, 0, F, smbus(3, 0xA5, 5, {0, 0, 0, 1, 0xFF})},
                     {0xF000, 0, 8, 16, F, smbus(3, 0xA6, 16)}},
                    []
                    {
                        const BYTE end[5] = {0, 0, 0, 1, 0xFF};
                        return BootLoaderReadWrite(0, 0x50, end, 5, g_bytes, 16, &g_value);
                    }});
    // The update reads its file first; without one it makes no request.
    rows.push_back({"BootLoaderFwUpdateA",
                    {},
                    []
                    { return BootLoaderFwUpdateA(0, 0, 0x50, nullptr, nullptr, nullptr, nullptr, nullptr); },
                    87});
    rows.push_back({"BootLoaderFwUpdateW",
                    {},
                    []
                    { return BootLoaderFwUpdateW(0, 0, 0x50, nullptr, nullptr, nullptr, nullptr, nullptr); },
                    87});
    return rows;
}

} // namespace

const std::vector<ExportRow>& exportTable()
{
    static const std::vector<ExportRow> table = buildTable();
    return table;
}

} // namespace boardkit::testing
