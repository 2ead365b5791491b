#include "orx_net_id_dlg.h"

#include "quberon_system.h"
#include "resource.h"

namespace setupdesk
{
namespace
{
constexpr int kFieldIds[6] = {IDC_NET_ID_1, IDC_NET_ID_2, IDC_NET_ID_3,
                              IDC_NET_ID_4, IDC_NET_ID_5, IDC_NET_ID_6};
constexpr int IDC_NET_ID_LABEL = 1117;
constexpr int IDC_LOCAL_GROUP = 1118;
} // namespace

COrxNetIdDlg::COrxNetIdDlg() : ui::Dialog(IDD_ORX_NET_ID, "Orx Router")
{
    addGroupBox(IDC_LOCAL_GROUP, "Local Computer");
    addLabel(IDC_NET_ID_LABEL, "Orx Net Id:").setGroup(IDC_LOCAL_GROUP);
    for (int id : kFieldIds)
    {
        auto& field = addEdit(id, ui::EditStyle{false, true});
        field.setGroup(IDC_LOCAL_GROUP);
        field.setNewLine(false);
    }
    addButton(IDOK, "OK");
    addButton(IDCANCEL, "Cancel").setNewLine(false);
}

void COrxNetIdDlg::onInit()
{
    if (!m_key.open(systemKeyOfVersion()))
    {
        endDialog(FALSE);
        return;
    }
    const auto id = readOrxNetId(m_key.get());
    if (!id)
    {
        messageBox("Can't read Orx Net Id!", {}, MB_ICONEXCLAMATION);
        return;
    }
    for (size_t i = 0; i < m_bytes.size(); ++i)
        m_bytes[i] = (*id)[i];
    updateData(false);
}

void COrxNetIdDlg::doDataExchange(ui::DataExchange& exchange)
{
    for (size_t i = 0; i < m_bytes.size(); ++i)
        exchange.integer(kFieldIds[i], m_bytes[i], 0, 255);
}

void COrxNetIdDlg::onOk()
{
    if (!updateData(true))
        return;
    BYTE value[6];
    for (size_t i = 0; i < m_bytes.size(); ++i)
        value[i] = static_cast<BYTE>(m_bytes[i]);
    if (RegSetValueExW(m_key.get(), u"OrxNetId", 0, REG_BINARY, value, sizeof value) == ERROR_SUCCESS)
    {
        RegFlushKey(m_key.get());
        m_key.close();
    }
    endDialog(IDOK);
}
} // namespace setupdesk
