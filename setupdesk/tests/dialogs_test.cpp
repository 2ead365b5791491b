// The shared warning dialog and the Orx net id dialog.
#include "setupdesk_fixture.h"

#include <orx_net_id_dlg.h>
#include <quberon_system.h>
#include <resource.h>
#include <warning_dlg.h>

#include <ui/testing/scripted_host.h>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;
using ui::testing::MessageRecord;
using ui::testing::ScriptedHost;

constexpr const char16_t* kDisableWarnings = u"SOFTWARE\\Corvanta\\Setupdesk\\DisableWarnings";
constexpr int kNetIdFields[] = {IDC_NET_ID_1, IDC_NET_ID_2, IDC_NET_ID_3,
                                IDC_NET_ID_4, IDC_NET_ID_5, IDC_NET_ID_6};

class DialogsTest : public SetupdeskTest
{
protected:
    DialogsTest() { m_host.start(m_owner); }

    ScriptedHost m_host;
    ui::Dialog m_owner{IDD_SETUPDESK, "owner"};
};

TEST_F(DialogsTest, AWarningIsSkippedOnlyForFourBytesThatReadAsOne)
{
    struct Case
    {
        const char* name;
        std::optional<Value> stored;
        bool shown;
    } cases[] = {
        {"no value", std::nullopt, true},
        {"DWORD 1", dwordValue(1), false},
        {"DWORD 0", dwordValue(0), true},
        {"DWORD 2", dwordValue(2), true},
        {"binary 01 00 00 00", Value{REG_BINARY, {1, 0, 0, 0}}, false},
        {"binary 01", Value{REG_BINARY, {1}}, true},
        {"REG_SZ \"1\" (4 bytes, not 1)", stringValue("1"), true},
        {"8 bytes", Value{REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}}, true},
    };
    for (const Case& c : cases)
    {
        deleteKey(kDisableWarnings);
        if (c.stored)
            setValue(kDisableWarnings, u"7", c.stored->type, c.stored->bytes);
        bool shown = false;
        m_host.onModal(IDD_WARNING,
                       [&](ui::Dialog& warning)
                       {
                           shown = true;
                           EXPECT_EQ(warning.title(), "Warning");
                           EXPECT_EQ(warning.itemText(IDC_WARNING_TEXT), strings().load(IDS_WARN_FIREWALL));
                           m_host.click(warning, IDOK);
                       });
        showWarning(m_owner, IDS_WARN_FIREWALL);
        EXPECT_EQ(shown, c.shown) << c.name;
        // The value is left as it was.
        EXPECT_EQ(value(kDisableWarnings, u"7"), c.stored) << c.name;
    }
    EXPECT_EQ(m_host.unusedScript(), 0u);
}

TEST_F(DialogsTest, DontPromptAgainTurnsTheWarningOff)
{
    deleteKey(u"SOFTWARE\\Corvanta\\Setupdesk");
    m_host.onModal(IDD_WARNING,
                   [&](ui::Dialog& warning)
                   {
                       EXPECT_EQ(warning.itemText(IDC_WARNING_TEXT), strings().load(IDS_WARN_PERSISTENT));
                       m_host.click(warning, IDOK);
                   });
    showWarning(m_owner, IDS_WARN_PERSISTENT);
    EXPECT_FALSE(value(kDisableWarnings, u"8")) << "OK without the box writes nothing";

    m_host.onModal(IDD_WARNING,
                   [&](ui::Dialog& warning)
                   {
                       m_host.click(warning, IDC_DONT_PROMPT);
                       m_host.click(warning, IDOK);
                   });
    showWarning(m_owner, IDS_WARN_FIREWALL);
    EXPECT_EQ(value(kDisableWarnings, u"7"), dwordValue(1));
    EXPECT_FALSE(value(kDisableWarnings, u"8"));

    bool shownAgain = false;
    m_host.onModal(IDD_WARNING, [&](ui::Dialog&) { shownAgain = true; });
    showWarning(m_owner, IDS_WARN_FIREWALL);
    EXPECT_FALSE(shownAgain);
    EXPECT_EQ(m_host.unusedScript(), 0u);
}

