// The Orx net id dialog: the six bytes of the run-time system's "OrxNetId", each 0 to 255.
#pragma once

#include "registry_values.h"

#include <ui/dialog.h>

#include <array>

namespace setupdesk
{
enum : int
{
    IDC_NET_ID_1 = 1110,
    IDC_NET_ID_2 = 1111,
    IDC_NET_ID_3 = 1112,
    IDC_NET_ID_4 = 1114,
    IDC_NET_ID_5 = 1115,
    IDC_NET_ID_6 = 1116,
};

class COrxNetIdDlg final : public ui::Dialog
{
public:
    COrxNetIdDlg();
    void onInit() override;
    void onOk() override;
    void doDataExchange(ui::DataExchange& exchange) override;

private:
    RegKey m_key;
    std::array<int, 6> m_bytes{};
};
} // namespace setupdesk
