#ifndef UASERVER_FIXEDRATETICKER_H
#define UASERVER_FIXEDRATETICKER_H

#include <uathread.h>
#include <uatrace.h>

#include <opcua.h>

// The clock of a thread that works in passes at a fixed rate: each pass is due one interval after
// the one before it was due, however long the passes take, so that the rate does not drift by the
// passes' own time. The passes fall on whole multiples of the interval of the tick count, so that
// threads of the same interval keep step with each other and others can keep clear of them. A pass
// that is due already when the thread asks for it runs at once and is traced as late; one a whole
// interval or more behind also drops the passes it missed, so that an overloaded thread keeps its
// phase instead of running them back to back.
class FixedRateTicker
{
public:
    // who names the thread in the trace.
    FixedRateTicker(OpcUa_UInt32 intervalMs, const char* who)
        : m_interval(intervalMs > 0 ? intervalMs : 1), m_who(who), m_due(nextMultiple(OpcUa_GetTickCount()))
    {
    }

    // The number of the next pass: its due time in intervals of the tick count.
    OpcUa_UInt32 nextPass() const { return m_due / m_interval; }
    // A countdown of passes that reaches 0 on the passes whose numbers are multiples of every, so
    // that passes of every intervals fall on multiples of every intervals of the tick count.
    OpcUa_UInt32 countdownTo(OpcUa_UInt32 every) const
    {
        return every == 0 ? 0 : (every - nextPass() % every) % every + 1;
    }

    // Returns when the next pass is due, at most one interval from now.
    void waitForNextPass()
    {
        const OpcUa_UInt32 now = OpcUa_GetTickCount();
        const auto ahead = static_cast<OpcUa_Int32>(m_due - now);
        if (ahead > static_cast<OpcUa_Int32>(m_interval))
        {
            // The clock went back: the rate starts afresh from now.
            m_due = nextMultiple(now);
            UaThread::sleep(m_due - now);
        }
        else if (ahead > 0)
        {
            UaThread::sleep(static_cast<OpcUa_UInt32>(ahead));
        }
        else if (ahead < 0)
        {
            const auto late = static_cast<OpcUa_UInt32>(-static_cast<OpcUa_Int64>(ahead));
            const OpcUa_UInt32 dropped = late / m_interval;
            m_due += dropped * m_interval;
            if (UaTrace::isTraceLevelOn(2))
                UaTrace::traceLevel2("%s: pass late by %u ms, run at once; %u passes dropped", m_who, late,
                                     dropped);
        }
        m_due += m_interval;
    }

private:
    OpcUa_UInt32 nextMultiple(OpcUa_UInt32 tick) const { return tick - tick % m_interval + m_interval; }

    const OpcUa_UInt32 m_interval;
    const char* m_who;
    OpcUa_UInt32 m_due;
};

#endif
