// regsvr [-u] <library>: registers an in-process server (DllRegisterServer) or removes it
// (DllUnregisterServer -u). Exit 0 on success, 1 on failure, 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const bool removing = argc == 3 && std::strcmp(argv[1], "-u") == 0;
    if (argc != 2 + (removing ? 1 : 0) || argv[argc - 1][0] == '-')
    {
        std::fprintf(stderr, "usage: regsvr [-u] <library>\n");
        return 2;
    }
    const char* library = argv[argc - 1];
    const char* entry = removing ? "DllUnregisterServer" : "DllRegisterServer";

    HMODULE module = LoadLibraryA(library);
    if (!module)
    {
        std::fprintf(stderr, "regsvr: cannot load %s (error %u)\n", library,
                     static_cast<unsigned>(GetLastError()));
        return 1;
    }
    auto call = reinterpret_cast<LPFNREGISTERSERVER>(GetProcAddress(module, entry));
    if (!call)
    {
        std::fprintf(stderr, "regsvr: %s has no %s\n", library, entry);
        FreeLibrary(module);
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const HRESULT result = call();
    CoUninitialize();
    // The library stays loaded: threads it started may still be ending.
    if (FAILED(result))
    {
        std::fprintf(stderr, "regsvr: %s in %s failed: 0x%08X\n", entry, library,
                     static_cast<unsigned>(result));
        return 1;
    }
    std::printf("%s in %s succeeded.\n", entry, library);
    return 0;
}
