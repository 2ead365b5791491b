// Directives "#...#" of the block translator: settings with argument lists,
// reads, skips, and raw stack text, which is copied unchanged.
#include <cctype>
#include <cstring>

#include "interpreter.h"
#include "translator.h"

struct DirectiveSetting
{
    const char* keyword;
    int count;          // arguments, or AnyCount
    const char* setter; // once per argument, or once in all
    bool once;
};

namespace
{
constexpr int AnyCount = -1;
using Setting = DirectiveSetting;

// "set param <keyword>(...)".
const Setting ParamSettings[] = {
    {"VeloJump", 3, "popcVeloJump ", false},
    {"VeloMin", 1, "popcVeloMin ", false},
    {"C1ReductionFactor", 1, "popcVeloReductionC1 ", false},
    {"C2ReductionFactor", 1, "popcVeloReductionC2 ", false},
    {"DevAngle", 3, "popcVeloDevAngle ", false},
    {"PathDynamics", 3, "popcPathDynamic ", false},
    {"AxisDynamics", 4, "popcAxDyn ", false},
    {"CircularSmoothing", 1, "popcCircularSmoothing ", false},
    {"SplineSmoothing", 1, "popcSplineSmoothing ", false},
    {"AutoAccurateStop", 1, "popcAutoAccurateStop ", false},
    {"RadiusPrec", 1, "popcRadiusPrec ", false},
    {"VertexSmoothing", 2, "popcVParams ", false},
};

// "set <keyword>(...)".
const Setting SetSettings[] = {
    {"RParam", AnyCount, "popcSetRP ", false},
    {"CfgBuildGroup", AnyCount, "popcCfgCreateGrp ", false},
    {"CfgClearGroup", 0, "CfgClearGrp ", true},
    {"ToolParam", 3, "popcToolP3 popcToolP2 popcToolP1 ", true},
};

const Setting VirtualMovements = {"VirtualMovements", 1, "popcVMove ", false};
} // namespace

// "(a;b;...)": each argument a number or an R parameter, pushed in order.
bool CBlockTranslator::argumentList(std::string& pushes, int& count)
{
    count = 0;
    if (!expect('('))
        return syntax();
    if (expect(')'))
        return true;
    for (;;)
    {
        if (!argumentOperand(pushes))
            return syntax();
        ++count;
        if (expect(')'))
            return true;
        if (!expect(';'))
            return syntax();
    }
}

// An argument list and the setter text of its setting.
bool CBlockTranslator::listSetting(const DirectiveSetting& setting, std::string& text)
{
    int given = 0;
    if (!argumentList(text, given))
        return false;
    if (setting.count != AnyCount && given != setting.count)
        return syntax();
    for (int i = 0; i < (setting.once ? 1 : given); ++i)
        text += setting.setter;
    return true;
}

bool CBlockTranslator::paramSetting(std::string& text)
{
    if (keyword("ZeroShift"))
    {
        std::uint32_t g = 0;
        if (!expect('(') || std::toupper(static_cast<unsigned char>(at())) != 'G')
            return syntax();
        ++m_pos;
        if (!readIndex(g))
            return syntax();
        text = "pushc" + std::to_string(g) + " ";
        while (!expect(')'))
            if (!expect(';') || !argumentOperand(text))
                return syntax();
        text += "popcZS ";
        return true;
    }
    if (keyword("PlanAxis"))
    {
        std::uint32_t axis = 0;
        if (!expect('(') || !readIndex(axis) || !expect(')'))
            return syntax();
        text = "PlanAxis=" + std::to_string(axis) + " ";
        return true;
    }
    for (const Setting& s : ParamSettings)
        if (keyword(s.keyword))
            return listSetting(s, text);
    return syntax();
}

// "get toolParam(<tool>;<n>;R<dest>)": the executor's tool read takes the
// index of the R parameter (not its value) and all three setters.
bool CBlockTranslator::toolRead(std::string& text)
{
    if (!expect('('))
        return syntax();
    for (int i = 0; i < 2; ++i)
        if (!argumentOperand(text) || !expect(';'))
            return syntax();
    std::uint32_t destination = 0;
    if (!readR(destination) || !expect(')'))
        return syntax();
    text += "pushc" + std::to_string(destination) + " popcToolRP3 popcToolP2 popcToolP1 ";
    return true;
}

void CBlockTranslator::directive()
{
    const std::size_t start = m_pos + 1;
    const std::size_t end = m_block.find('#', start);
    if (end == std::string::npos)
        return (void)syntax();
    if (!emitMarkers())
        return;
    m_pos = start;
    std::string text;
    // A known directive ends at its closing mark.
    auto done = [&](bool ok)
    {
        if (!ok)
            return;
        if (!expect('#'))
            return (void)syntax();
        emit(text);
    };
    if (keyword("set "))
    {
        skipBlanks();
        if (keyword("param"))
        {
            skipBlanks();
            return done(paramSetting(text));
        }
        if (keyword("QPos"))
        {
            text = "QPos ";
            return done(true);
        }
        for (const Setting& s : SetSettings)
            if (keyword(s.keyword))
                return done(listSetting(s, text));
    }
    else if (keyword("get "))
    {
        skipBlanks();
        if (keyword("PathAxesPos"))
        {
            std::uint32_t r[3];
            std::string unused;
            skipBlanks();
            if (!bracketList('(', ')', 3, unused, r, true))
                return;
            text = "getPathAxesPos R" + std::to_string(r[0]) + " R" + std::to_string(r[1]) + " R" +
                   std::to_string(r[2]) + " ";
            return done(true);
        }
        if (keyword("toolParam"))
            return done(toolRead(text));
    }
    else if (keyword("skip "))
    {
        skipBlanks();
        if (keyword("VirtualMovements"))
            return done(listSetting(VirtualMovements, text));
        if (keyword("MSG("))
        {
            const std::size_t close = m_block.find(')', m_pos);
            if (close == std::string::npos || close > end)
                return (void)syntax();
            std::string message = m_block.substr(m_pos, close - m_pos);
            if (message.size() > 80)
                message.resize(80);
            m_pos = close + 1;
            // The size lets the executor take exactly the text.
            text = "MSG size=" + std::to_string(message.size()) + " text=" + message + " ";
            return done(true);
        }
    }
    // Anything else between the marks is stack text as it stands.
    m_pos = end + 1;
    emit(m_block.substr(start, end - start));
}
