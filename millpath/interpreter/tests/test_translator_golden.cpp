// The block translator from source block to the exact stack-language bytes.
#include <gtest/gtest.h>

#include "recording_channel.h"
#include "translator.h"

namespace
{
struct Translation
{
    std::uint32_t error = 0;
    std::string text; // the program text after the block
};

// Translates one block as the first line of a fresh program.
template <class Setup> Translation translate(const std::string& block, Setup setup)
{
    InterpreterFixture f;
    setup(f);
    EXPECT_EQ(f.interpreter.beginProgram(), 0u);
    Translation t;
    t.error = f.interpreter.translateBlock(block);
    t.text = programText(f.interpreter);
    return t;
}

Translation translate(const std::string& block)
{
    return translate(block, [](InterpreterFixture&) {});
}

struct GoldenCase
{
    const char* block;
    std::string text; // after the markers of line 0
};

void expectGolden(const std::vector<GoldenCase>& cases)
{
    for (const GoldenCase& c : cases)
    {
        const Translation t = translate(c.block);
        EXPECT_EQ(t.error, 0u) << c.block;
        EXPECT_EQ(t.text, blockMarkers(0) + c.text) << c.block;
    }
}

std::string channelStateHex(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    char hex[4];
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        std::snprintf(hex, sizeof(hex), i == 0 ? "%02x" : ",%02x", bytes[i]);
        text += hex;
    }
    return text;
}
} // namespace

TEST(TranslatorGolden, ParametersAndExpressions)
{
    expectGolden({
        {"R1=2", "R1=2.0 \n"},
        {"R1=2.50", "R1=2.5 \n"},
        {"R1=2,5", "R1=2.5 \n"},
        {"R1=-2", "R1=-2.0 \n"},
        {"R1=-R2", "pushcR2 calc neg popcR1 \n"},
        {"R1=R2*2+1", "pushcR2 pushc2.0 calc * pushc1.0 calc + popcR1 \n"},
        {"R1=R2+3*R4", "pushcR2 pushc3.0 calc + pushcR4 calc * popcR1 \n"},
        // Axis operands name the executor's axis registers X11 to X13.
        {"R7=-X+P3/y", "pushcX11 calc neg pushcP3 calc + pushcX12 calc / popcR7 \n"},
        {"R8=S*-2", "pushcS pushc-2.0 calc * popcR8 \n"},
        {"R9=1.25(note)", "pushc1.25 popcR9 \n"},
        {"P5=R1*2", "pushcR1 pushc2.0 calc * popcP5 \n"},
    });
}

TEST(TranslatorGolden, AddressWords)
{
    expectGolden({
        {"X10 Y-5.5", "X11=10.0 X12=-5.5 \n"},
        {"x5 y6 z7 f8", "X11=5.0 X12=6.0 X13=7.0 F=8.0 \n"},
        {"I5 J-2 K0.5", "I=5.0 J=-2.0 K=0.5 \n"},
        {"U20 B3", "radius=20.0 radius=3.0 \n"},
        {"X1=5 Y1=R2 Z2=7", "X11=5.0 pushcR2 popcX12 X23=7.0 \n"},
        {"X=R1+X", "pushcR1 pushcX11 calc + popcX11 \n"},
        {"F=R3*2 U=R4", "pushcR3 pushc2.0 calc * popcF pushcR4 popcradius \n"},
        {"Q3=5 Q2=R1 Q+ Q-", "Q3=5.0 pushcR1 popcQ2 Q+ Q- \n"},
        {"Q4", "Q4 \n"},
        {"G1 X10 F100 (feed)", "G1X11=10.0 F=100.0 \n"},
        {"g17G2 G1=3", "g17G2G1=3\n"},
        {"N10 T1 M6", "N10T1M6 \n"},
        {":20 X1", "N20X11=1.0 \n"},
        {"D3 D=R4", "D3 pushcR4 popcD \n"},
    });
}

