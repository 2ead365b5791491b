// The firewall settings and the two files that keep them.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace zrconfig
{
using RuleRecord = std::array<uint8_t, 344>;

struct FirewallState
{
    bool enabled = false;
    bool persistent = false;
    std::vector<RuleRecord> rules;
};

// The text form: "enabled 0|1", "persistent 0|1" and one "rule <hex>" line per rule,
// with comments ("#"). Lines that cannot be read are skipped.
std::string formatState(const FirewallState& state);
FirewallState parseState(const std::string& text);

// The settings now: the volatile file when there is one, else the persistent file, else
// the defaults (off, not persistent, no rules).
FirewallState loadState();
// Writes the persistent file (and drops the volatile one) in persistent mode, else the
// volatile file; false when it could not be written.
bool storeState(const FirewallState& state);
// Removes the volatile file, as a restart of the device does.
void forgetVolatileState();
} // namespace zrconfig
