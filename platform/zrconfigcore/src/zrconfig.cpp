// ZrConfigIO: one request on the stored firewall settings per call.
#include "store.h"

#include <zrconfigcore/zrconfig.h>

#include <cstring>
#include <mutex>

namespace
{
using namespace zrconfig;

struct PlannedFailure
{
    DWORD code;
    DWORD callsLeft; // 1: the next call of the code
    LONG result;
};

// Calls of this process run one at a time, so that a read-change-write is not interleaved.
std::mutex g_lock;
std::vector<PlannedFailure> g_failures;
std::vector<ZrConfigCall> g_calls;

std::optional<LONG> plannedResult(DWORD code)
{
    std::optional<LONG> result;
    for (auto it = g_failures.begin(); it != g_failures.end();)
    {
        if (it->code == code && --it->callsLeft == 0)
        {
            if (!result)
                result = it->result;
            it = g_failures.erase(it);
        }
        else
            ++it;
    }
    return result;
}

LONG store(const FirewallState& state)
{
    return storeState(state) ? 0 : ZRCONFIG_E_STORAGE;
}

LONG setSwitch(DWORD index, LPDWORD size, bool FirewallState::*field)
{
    if (!size || *size != 1)
        return ZRCONFIG_E_BAD_SIZE;
    if (index > 1)
        return ZRCONFIG_E_BAD_VALUE;
    FirewallState state = loadState();
    state.*field = index == 1;
    return store(state);
}

LONG getSwitch(LPVOID buffer, LPDWORD size, bool FirewallState::*field)
{
    if (!buffer || !size || *size != 4)
        return ZRCONFIG_E_BAD_SIZE;
    const DWORD value = loadState().*field ? 1 : 0;
    std::memcpy(buffer, &value, sizeof value);
    return 0;
}

LONG request(DWORD code, DWORD index, LPVOID buffer, LPDWORD size)
{
    switch (code)
    {
    case ZRCONFIG_SET_FIREWALL:
        return setSwitch(index, size, &FirewallState::enabled);
    case ZRCONFIG_GET_FIREWALL:
        return getSwitch(buffer, size, &FirewallState::enabled);
    case ZRCONFIG_SET_PERSISTENT:
        return setSwitch(index, size, &FirewallState::persistent);
    case ZRCONFIG_GET_PERSISTENT:
        return getSwitch(buffer, size, &FirewallState::persistent);
    case ZRCONFIG_APPEND_RULE:
    {
        if (!buffer || !size || *size != ZRCONFIG_RULE_SIZE)
            return ZRCONFIG_E_BAD_SIZE;
        FirewallState state = loadState();
        if (state.rules.size() >= ZRCONFIG_MAX_RULES)
            return ZRCONFIG_E_FULL;
        RuleRecord record;
        std::memcpy(record.data(), buffer, record.size());
        state.rules.push_back(record);
        return store(state);
    }
    case ZRCONFIG_READ_RULE:
    {
        if (!buffer || !size || *size != ZRCONFIG_RULE_SIZE)
            return ZRCONFIG_E_BAD_SIZE;
        const FirewallState state = loadState();
        if (index >= state.rules.size())
            return ZRCONFIG_E_NO_RULE;
        std::memcpy(buffer, state.rules[index].data(), ZRCONFIG_RULE_SIZE);
        return 0;
    }
    case ZRCONFIG_DELETE_FIRST:
    {
        if (!size || *size != 1)
            return ZRCONFIG_E_BAD_SIZE;
        FirewallState state = loadState();
        if (state.rules.empty())
            return ZRCONFIG_E_NO_RULE;
        state.rules.erase(state.rules.begin());
        return store(state);
    }
    default:
        return ZRCONFIG_E_UNKNOWN_CODE;
    }
}
} // namespace

extern "C"
{
    __attribute__((visibility("default"))) LONG ZrConfigIO(DWORD code, DWORD index, LPVOID buffer,
                                                           LPDWORD size)
    {
        std::lock_guard guard(g_lock);
        const std::optional<LONG> planned = plannedResult(code);
        const LONG result = planned ? *planned : request(code, index, buffer, size);
        g_calls.push_back(ZrConfigCall{code, index, result});
        return result;
    }

    __attribute__((visibility("default"))) void ZrConfigTestFailCall(DWORD code, DWORD nth, LONG result)
    {
        std::lock_guard guard(g_lock);
        if (nth > 0)
            g_failures.push_back(PlannedFailure{code, nth, result});
    }

    __attribute__((visibility("default"))) DWORD ZrConfigTestCallLog(ZrConfigCall* calls, DWORD capacity)
    {
        std::lock_guard guard(g_lock);
        for (DWORD i = 0; i < capacity && i < g_calls.size(); ++i)
            calls[i] = g_calls[i];
        return static_cast<DWORD>(g_calls.size());
    }

    __attribute__((visibility("default"))) void ZrConfigTestReset()
    {
        std::lock_guard guard(g_lock);
        g_failures.clear();
        g_calls.clear();
    }

    __attribute__((visibility("default"))) void ZrConfigTestRestart()
    {
        std::lock_guard guard(g_lock);
        forgetVolatileState();
    }
}
