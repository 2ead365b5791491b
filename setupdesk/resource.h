// Dialog and string ids of the configuration program.
#pragma once

#include <ui/text.h>

namespace setupdesk
{
// Dialogs.
enum : int
{
    IDD_SETUPDESK = 102,
    IDD_RAS = 103,
    IDD_DISPLAY = 131,
    IDD_MISC = 132,
    IDD_GENERAL = 133,
    IDD_FTP = 136,
    IDD_WARNING = 143,
    IDD_QUBERON = 144,
    IDD_FIREWALL = 146,
    IDD_RULE = 147,
    IDD_ICMP = 148,
    IDD_ORX_NET_ID = 158,
};

// The string table.
enum : int
{
    IDS_CAPTION = 1,
    IDS_NOT_RECOGNIZED = 2,
    IDS_WARN_AUDIO = 5,
    IDS_WARN_FIREWALL = 7,
    IDS_WARN_PERSISTENT = 8,
};

const ui::StringTable& strings();

// The program's own message from a page: enable (1) or disable (0) Apply.
constexpr unsigned kPageChangedMessage = 0x0400 + 1; // WM_USER + 1
} // namespace setupdesk