TEST(TranslatorGolden, HAndSWordsAndBlockSkip)
{
    expectGolden({
        {"H5", "pushcR800 R800=5 h3 popcR800 \n"},
        {"H-5", "pushcR800 R800=-5 h3 popcR800 \n"},
        {"H=R3", "pushcR800 pushcR3 popcR800 h3 popcR800 \n"},
        {"H=7", "pushcR800 r800=7 h3 popcR800 \n"},
        {"H1=R4", "pushcR800 pushcR4 popcR800 h1=3 popcR800 \n"},
        {"H2=-7", "pushcR800 r800=-7 h2=3 popcR800 \n"},
        {"S1200", "pushcR800 R800=1200.0 h4 popcR800 \n"},
        {"S=R5", "pushcR800 pushcR5 popcR800 h4 popcR800 \n"},
        {"S=100", "pushcR800 r800=100.0 h4 popcR800 \n"},
        {"S1=R5", "pushcR800 pushcR5 popcR800 h1=4 popcR800 \n"},
        {"S1=2.5", "pushcR800 r800=2.5 h1=4 popcR800 \n"},
        {"/ X5", "pushcR800 R800=0 h2 popcR800 jumpeol_c X11=5.0 \n"},
        {"/2 X5", "pushcR800 R800=2 h2 popcR800 jumpeol_c X11=5.0 \n"},
    });
}

TEST(TranslatorGolden, SubProgramWords)
{
    expectGolden({
        // At block start L defines (with a further line marker), elsewhere it calls.
        {"L100", "L100 " + lineMarker(0) + "\n"},
        {"N5 L100", "N5L100 " + lineMarker(0) + "\n"},
        {"X1 L100", "X11=1.0 call100 repeat1 \n"},
        {"L100 P3", "call100 repeat3 \n"},
        {"L=R5", "pushc1 pushcR5 popcL popcRepeat \n"},
        {"L=R5 P3", "pushc3 pushcR5 popcL popcRepeat \n"},
        {"L=R5 P=R6", "pushcR6 pushcR5 popcL popcRepeat \n"},
        {"lims=3000", "lims=3000.0 \n"},
        {"lims=R7", "pushcR7 popcLims \n"},
    });
}

TEST(TranslatorGolden, MWords)
{
    expectGolden({
        {"M3", "M3 \n"},
        {"M1=8", "M1=8 \n"},
        {"M17", "M17 return \n"},
        {"M=R3", "pushcR3 popcMFunc \n"},
        // The executor's mirror word is "set param mirror".
        {"mirror XZ", "set param mirrorXZ \n"},
        {"mirror", "set param mirror \n"},
        {"mod[X]", "pushc88 popcBwMod \n"},
        {"mod[z] mod[Q2]", "pushc90 popcBwMod pushc2 popcBwMod \n"},
    });
}

