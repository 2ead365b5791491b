#include "ipol_rule_tracer.h"

void CIpolRuleTracer::enable(bool on)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_enabled = on;
}

bool CIpolRuleTracer::enabled() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_enabled;
}

void CIpolRuleTracer::setWord(int index, std::uint32_t value)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (index >= 1 && index < Words)
        m_words[static_cast<std::size_t>(index)] = value;
}

void CIpolRuleTracer::trace(std::uint32_t blockCounter)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_enabled)
        return;
    m_words[0] = blockCounter;
    m_records.push_back(m_words);
}

std::optional<CIpolRuleTracer::Record> CIpolRuleTracer::fetch(std::uint32_t blockCounter)
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::size_t found = m_records.size();
    for (std::size_t i = 0; i < m_records.size() && m_records[i][0] <= blockCounter; ++i)
        found = i;
    if (found == m_records.size())
        return std::nullopt;
    m_records.erase(m_records.begin(), m_records.begin() + static_cast<std::ptrdiff_t>(found));
    return m_records.front();
}

std::size_t CIpolRuleTracer::size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_records.size();
}
