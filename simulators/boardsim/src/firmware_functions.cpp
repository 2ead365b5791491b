#include "firmware_functions.h"

namespace boardsim
{

namespace
{

using Installer = void (*)(Firmware&, const BoardDescription&);

constexpr Installer kInstallers[] = {
    installCoreFunctions,
    installFamilyFunctions,
    installTestFunctions,
};

} // namespace

void installFunctions(Firmware& firmware, const BoardDescription& description)
{
    for (Installer install : kInstallers)
        install(firmware, description);
}

} // namespace boardsim