TEST(TranslatorGolden, AtCommands)
{
    expectGolden({
        {"@40 K2 R1 R2", "pushcR1 R1=0 pushcR2 R2=0 \n"},
        {"@41 R3 R5", "pushcR3 R3=0 pushcR4 R4=0 pushcR5 R5=0 \n"},
        {"@42 K2 R2 R1", "popcR2 popcR1 \n"},
        {"@43 R3 R5", "popcR5 popcR4 popcR3 \n"},
        {"@100 K20", "goto K20 \n"},
        {"@100 R5", "goto R5 \n"},
        {"@111 R1 K1 K10 R2 K20", "pushcR1 pushc1 calc != jumpelse_c goto K10 else pushcR1 pushcR2 calc != "
                                  "jumpelse_c goto K20 else \n"},
        {"@121 R1 K5 K100", "pushcR1 pushc5.0 calc == jumpeol_c goto K100 \n"},
        {"@122 P1 R2 K7", "pushcP1 pushcR2 calc != jumpeol_c goto K7 \n"},
        {"@123 R1 K-1.5 K9", "pushcR1 pushc-1.5 calc > jumpeol_c goto K9 \n"},
        {"@124 R1 K4 K40", "pushcR1 pushc4.0 calc >= jumpeol_c goto K40 \n"},
        {"@125 R1 K4 K40", "pushcR1 pushc4.0 calc < jumpeol_c goto K40 \n"},
        {"@126 R1 K4 K40", "pushcR1 pushc4.0 calc <= jumpeol_c goto K40 \n"},
        {"@134 R1 K4 K40", "pushcR1 pushc4.0 calc >= jumpeol_c goto K40 \n"},
        {"@141 R1 K4 K40", "pushcR1 pushc4.0 calc == jumpeol_c goto K40 \n"},
        {"@151 R1 K4 K40", "pushcR1 pushc4.0 calc != jumpeol_c goto K40 \n"},
        {"@161 R1 R2 K40", "pushcR1 pushcR2 calc != jumpeol_c goto K40 \n"},
        {"@200 R4", "pushc0 popcR4 \n"},
        {"@200 P4", "pushc0 popcP4 \n"},
        {"@202 R1 P2", "pushcR1 pushcP2 popcR1 popcP2 \n"},
        {"@302 K5003 K4 R9", "pushc5003 pushc4 calc read_md_bit popcR9 \n"},
        {"@302 R1 P2 P3", "pushcR1 pushcP2 calc read_md_bit popcP3 \n"},
        // The output request reads R800 and R801: the operands' values go there.
        {"@361 R5 K3", "pushcR800 pushcR801 pushcR5 popcR800 pushc3 popcR801 H1 popcR801 popcR800 \n"},
        {"@361 P5 R6", "pushcR800 pushcR801 pushcP5 popcR800 pushcR6 popcR801 H1 popcR801 popcR800 \n"},
        {"@372 R6", "pushc1 popcR6 \n"},
        {"@402 K5003 K5 K1", "pushc5003 pushc5 pushc1 calc write_md_bit \n"},
        {"@610 R1 R2", "pushcR2 calc abs popcR1 \n"},
        {"@613 R1 R2", "pushcR2 calc sqrt popcR1 \n"},
        {"@614 R1 R2 R3", "pushcR2 calc abs calc sqr pushcR3 calc abs calc sqr calc + calc sqrt popcR1 \n"},
        {"@620 R1", "pushcR1 pushc1 calc + calc int popcR1 \n"},
        {"@621 R1", "pushcR1 pushc1 calc - calc int popcR1 \n"},
        {"@622 R1", "pushcR1 calc int popcR1 \n"},
        {"@630 R1 R2", "pushcR2 calc sin popcR1 \n"},
        {"@633 R1 R2", "pushcR2 calc cot popcR1 \n"},
        {"@634 R1 R2", "pushcR2 calc asin pushc180 calc * pushcPI calc / popcR1 \n"},
        {"@636 R1 R2", "pushcR2 calc atan pushc180 calc * pushcPI calc / popcR1 \n"},
        {"@716", "\nh5\n\n"},
        {"@717", "\nh6\n\n"},
    });
}

TEST(TranslatorGolden, Directives)
{
    expectGolden({
        {"#set param VeloJump(1;2;3)#",
         "pushc1.0 pushc2.0 pushc3.0 popcVeloJump popcVeloJump popcVeloJump \n"},
        {"#set param VeloMin(R4)#", "pushcR4 popcVeloMin \n"},
        {"#set param C1ReductionFactor(0.5)#", "pushc0.5 popcVeloReductionC1 \n"},
        {"#set param AxisDynamics(1;2;3;4)#",
         "pushc1.0 pushc2.0 pushc3.0 pushc4.0 popcAxDyn popcAxDyn popcAxDyn popcAxDyn \n"},
        {"#set param VertexSmoothing(1;0.2)#", "pushc1.0 pushc0.2 popcVParams popcVParams \n"},
        {"#set param ZeroShift(G54;1;-2;R3)#", "pushc54 pushc1.0 pushc-2.0 pushcR3 popcZS \n"},
        {"#set param PlanAxis(2)#", "PlanAxis=2 \n"},
        {"#set QPos#", "QPos \n"},
        {"#set RParam(1;R2)#", "pushc1.0 pushcR2 popcSetRP popcSetRP \n"},
        {"#set CfgBuildGroup(1;2;3)#",
         "pushc1.0 pushc2.0 pushc3.0 popcCfgCreateGrp popcCfgCreateGrp popcCfgCreateGrp \n"},
        {"#set CfgClearGroup()#", "CfgClearGrp \n"},
        {"#set ToolParam(5;3;2.5)#", "pushc5.0 pushc3.0 pushc2.5 popcToolP3 popcToolP2 popcToolP1 \n"},
        {"#get PathAxesPos(R1;R2;R3)#", "getPathAxesPos R1 R2 R3 \n"},
        // The executor's tool read takes the R index and all three setters.
        {"#get toolParam(5;3;R20)#", "pushc5.0 pushc3.0 pushc20 popcToolRP3 popcToolP2 popcToolP1 \n"},
        {"#skip VirtualMovements(2)#", "pushc2.0 popcVMove \n"},
        // The size lets the executor take exactly the message text.
        {"#skip MSG(hello world)#", "MSG size=11 text=hello world \n"},
        // Anything else is stack text as it stands.
        {"#pushc5 popcR3#", "pushc5 popcR3\n"},
        {"#set lineflag CIPaktiv#", "set lineflag CIPaktiv\n"},
        {"##", "\n"},
    });
}

