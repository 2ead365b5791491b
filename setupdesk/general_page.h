// The "General" page: a read-only overview of the device, the Quberon run-time system,
// the network adapters and the versions of selected files. Its initialisation finds the
// Quberon major version that every other page uses.
#pragma once

#include "setup_page.h"

#include <windows.h>

#include <string>
#include <vector>

namespace setupdesk
{
enum : int
{
    IDC_DEVICE_NAME = 1012,
    IDC_IMAGE_VERSION = 1013,
    IDC_IP_ADDRESS = 1014,
    IDC_DHCP = 1015,
    IDC_SETUPDESK_VERSION = 1016,
    IDC_QB_VERSION = 1017,
    IDC_ORX_NET_ID = 1018,
    IDC_QB_BUILD = 1019,
    IDC_CPU_FREQUENCY = 1020,
    IDC_IMAGE_VERSION_2 = 1021,
    IDC_MAC_ADDRESS = 1022,
    IDC_QUBERON_GROUP = 1023,
    IDC_QB_VERSION_LABEL = 1024,
    IDC_ORX_NET_ID_LABEL = 1025,
    IDC_QB_BUILD_LABEL = 1026,
    IDC_ADAPTER_GROUP = 1027,
    IDC_FILE_GROUP = 1028,
    IDC_COMPANY = 1029,
    IDC_FILE_VERSION = 1030,
    IDC_DATE_MODIFIED = 1031,
    IDC_ADAPTERS = 1060,
    IDC_FILES = 1061,
    IDC_EDIT_NET_ID = 1109,
};

class CGeneralPage final : public CSetupPage
{
public:
    // Vos requests wait at most vosTimeoutMs for an answer.
    explicit CGeneralPage(DWORD vosTimeoutMs = 100);

    void initPage() override;
    void onCommand(int id, ui::Command code) override;

private:
    struct Adapter
    {
        std::string name;
        bool dhcp = false;
        std::string address;
        std::string mac;
    };

    void showOrxNetId();
    void showQuberonVersion();
    void fillAdapters();
    void showAdapter(int index);
    void fillFiles();
    void showFile(int index);

    DWORD m_vosTimeoutMs;
    std::vector<Adapter> m_adapters;
    std::vector<std::string> m_files;
};
} // namespace setupdesk
