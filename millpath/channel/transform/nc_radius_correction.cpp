#include "nc_radius_correction.h"

#include "trans_codes.h"
#include "trans_table.h"

void CBNcRadiusCorrection::Reset()
{
    m_status = 0;
    m_mode = ModeOff;
    m_plane = -1;
    m_approach = -1;
    m_side = 255;
    m_radius = 0.0;
    m_switchPending = 0;
}

// Until the corner handlers exist, every element leaves as it came.
int CBNcRadiusCorrection::Step(CTransElement* node)
{
    if (!node || !node->m_entry)
        return CorrectionResult::NoNode;
    node->m_state = CTransElement::Ready;
    return CorrectionResult::Ok;
}