TEST(TranslatorGolden, Keywords)
{
    expectGolden({
        {"arot", "arot \n"},
        {"ANG=-45", "ang=-45.0 \n"},
        {"ANG=R3", "pushcR3 popcAng \n"},
        {"CIP", "set lineflag CIPaktiv \n"},
        {"CFTCP cfc CFIN", "cftcp cfc cfin \n"},
        {"cdon CDOF cpcon cpcof", "cdon cdof cpcon cpcof \n"},
        {"CHF=2 CHR=R1", "chf=2.0 pushcR1 popcChr \n"},
        {"CalcRot[R1;R2;R3]", "pushcR1 pushcR2 pushcR3 calcRot popcR3 popcR2 popcR1 \n"},
        {"CalcInvRot[R1;R2;R3]", "pushcR1 pushcR2 pushcR3 calcInvRot popcR3 popcR2 popcR1 \n"},
        {"DIAMON DIAMOF deldtg", "DIAMON DIAMOF deldtg \n"},
        {"dynovr=0.5 dynovr=R2", "dynovr=0.5 pushcR2 popcDynOvr \n"},
        {"norm TPM ToolOffsetIncOn ToolOffsetIncOff", "norm TPM ToolOffsetIncOn ToolOffsetIncOff \n"},
        {"transmit TRAFOOF", "TRANSMIT TRAFOOF \n"},
        // The constant form closes its description as the R form does.
        {"TangOn(3;45)", "TangDesc AA=3 ATF=1 OA=45.0 /TangDesc \n"},
        {"TangOn(3;R4)", "pushcR4 TangDesc AA=3 ATF=1 popcOA /TangDesc \n"},
        {"TangOf(3)", "TangDesc AA=3 ATF=0 /TangDesc \n"},
        {"Tang(3;0;1)", "TangDesc AA=3 PA1=0 PA2=1 /TangDesc \n"},
        {"PosA[3]=10.5", "pushc3.0 pushc10.5 popcPOSA popcID \n"},
        {"RotVec[R1;R2;R3;R4;R5;R6]",
         "pushcR1 pushcR2 pushcR3 pushcR4 pushcR5 pushcR6 calcRotVec popcR3 popcR2 popcR1 \n"},
        {"RotExOn RotExOff rot arot", "RotExOn RotExOff rot arot \n"},
        {"RND=2 RND=R1", "rnd=2.0 pushcR1 popcRnd \n"},
        {"RToDwordGetBit[R1;R2;3]", "pushcR1 pushcR2 pushc3 calcGetBit popcR1 \n"},
        {"RToDwordGetBit[R1;R2;R3]", "pushcR1 pushcR2 pushcR3 calcGetBit popcR1 \n"},
        {"SF=90 SF=R2", "SF=90.0 pushcR2 popcSF \n"},
        {"SEG=0.5 SEG=R1", "seg=0.5 pushcR1 popcSeg \n"},
        {"Scale[1;-2;R3]", "pushc1.0 pushc-2.0 pushcR3 popcScale popcScale popcScale \n"},
        {"SyncWith K1 K2", "SyncWith K1 SyncWith K2 \n"},
        // Only the conditions with a value have one for the last setter.
        {"WAITP[2;NotMoving]", "pushc3 pushc2 popcWAITP popcSOC \n"},
        {"WAITP[3;ActPosGT;R7]", "pushcR7 pushc4 pushc3 popcWAITP popcSOC popcSOCParam1 \n"},
        {"WAITP[1;NomPosLT;-2]", "pushc-2.0 pushc7 pushc1 popcWAITP popcSOC popcSOCParam1 \n"},
        {"FConst FLin", "fconst flin \n"},
        {"ZeroShiftInc X1 On ZeroShiftInc X2 Off", "X1 ZeroShiftIncOn X2 ZeroShiftIncOff \n"},
    });
}

