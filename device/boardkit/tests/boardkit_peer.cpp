// A second process for the device tests: writes or reads the user EEPROM
// through Boardkit and prints what it read as hex. Exit code 0 on success,
// else 1 with the last error on standard error.
//   boardkit_peer eeprom-write <hex bytes>
//   boardkit_peer eeprom-read
#include <boardkit.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "eeprom-write" && argc == 3)
    {
        std::vector<BYTE> data;
        for (size_t at = 0; argv[2][at] && argv[2][at + 1]; at += 2)
        {
            const char pair[3] = {argv[2][at], argv[2][at + 1], 0};
            data.push_back(static_cast<BYTE>(std::strtoul(pair, nullptr, 16)));
        }
        if (!UEEPROMWrite(data.data(), static_cast<DWORD>(data.size())))
        {
            std::fprintf(stderr, "UEEPROMWrite: %u\n", static_cast<unsigned>(GetLastError()));
            return 1;
        }
        return 0;
    }
    if (command == "eeprom-read" && argc == 2)
    {
        BYTE data[WM_UEEPROM_SIZE] = {};
        if (!UEEPROMRead(data, sizeof data))
        {
            std::fprintf(stderr, "UEEPROMRead: %u\n", static_cast<unsigned>(GetLastError()));
            return 1;
        }
        for (BYTE b : data)
            std::printf("%02X", b);
        std::printf("\n");
        return 0;
    }
    std::fprintf(stderr, "usage: %s eeprom-write <hex> | eeprom-read\n", argv[0]);
    return 2;
}
