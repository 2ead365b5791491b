// The Quberon run-time system as the whole program sees it: its major version, found by
// the General page and kept for every page, and its "System" key with the Orx net id.
#pragma once

#include <windows.h>

#include <array>
#include <optional>

namespace setupdesk
{
// 0 while unknown.
BYTE quberonMajorVersion();
void setQuberonMajorVersion(BYTE major);

constexpr const char16_t* kQuberonSystemKey = u"Software\\Corvanta\\Quberon\\System";
constexpr const char16_t* kQuberon3SystemKey = u"Software\\Corvanta\\Quberon3\\System";
// The system key of the version: "Quberon3" above version 2, else "Quberon".
const char16_t* systemKeyOfVersion();

using OrxNetId = std::array<BYTE, 6>;
// The 6-byte value "OrxNetId"; nothing when it cannot be read as 6 bytes.
std::optional<OrxNetId> readOrxNetId(HKEY systemKey);
} // namespace setupdesk