TEST(TranslatorGolden, BlocksWithoutText)
{
    for (const char* block : {"", "   \t", "(a comment)", "(open comment", "%PROGRAM 12", "\n\r"})
    {
        const Translation t = translate(block);
        EXPECT_EQ(t.error, 0u) << block;
        EXPECT_EQ(t.text, "") << block;
    }
    // Non-printable characters are blanks; trailing blanks are dropped.
    EXPECT_EQ(translate("X1\x01Y2\x7f  ").text, blockMarkers(0) + "X11=1.0 X12=2.0 \n");
}

TEST(TranslatorGolden, SyntaxErrorsKeepWhatWasAppended)
{
    struct Case
    {
        const char* block;
        std::uint32_t error;
        std::string text; // what stays (markers included), "" for none
    } cases[] = {
        {"E5", 0x4111, ""},
        {"O1", 0x4111, ""},
        {"V2", 0x4111, ""},
        {"5X", 0x4111, ""},
        {"e5", 0x4111, ""},
        {"X10 E5", 0x4111, blockMarkers(0) + "X11=10.0 "},
        {"Ax", 0x4111, ""},
        {"R1000=1", 0x4111, ""},
        {"R1 5", 0x4111, ""},
        {"X", 0x4111, ""},
        {"Q=5", 0x4111, ""},
        {"F1=5", 0x4111, ""},
        {"N", 0x4111, ""},
        {"T=5", 0x4111, ""},
        {"G", 0x4111, ""},
        {"@999 R1", 0x4111, ""},
        {"@121 R1 K5", 0x4111, ""},
        {"@121 K1 K5 K9", 0x4111, ""},
        {"@200 K4", 0x4111, ""},
        {"@610 R1 P2", 0x4111, ""},
        {"@A1", 0x4111, ""},
        {"@111 R1", 0x4111, ""},
        {"]", 0x4111, ""},
        {"mod[A]", 0x4111, ""},
        {"mod[X", 0x4111, ""},
        {"mod[X]]", 0x4111, blockMarkers(0) + "pushc88 popcBwMod "},
        {"L=R5+1", 0x4111, ""},
        {"L=R5 P", 0x4111, ""},
        {"M=R3*2", 0x4111, ""},
        {"M1=", 0x4111, ""},
        {"WAITP[1;Bogus]", 0x4111, ""},
        {"WAITP[1;ActPosGT]", 0x4111, ""},
        {"WAITP[1;NotMoving", 0x4111, ""},
        {"SyncWith", 0x4111, ""},
        {"CFx", 0x4111, ""},
        {"TangOn(3)", 0x4111, ""},
        {"CalcRot[R1;R2]", 0x4111, ""},
        {"#set param VeloJump(1;2)#", 0x4111, blockMarkers(0)},
        {"#set param Unknown(1)#", 0x4111, blockMarkers(0)},
        {"#set ToolParam(1;2)#", 0x4111, blockMarkers(0)},
        {"#open", 0x4111, ""},
        {"H=2.5", 0x4111, blockMarkers(0) + "pushcR800 r800=2 h3 popcR800 "},
    };
    for (const Case& c : cases)
    {
        InterpreterFixture f;
        ASSERT_EQ(f.interpreter.beginProgram(), 0u);
        EXPECT_EQ(f.interpreter.translateBlock(c.block), c.error) << c.block;
        EXPECT_EQ(f.interpreter.ncError(), c.error) << c.block;
        EXPECT_EQ(programText(f.interpreter), c.text) << c.block;
    }
}

TEST(TranslatorGolden, RangedConstantsAreLogged)
{
    for (const char* block : {"dynovr=1.5", "dynovr=0.001", "SF=360", "SF=-1", "ANG=400", "ANG=-360.5"})
    {
        InterpreterFixture f;
        ASSERT_EQ(f.interpreter.beginProgram(), 0u);
        EXPECT_EQ(f.interpreter.translateBlock(block), NcError::Syntax) << block;
        ASSERT_EQ(f.channel.messages.size(), 1u) << block;
        EXPECT_EQ(f.channel.messages[0].number, 3110u) << block;
        EXPECT_EQ(f.channel.messages[0].category, 84u) << block;
        EXPECT_EQ(f.channel.messages[0].args, std::vector<std::string>{"1"}) << block;
    }
    for (const char* block : {"dynovr=0.01", "dynovr=1", "SF=0", "SF=359.99999", "ANG=360", "ANG=-360"})
        EXPECT_EQ(translate(block).error, 0u) << block;
}

