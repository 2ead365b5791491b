// The interpolation rules a motion runs under: feed type, interpolation
// kind and sense, exact stop, corner and radius-correction data, and the
// collision switch. The kernel reads the first six; the radius correction
// and the collision detection of the group read the rest.
#include "interpreter.h"

CInterpreter::RuleWords CInterpreter::currentRuleWords() const
{
    const int ipol = m_block.m_ipolMode;
    const bool circular = ipol == 2 || ipol == 3;
    std::int32_t correction = 0;
    if (m_radiusCorrection == 41)
        correction = 1;
    else if (m_radiusCorrection == 42)
        correction = -1;
    RuleWords w{};
    w[0] = ipol == 0 ? 1u : static_cast<std::uint32_t>(m_block.m_feedMode); // rapid, else the feed mode
    w[1] = circular ? 0u : 1u;                                              // linear
    w[2] = ipol == 2 ? 1u : 0u;                                             // clockwise
    w[3] = (m_block.m_exactStop || m_exactStopModal) ? 1u : 0u;
    w[4] = m_g62 ? 1u : 0u;
    w[5] = static_cast<std::uint32_t>(correction);
    w[6] = static_cast<std::uint32_t>(m_block.m_toolCorrection);
    w[7] = 0; // approach kind and variant: no word of the dialect sets them
    w[8] = 0;
    w[9] = static_cast<std::uint32_t>(ipol);
    w[10] = m_modal[ModalCollision] == 0x200C ? 1u : 0u; // "cdon"
    return w;
}

// Called once the block's motion is known: the rules go out with the block
// when they differ from those the group last got.
void CInterpreter::noteMotionRules()
{
    const RuleWords words = currentRuleWords();
    if (m_rulesSent && words == m_sentRules)
        return;
    m_pendingRules = words;
    m_rulesPending = true;
}
