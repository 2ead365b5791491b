// The tool radius correction that works on the nodes of the transformer's
// look-ahead table. Its main step treats the node at the head of the table;
// the table lets an entry leave once its node is ready (state 1).
#pragma once

#include <cstdint>

class CTransElement;
class CTransTable;

class CBNcRadiusCorrection
{
public:
    // Modes.
    static constexpr int ModeOff = 0;
    static constexpr int ModeActive = 1;
    static constexpr int ModeSwitchOn = 2;
    static constexpr int ModeSwitchOff = 3;

    explicit CBNcRadiusCorrection(CTransTable& table) : m_table(table) { Reset(); }
    CBNcRadiusCorrection(const CBNcRadiusCorrection&) = delete;
    CBNcRadiusCorrection& operator=(const CBNcRadiusCorrection&) = delete;
    virtual ~CBNcRadiusCorrection() = default;

    virtual void Reset();
    // The main step on the node at the head of the table: 0 when the node may
    // leave, -666 when more look-ahead is needed, else an error.
    virtual int Step(CTransElement* node);

    int Mode() const { return m_mode; }
    int Status() const { return m_status; }

protected:
    CTransTable& m_table;
    std::int32_t m_status = 0;
    std::int32_t m_mode = ModeOff;
    std::int32_t m_plane = -1;
    std::int32_t m_approach = -1;
    std::uint8_t m_side = 255;
    double m_radius = 0.0;
    std::uint8_t m_switchPending = 0;
};