TEST(TranslatorGolden, EndOfProgramReadsTheChannelState)
{
    std::vector<std::uint8_t> state(112);
    for (std::size_t i = 0; i < state.size(); ++i)
        state[i] = static_cast<std::uint8_t>(i * 7);
    const std::string orx = "ORX1(" + channelStateHex(state) + ")\n";
    struct Case
    {
        const char* block;
        bool search;
        std::string text;
    } cases[] = {
        {"M2", false, "M2 \nh0\n" + orx + "wait_idle end \n"},
        {"M30", false, "M30 \nreset \nh0\n" + orx + "wait_idle end \n"},
        {"M30", true, "M30 \nreset BlockSearchEndOfProgram\nh0\n" + orx + "wait_idle end \n"},
        {"@714 X1", false, "X11=1.0 \nh0\n" + orx + "wait_idle \n"},
    };
    for (const Case& c : cases)
    {
        const Translation t = translate(c.block,
                                        [&](InterpreterFixture& f)
                                        {
                                            f.channel.channelStateAnswers.push_back({0, state, ""});
                                            if (c.search)
                                                f.interpreter.setBlockSearch(1, 5);
                                        });
        EXPECT_EQ(t.error, 0u) << c.block;
        EXPECT_EQ(t.text, blockMarkers(0) + c.text) << c.block;
    }
}

TEST(TranslatorGolden, RefusedChannelStateReadWritesNoSignal)
{
    for (const std::uint32_t answer : {0x604u, RecordingChannel::NoAnswer})
    {
        InterpreterFixture f;
        if (answer != RecordingChannel::NoAnswer)
            f.channel.channelStateAnswers.push_back({answer, {}, ""});
        ASSERT_EQ(f.interpreter.beginProgram(), 0u);
        EXPECT_EQ(f.interpreter.translateBlock("M30"), NcError::Syntax);
        EXPECT_EQ(programText(f.interpreter), blockMarkers(0) + "M30 \nreset \nh0\n");
        ASSERT_EQ(f.channel.messages.size(), 1u);
        EXPECT_EQ(f.channel.messages[0].number, 0xC76u);
        EXPECT_EQ(f.channel.messages[0].category, 84u);
        char hex[16];
        std::snprintf(hex, sizeof(hex), "%x", answer);
        EXPECT_EQ(f.channel.messages[0].args, (std::vector<std::string>{"1", hex}));
    }
}

TEST(TranslatorGolden, SymbolReferences)
{
    InterpreterFixture f;
    f.interpreter.createTextSymbol(u"$POS", "X10 Y20");
    f.interpreter.createTextSymbol(u"_two", "$POS Z1");
    f.interpreter.createTextSymbol(u"$LINES", "X1\nY2");
    f.interpreter.createTextSymbol(u"$SELF", "$SELF");
    f.interpreter.createTextSymbol(u"$PING", "$PONG");
    f.interpreter.createTextSymbol(u"$PONG", "$PING");
    f.interpreter.createAxisSymbol(u"$AXIS", AxisDescription{u"Spindle", u"S", 4});
    struct Case
    {
        const char* block;
        std::uint32_t error;
        std::string text;
    } cases[] = {
        {"$POS F5", 0, blockMarkers(0) + "X11=10.0 X12=20.0 F=5.0 \n"},
        {"_two", 0, blockMarkers(0) + "X11=10.0 X12=20.0 X13=1.0 \n"},
        // A line end inside a symbol's text ends the line of stack text.
        {"$LINES", 0, blockMarkers(0) + "X11=1.0 \nX12=2.0 \n"},
        // A text that names itself stops after the allowed replacements.
        {"$SELF", NcError::Syntax, ""},
        {"$PING", NcError::Syntax, ""},
        {"$", NcError::SymbolNameLength, ""},
        {"$ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", NcError::SymbolNameLength, ""},
        {"$NOPE", NcError::SymbolUnknown, ""},
        // An axis symbol stays in the block, where it is no word.
        {"$AXIS", NcError::Syntax, ""},
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(f.interpreter.beginProgram(), 0u);
        EXPECT_EQ(f.interpreter.translateBlock(c.block), c.error) << c.block;
        EXPECT_EQ(programText(f.interpreter), c.text) << c.block;
    }
    // Exactly the allowed number of replacements still translates.
    std::string chain = "X5";
    for (int i = 0; i < CBlockTranslator::ReplacementLimit; ++i)
    {
        const std::string name = "$S" + std::to_string(i);
        f.interpreter.createTextSymbol(std::u16string(name.begin(), name.end()), chain);
        chain = name;
    }
    ASSERT_EQ(f.interpreter.beginProgram(), 0u);
    EXPECT_EQ(f.interpreter.translateBlock(chain), 0u);
    EXPECT_EQ(programText(f.interpreter), blockMarkers(0) + "X11=5.0 \n");
    f.interpreter.createTextSymbol(u"$TOP", chain);
    ASSERT_EQ(f.interpreter.beginProgram(), 0u);
    EXPECT_EQ(f.interpreter.translateBlock("$TOP"), NcError::Syntax);
}

