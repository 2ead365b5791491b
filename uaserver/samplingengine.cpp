#include "samplingengine.h"

#include "fixedrateticker.h"

#include <algorithm>
#include <limits>

const std::vector<OpcUa_UInt32>& SamplingEngine::defaultIntervals()
{
    static const std::vector<OpcUa_UInt32> intervals{50, 100, 250, 500, 1000, 2500, 5000};
    return intervals;
}

bool SamplingEngine::normalizeIntervals(std::vector<OpcUa_UInt32>& intervals)
{
    const auto zeros = std::remove(intervals.begin(), intervals.end(), 0u);
    const bool zeroSeen = zeros != intervals.end();
    intervals.erase(zeros, intervals.end());
    std::sort(intervals.begin(), intervals.end());
    intervals.erase(std::unique(intervals.begin(), intervals.end()), intervals.end());
    if (intervals.empty())
        intervals = defaultIntervals();
    return zeroSeen;
}

SamplingEngine::SamplingEngine()
{
    setUp(defaultIntervals());
}

SamplingEngine::SamplingEngine(OpcUa_UInt32 count, const OpcUa_UInt32* intervals)
{
    setUp(intervals ? std::vector<OpcUa_UInt32>(intervals, intervals + count) : std::vector<OpcUa_UInt32>());
}

void SamplingEngine::setUp(std::vector<OpcUa_UInt32> intervals)
{
    normalizeIntervals(intervals);
    constexpr OpcUa_UInt32 largest = std::numeric_limits<OpcUa_Int32>::max();
    m_baseInterval = static_cast<OpcUa_Int32>(std::min(intervals.front(), largest));
    for (OpcUa_UInt32 wanted : intervals)
    {
        const auto ticks = static_cast<OpcUa_Int32>(std::min(wanted, largest) / m_baseInterval);
        m_rates.push_back(Rate{ticks, ticks, ticks * m_baseInterval, {}});
        m_intervals.push_back(ticks * m_baseInterval);
    }
    start();
}

SamplingEngine::~SamplingEngine()
{
    m_stop = true;
    wait(OpcUa_Infinite);
    while (isRunning())
        UaThread::sleep(100);
}

void SamplingEngine::addItem(SamplingObject* item, OpcUa_Int32& samplingInterval)
{
    const std::size_t i = nearest(m_intervals, samplingInterval);
    samplingInterval = m_rates[i].interval;
    UaMutexLocker locker(&m_mutex);
    m_rates[i].items.push_back(item);
}

void SamplingEngine::removeItem(SamplingObject* item, OpcUa_Int32 samplingInterval)
{
    auto rate = std::find_if(m_rates.begin(), m_rates.end(),
                             [samplingInterval](const Rate& r) { return r.interval == samplingInterval; });
    if (rate == m_rates.end())
        return;
    UaMutexLocker locker(&m_mutex);
    auto found = std::find(rate->items.begin(), rate->items.end(), item);
    if (found != rate->items.end())
        rate->items.erase(found);
}

void SamplingEngine::run()
{
    FixedRateTicker ticker(static_cast<OpcUa_UInt32>(m_baseInterval), "SamplingEngine");
    {
        // Each interval samples on its multiples of the tick count.
        UaMutexLocker locker(&m_mutex);
        for (Rate& rate : m_rates)
            rate.counter =
                static_cast<OpcUa_Int32>(ticker.countdownTo(static_cast<OpcUa_UInt32>(rate.ticks)));
    }
    while (!m_stop)
    {
        ticker.waitForNextPass();
        if (m_stop)
            break;
        UaMutexLocker locker(&m_mutex);
        for (Rate& rate : m_rates)
        {
            if (--rate.counter <= 0)
            {
                rate.counter = rate.ticks;
                for (SamplingObject* item : rate.items)
                    item->sendIfChanged();
            }
            if (m_stop)
                break;
        }
    }
    m_stop = false;
}
