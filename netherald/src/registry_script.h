// The class's registry script, as the registration writes it (os/regscript.h).
#pragma once

namespace netherald
{
extern const char16_t kRegistryScript[];
} // namespace netherald