TEST(TranslatorGolden, RestrictedMode)
{
    struct Case
    {
        const char* block;
        std::uint32_t error;
        std::string text;
    } cases[] = {
        {"N7 M3", NcError::RestrictedM, blockMarkers(0) + "N7"},
        {"M=R2", NcError::RestrictedM, ""},
        {"G58", NcError::Syntax, ""},
        {"G59 X1", NcError::Syntax, ""},
        {"G1 X10", NcError::Syntax, blockMarkers(0) + "G1"},
        {"X10 G1 (last word)", 0, blockMarkers(0) + "X11=10.0 G1\n"},
        {"mirror X", 0, blockMarkers(0) + "set param mirrorX \n"},
    };
    for (const Case& c : cases)
    {
        InterpreterFixture f;
        f.interpreter.setRestrictedMode(true);
        ASSERT_EQ(f.interpreter.beginProgram(), 0u);
        EXPECT_EQ(f.interpreter.translateBlock(c.block), c.error) << c.block;
        EXPECT_EQ(programText(f.interpreter), c.text) << c.block;
        EXPECT_EQ(f.channel.logged(3258), c.error == NcError::RestrictedM) << c.block;
        if (c.error == NcError::RestrictedM && std::string(c.block) == "N7 M3")
        {
            EXPECT_EQ(f.channel.messages[0].args, (std::vector<std::string>{"1", "7"}));
        }
    }
    // Block search alone does not refuse M words.
    InterpreterFixture f;
    f.interpreter.setBlockSearch(2, 3);
    ASSERT_EQ(f.interpreter.beginProgram(), 0u);
    EXPECT_EQ(f.interpreter.translateBlock("M3"), 0u);
}

TEST(TranslatorGolden, LabelsAndTrace)
{
    InterpreterFixture f;
    ASSERT_EQ(f.interpreter.beginProgram(), 0u);
    EXPECT_EQ(f.interpreter.translateBlock("L7"), 0u);
    EXPECT_EQ(f.interpreter.translateBlock("X1 L8"), 0u);
    // A label already defined fails its block; a referenced one may still be defined.
    EXPECT_EQ(f.interpreter.translateBlock("L7"), NcError::Syntax);
    EXPECT_EQ(f.interpreter.translateBlock("L8"), 0u);

    InterpreterFixture traced;
    traced.interpreter.setTraceMode(1);
    ASSERT_EQ(traced.interpreter.beginProgram(), 0u);
    EXPECT_EQ(traced.interpreter.translateBlock("X1 (go)  "), 0u);
    ASSERT_EQ(traced.channel.messages.size(), 1u);
    EXPECT_EQ(traced.channel.messages[0].category, 0x41u);
    EXPECT_EQ(traced.channel.messages[0].number, 0x600u);
    EXPECT_EQ(traced.channel.messages[0].args, (std::vector<std::string>{"1", "X1 (go)"}));
}

TEST(TranslatorGolden, FullProgramTextFails)
{
    RecordingChannel channel;
    CCorvantaInterpreter interpreter(channel, 40, 8);
    ASSERT_EQ(interpreter.beginProgram(), 0u);
    EXPECT_EQ(interpreter.translateBlock("X1"), 0u);
    EXPECT_EQ(interpreter.translateBlock("X10 Y20 Z30 F100"), NcError::TextBufferFull);
    EXPECT_TRUE(channel.logged(0x403));
    // The first block and the pieces of the second that fitted stay.
    EXPECT_EQ(programText(interpreter).substr(0, 19), blockMarkers(0) + "X11=1.0 \n");
}
