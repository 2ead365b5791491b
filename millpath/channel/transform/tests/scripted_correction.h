// A radius correction whose step answers what a test scripts, for the chain
// tests that need the correction's results without its geometry.
#pragma once

#include <deque>

#include "nc_radius_correction.h"
#include "trans_table.h"

class ScriptedCorrection : public CBNcRadiusCorrection
{
public:
    using CBNcRadiusCorrection::CBNcRadiusCorrection;

    // Answers the next scripted result (then `always`); a result of 0 marks
    // the node ready, as the correction does once it has treated it.
    int Step(CTransElement* node) override
    {
        ++steps;
        int result = always;
        if (!results.empty())
        {
            result = results.front();
            results.pop_front();
        }
        if (result == 0 && node)
            node->m_state = CTransElement::Ready;
        return result;
    }

    std::deque<int> results;
    int always = 0;
    int steps = 0;
};

// The factory for a table or transformer, keeping a pointer for the test.
inline CTransTable::CorrectionFactory Scripted(ScriptedCorrection*& out)
{
    return [&out](CTransTable& table)
    {
        auto correction = std::make_unique<ScriptedCorrection>(table);
        out = correction.get();
        return correction;
    };
}