TEST_F(DialogsTest, TheNetIdComesFromTheSystemKeyOfTheVersion)
{
    struct Case
    {
        BYTE version;
        const char16_t* key;
    } cases[] = {{0, u"Software\\Corvanta\\Quberon\\System"},
                 {2, u"Software\\Corvanta\\Quberon\\System"},
                 {3, u"Software\\Corvanta\\Quberon3\\System"}};
    setValue(u"Software\\Corvanta\\Quberon\\System", u"OrxNetId", REG_BINARY, {10, 0, 0, 1, 1, 1});
    setValue(u"Software\\Corvanta\\Quberon3\\System", u"OrxNetId", REG_BINARY, {10, 0, 0, 3, 1, 1});
    for (const Case& c : cases)
    {
        setQuberonMajorVersion(c.version);
        const BYTE fourth = c.version > 2 ? 3 : 1;
        m_host.onModal(IDD_ORX_NET_ID,
                       [&](ui::Dialog& dialog)
                       {
                           EXPECT_EQ(dialog.title(), "Orx Router");
                           std::vector<std::string> shown;
                           for (int id : kNetIdFields)
                               shown.push_back(dialog.itemText(id));
                           EXPECT_EQ(shown, (std::vector<std::string>{"10", "0", "0", std::to_string(fourth),
                                                                      "1", "1"}));
                           m_host.type(dialog, IDC_NET_ID_6, "77");
                           m_host.click(dialog, IDOK);
                       });
        COrxNetIdDlg dialog;
        EXPECT_EQ(m_host.runModal(dialog), IDOK);
        EXPECT_EQ(value(c.key, u"OrxNetId"), (Value{REG_BINARY, {10, 0, 0, fourth, 1, 77}}));
        setValue(c.key, u"OrxNetId", REG_BINARY, {10, 0, 0, fourth, 1, 1});
    }
    EXPECT_TRUE(m_host.messages().empty());
}

TEST_F(DialogsTest, WithoutTheKeyTheDialogEndsAtOnce)
{
    deleteKey(u"Software\\Corvanta\\Quberon3");
    setValue(u"Software\\Corvanta\\Quberon\\System", u"OrxNetId", REG_BINARY, {1, 2, 3, 4, 5, 6});
    setQuberonMajorVersion(3);
    bool ran = false;
    m_host.onModal(IDD_ORX_NET_ID, [&](ui::Dialog&) { ran = true; });
    COrxNetIdDlg dialog;
    EXPECT_EQ(m_host.runModal(dialog), FALSE);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(m_host.messages().empty());
}

TEST_F(DialogsTest, ANetIdThatIsNotSixBytesCannotBeRead)
{
    constexpr const char16_t* kSystem = u"Software\\Corvanta\\Quberon\\System";
    const std::vector<std::vector<BYTE>> stored{{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 6, 7, 8}, {}};
    for (const auto& bytes : stored)
    {
        setValue(kSystem, u"OrxNetId", REG_BINARY, bytes);
        m_host.answer(IDOK, "Can't read Orx Net Id!");
        m_host.onModal(IDD_ORX_NET_ID,
                       [&](ui::Dialog& dialog)
                       {
                           for (int id : kNetIdFields)
                               EXPECT_EQ(dialog.itemText(id), "") << id;
                           m_host.click(dialog, IDCANCEL);
                       });
        COrxNetIdDlg dialog;
        EXPECT_EQ(m_host.runModal(dialog), IDCANCEL);
        ASSERT_FALSE(m_host.messages().empty());
        EXPECT_EQ(m_host.messages().back(), (MessageRecord{"Can't read Orx Net Id!", "", 48}));
        EXPECT_EQ(value(kSystem, u"OrxNetId"), (Value{REG_BINARY, bytes}));
    }
    EXPECT_EQ(m_host.messages().size(), stored.size());
    EXPECT_EQ(m_host.unusedScript(), 0u);
}

TEST_F(DialogsTest, BytesAbove255AreRefusedAndTheDialogStaysOpen)
{
    constexpr const char16_t* kSystem = u"Software\\Corvanta\\Quberon\\System";
    setValue(kSystem, u"OrxNetId", REG_BINARY, {1, 2, 3, 4, 5, 6});
    m_host.answer(IDOK, "Enter a whole number from 0 to 255.");
    m_host.onModal(IDD_ORX_NET_ID,
                   [&](ui::Dialog& dialog)
                   {
                       m_host.type(dialog, IDC_NET_ID_3, "256");
                       m_host.click(dialog, IDOK);
                       EXPECT_TRUE(dialog.isOpen());
                       m_host.type(dialog, IDC_NET_ID_3, "255");
                       m_host.type(dialog, IDC_NET_ID_1, "0");
                       m_host.click(dialog, IDOK);
                   });
    COrxNetIdDlg dialog;
    EXPECT_EQ(m_host.runModal(dialog), IDOK);
    EXPECT_EQ(value(kSystem, u"OrxNetId"), (Value{REG_BINARY, {0, 2, 255, 4, 5, 6}}));
    EXPECT_EQ(m_host.messages().size(), 1u);
    EXPECT_EQ(m_host.unusedScript(), 0u);
}
} // namespace
