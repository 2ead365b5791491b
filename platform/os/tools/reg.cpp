// reg: reads and writes values of the device's registry from a shell.
//   reg get <key> <name>                   prints the value; exit 1 when it is missing
//   reg set <key> <name> sz|dword <data>   writes it, creating the key
// Keys start with their root: HKLM\..., HKCR\..., HKCU\..., HKU\... (or the long names).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
int usage()
{
    std::fprintf(stderr, "usage: reg get <key> <name>\n       reg set <key> <name> sz|dword <data>\n");
    return 2;
}

// The root and the path below it; false for an unknown root.
bool splitKey(const std::string& text, HKEY& root, std::u16string& path)
{
    const size_t slash = text.find('\\');
    root = os::rootKeyNamed(os::toUtf16(text.substr(0, slash)));
    path = os::toUtf16(slash == std::string::npos ? std::string() : text.substr(slash + 1));
    return root != nullptr;
}

int get(HKEY root, const std::u16string& path, const std::u16string& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::string data(size + sizeof(WCHAR), '\0');
    if (result == ERROR_SUCCESS)
        result =
            RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return 1;
    if (type == REG_DWORD && size == sizeof(DWORD))
    {
        DWORD number = 0;
        std::memcpy(&number, data.data(), sizeof number);
        std::printf("%u\n", static_cast<unsigned>(number));
    }
    else if (type == REG_SZ || type == REG_EXPAND_SZ)
    {
        std::printf("%s\n", os::toUtf8(reinterpret_cast<const WCHAR*>(data.data())).c_str());
    }
    else
    {
        for (DWORD i = 0; i < size; ++i)
            std::printf("%02x", static_cast<unsigned char>(data[i]));
        std::printf("\n");
    }
    return 0;
}

int set(HKEY root, const std::u16string& path, const std::u16string& name, const std::string& type,
        const std::string& data)
{
    std::u16string text;
    DWORD number = 0;
    if (type == "dword")
    {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(data.c_str(), &end, 0);
        if (data.empty() || *end != '\0' || value > 0xFFFFFFFFull)
            return usage();
        number = static_cast<DWORD>(value);
    }
    else if (type == "sz")
        text = os::toUtf16(data);
    else
        return usage();
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS)
    {
        result = type == "dword" ? os::setRegistryDword(key, name.c_str(), number)
                                 : os::setRegistryString(key, name.c_str(), text);
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS)
    {
        std::fprintf(stderr, "reg: cannot write the value (error %ld)\n", static_cast<long>(result));
        return 1;
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    HKEY root = nullptr;
    std::u16string path;
    if (argc < 4 || !splitKey(argv[2], root, path))
        return usage();
    const std::u16string name = os::toUtf16(argv[3]);
    if (std::strcmp(argv[1], "get") == 0 && argc == 4)
        return get(root, path, name);
    if (std::strcmp(argv[1], "set") == 0 && argc == 6)
        return set(root, path, name, argv[4], argv[5]);
    return usage();
}
