#include "general_page.h"

#include "cpu_frequency.h"
#include "file_info.h"
#include "image_version.h"
#include "orx_net_id_dlg.h"
#include "quberon_system.h"
#include "quberon_version.h"
#include "registry_values.h"
#include "resource.h"

#include <ui/host.h>
#include <ui/text.h>

namespace setupdesk
{
namespace
{
// Captions beside the values, and the first group, have ids of their own.
enum : int
{
    IDC_SYSTEM_GROUP = 1200,
    IDC_DEVICE_NAME_LABEL,
    IDC_IMAGE_VERSION_LABEL,
    IDC_IMAGE_VERSION_2_LABEL,
    IDC_SETUPDESK_VERSION_LABEL,
    IDC_CPU_FREQUENCY_LABEL,
    IDC_DHCP_LABEL,
    IDC_IP_ADDRESS_LABEL,
    IDC_MAC_ADDRESS_LABEL,
    IDC_COMPANY_LABEL,
    IDC_FILE_VERSION_LABEL,
    IDC_DATE_MODIFIED_LABEL,
};

constexpr const char16_t* kInfoFileKeys[] = {u"SOFTWARE\\Corvanta\\Setupdesk\\InfoFiles",
                                             u"SOFTWARE\\Corvanta\\GKT\\InfoFiles"};
constexpr int kQuberonItems[] = {IDC_QB_VERSION_LABEL, IDC_QB_VERSION,       IDC_QB_BUILD_LABEL,
                                 IDC_QB_BUILD,         IDC_ORX_NET_ID_LABEL, IDC_ORX_NET_ID};
} // namespace

CGeneralPage::CGeneralPage(DWORD vosTimeoutMs)
    : CSetupPage(IDD_GENERAL, "General"), m_vosTimeoutMs(vosTimeoutMs)
{
    const auto row = [this](int group, int captionId, const char* caption, int valueId)
    {
        addLabel(captionId, caption).setGroup(group);
        auto& value = addLabel(valueId, "");
        value.setGroup(group);
        value.setNewLine(false);
    };
    addGroupBox(IDC_SYSTEM_GROUP, "System Information");
    row(IDC_SYSTEM_GROUP, IDC_DEVICE_NAME_LABEL, "Device Name", IDC_DEVICE_NAME);
    row(IDC_SYSTEM_GROUP, IDC_IMAGE_VERSION_LABEL, "Image Version", IDC_IMAGE_VERSION);
    row(IDC_SYSTEM_GROUP, IDC_IMAGE_VERSION_2_LABEL, "Image Version 2", IDC_IMAGE_VERSION_2);
    row(IDC_SYSTEM_GROUP, IDC_SETUPDESK_VERSION_LABEL, "Setupdesk Version", IDC_SETUPDESK_VERSION);
    row(IDC_SYSTEM_GROUP, IDC_CPU_FREQUENCY_LABEL, "CPU Frequency", IDC_CPU_FREQUENCY);

    addGroupBox(IDC_QUBERON_GROUP, "Quberon");
    row(IDC_QUBERON_GROUP, IDC_QB_VERSION_LABEL, "Version", IDC_QB_VERSION);
    row(IDC_QUBERON_GROUP, IDC_QB_BUILD_LABEL, "Qb Build", IDC_QB_BUILD);
    row(IDC_QUBERON_GROUP, IDC_ORX_NET_ID_LABEL, "Orx Net Id", IDC_ORX_NET_ID);
    auto& edit = addButton(IDC_EDIT_NET_ID, "Edit");
    edit.setGroup(IDC_QUBERON_GROUP);
    edit.setNewLine(false);

    addGroupBox(IDC_ADAPTER_GROUP, "Network Adapter");
    addCombo(IDC_ADAPTERS).setGroup(IDC_ADAPTER_GROUP);
    row(IDC_ADAPTER_GROUP, IDC_DHCP_LABEL, "DHCP", IDC_DHCP);
    row(IDC_ADAPTER_GROUP, IDC_IP_ADDRESS_LABEL, "IP Address", IDC_IP_ADDRESS);
    row(IDC_ADAPTER_GROUP, IDC_MAC_ADDRESS_LABEL, "Mac Address", IDC_MAC_ADDRESS);

    addGroupBox(IDC_FILE_GROUP, "File Version Information");
    addCombo(IDC_FILES).setGroup(IDC_FILE_GROUP);
    row(IDC_FILE_GROUP, IDC_COMPANY_LABEL, "Company", IDC_COMPANY);
    row(IDC_FILE_GROUP, IDC_FILE_VERSION_LABEL, "File Version", IDC_FILE_VERSION);
    row(IDC_FILE_GROUP, IDC_DATE_MODIFIED_LABEL, "Date Modified", IDC_DATE_MODIFIED);
}

void CGeneralPage::initPage()
{
    setItemText(IDC_SETUPDESK_VERSION, programVersionText());

    RegKey ident;
    ident.open(u"Ident", KEY_READ);
    setItemText(IDC_DEVICE_NAME,
                readString(ident.get(), u"Name", 255).value_or(strings().load(IDS_NOT_RECOGNIZED)));

    RegKey image;
    if (openImageKey(image))
    {
        setItemText(IDC_IMAGE_VERSION, readString(image.get(), u"Line1").value_or(""));
        setItemText(IDC_IMAGE_VERSION_2, readString(image.get(), u"Line2").value_or(""));
    }

    // The version comes first: it decides which key holds the net id.
    showQuberonVersion();
    showOrxNetId();
    if (!keyExists(u"SOFTWARE\\Corvanta"))
    {
        for (int id : kQuberonItems)
            showItem(id, false);
    }
    else
    {
        for (int id : {IDC_QB_VERSION, IDC_QB_BUILD, IDC_ORX_NET_ID})
        {
            if (itemText(id).empty())
                setItemText(id, "-");
        }
    }

    setItemText(IDC_CPU_FREQUENCY, cpuFrequencyText());
    fillAdapters();
    fillFiles();
}

void CGeneralPage::onCommand(int id, ui::Command code)
{
    if (id == IDC_EDIT_NET_ID && code == ui::Command::Clicked)
    {
        COrxNetIdDlg dialog;
        if (host().runModal(dialog) == IDOK)
            showOrxNetId();
    }
    else if (id == IDC_ADAPTERS && code == ui::Command::SelChange)
        showAdapter(combo(IDC_ADAPTERS).curSel());
    else if (id == IDC_FILES && code == ui::Command::SelChange)
        showFile(combo(IDC_FILES).curSel());
}

void CGeneralPage::showOrxNetId()
{
    RegKey system;
    system.open(systemKeyOfVersion(), KEY_READ);
    const auto id = readOrxNetId(system.get());
    setItemText(IDC_ORX_NET_ID, id ? ui::format("%d.%d.%d.%d.%d.%d", (*id)[0], (*id)[1], (*id)[2], (*id)[3],
                                                (*id)[4], (*id)[5])
                                   : strings().load(IDS_NOT_RECOGNIZED));
}

void CGeneralPage::showQuberonVersion()
{
    const QuberonVersion version = readQuberonVersion(m_vosTimeoutMs);
    setItemText(IDC_QB_VERSION, version.version);
    setItemText(IDC_QB_BUILD, version.build);
    setQuberonMajorVersion(version.major);
}

void CGeneralPage::fillAdapters()
{
    ULONG size = 0;
    if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0)
        return;
    std::vector<BYTE> buffer(size);
    auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (GetAdaptersInfo(first, &size) != ERROR_SUCCESS)
        return;
    for (const IP_ADAPTER_INFO* adapter = first; adapter; adapter = adapter->Next)
    {
        const BYTE* mac = adapter->Address;
        m_adapters.push_back(Adapter{
            adapter->AdapterName, adapter->DhcpEnabled != 0, adapter->IpAddressList.IpAddress.String,
            ui::format("%02X %02X %02X %02X %02X %02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5])});
        combo(IDC_ADAPTERS).addString(adapter->AdapterName);
    }
}

void CGeneralPage::showAdapter(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_adapters.size())
        return;
    const Adapter& adapter = m_adapters[static_cast<size_t>(index)];
    setItemText(IDC_DHCP, adapter.dhcp ? "Enabled" : "Disabled");
    setItemText(IDC_IP_ADDRESS, adapter.address);
    setItemText(IDC_MAC_ADDRESS, adapter.mac);
}

void CGeneralPage::fillFiles()
{
    ui::ComboBox& files = combo(IDC_FILES);
    for (const char16_t* path : kInfoFileKeys)
    {
        RegKey key;
        if (!key.open(path, KEY_READ))
            continue;
        for (DWORD index = 0;; ++index)
        {
            WCHAR name[256] = {};
            DWORD nameSize = 256;
            if (RegEnumValueW(key.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            if (const auto file = readString(key.get(), name))
            {
                m_files.push_back(*file);
                files.setItemData(files.addString(*file), static_cast<intptr_t>(m_files.size() - 1));
            }
        }
    }
    if (files.count() > 0)
    {
        files.setCurSel(0);
        showFile(0);
    }
}

void CGeneralPage::showFile(int index)
{
    const auto item = combo(IDC_FILES).itemData(index);
    if (index < 0 || static_cast<size_t>(item) >= m_files.size())
        return;
    const FileInfo info = readFileInfo(m_files[static_cast<size_t>(item)]);
    setItemText(IDC_COMPANY, info.company);
    setItemText(IDC_FILE_VERSION, info.fileVersion);
    setItemText(IDC_DATE_MODIFIED, info.dateModified);
}
} // namespace setupdesk
