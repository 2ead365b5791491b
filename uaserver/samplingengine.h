#ifndef UASERVER_SAMPLINGENGINE_H
#define UASERVER_SAMPLINGENGINE_H

#include <uamutex.h>
#include <uathread.h>

#include <opcua.h>

#include <atomic>
#include <vector>

// What the sampling engine calls on every tick of an object's interval.
class SamplingObject
{
public:
    virtual ~SamplingObject() = default;
    // Runs on the engine's thread with the engine's mutex held.
    virtual void sendIfChanged() = 0;
};

// A thread that calls sampling objects at a small set of fixed intervals. A requested interval is
// revised to the nearest interval of the set and the object joins that interval's list; every base
// interval (the smallest of the set) the thread counts each interval down and calls the objects of
// the intervals that are due, in the order they were added. Each pass is due one base interval
// after the previous one was due, so the intervals do not drift by the passes' own time. The engine
// does not own the objects: whoever adds one removes it before destroying it.
class SamplingEngine final : public UaThread
{
public:
    // The default set: 50, 100, 250, 500, 1000, 2500 and 5000 ms.
    SamplingEngine();
    // The set is cleaned as normalizeIntervals does; each interval becomes a whole number of base
    // intervals (rounded down).
    SamplingEngine(OpcUa_UInt32 count, const OpcUa_UInt32* intervals);
    // Stops the thread and waits for it; the objects are not touched.
    ~SamplingEngine() override;

    // samplingInterval in: the wanted interval (ms); out: the revised one. Always succeeds.
    void addItem(SamplingObject* item, OpcUa_Int32& samplingInterval);
    // samplingInterval is the revised one addItem gave; an unknown interval or item changes nothing.
    void removeItem(SamplingObject* item, OpcUa_Int32 samplingInterval);

    OpcUa_UInt32 intervalCount() const { return static_cast<OpcUa_UInt32>(m_rates.size()); }
    // The interval and its tick count (interval / base interval).
    OpcUa_Int32 interval(OpcUa_UInt32 i) const { return m_intervals[i]; }
    OpcUa_Int32 ticks(OpcUa_UInt32 i) const { return m_rates[i].ticks; }

    static const std::vector<OpcUa_UInt32>& defaultIntervals();
    // A set of sampling rates as the engines use it: zeros dropped, sorted ascending, duplicates
    // removed, an empty result replaced by the default set. A 0 would leave a tick count of 0 (never
    // sampled) and a set out of order a base interval larger than later ones. True when a 0 was
    // dropped.
    static bool normalizeIntervals(std::vector<OpcUa_UInt32>& intervals);
    // The position of the interval nearest to requested; the earlier one wins a tie.
    template <typename Interval>
    static std::size_t nearest(const std::vector<Interval>& set, OpcUa_Int64 requested)
    {
        std::size_t best = 0;
        for (std::size_t i = 1; i < set.size(); ++i)
            if (distance(set[i], requested) < distance(set[best], requested))
                best = i;
        return best;
    }

protected:
    void run() override;

private:
    struct Rate
    {
        OpcUa_Int32 counter;
        OpcUa_Int32 ticks;
        OpcUa_Int32 interval;
        std::vector<SamplingObject*> items;
    };

    template <typename Interval> static OpcUa_Int64 distance(Interval interval, OpcUa_Int64 requested)
    {
        const OpcUa_Int64 difference = static_cast<OpcUa_Int64>(interval) - requested;
        return difference < 0 ? -difference : difference;
    }
    void setUp(std::vector<OpcUa_UInt32> intervals);

    std::atomic<bool> m_stop{false};
    std::vector<Rate> m_rates;
    // The revised intervals again, read without the mutex.
    std::vector<OpcUa_Int32> m_intervals;
    OpcUa_Int32 m_baseInterval = 0;
    UaMutex m_mutex;
};

#endif
