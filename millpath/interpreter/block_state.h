// The block state of a group: what the words of one block programmed and what
// the block flush turns into entries. Axis numbers 0, 1, 2 are X, Y, Z.
#pragma once

#include <cstdint>

#include "vec3d.h"

struct CBlockState
{
    static constexpr int MCount = 160;
    static constexpr int AuxAxes = 5;

    // Raises the block's output once per block; pendingOutputs is the
    // interpreter's count of outputs not yet handed to the channel.
    void markOutput(int& pendingOutputs)
    {
        if (!m_hasOutput)
        {
            m_hasOutput = true;
            ++pendingOutputs;
        }
    }
    // Marks the block as changed (counted once per block).
    void markChanged(int& pendingOutputs)
    {
        if (m_changedCount == 0)
            ++m_changedCount;
        markOutput(pendingOutputs);
    }

    // Geometry.
    CVec3d m_start;  // start point (previous target)
    CVec3d m_target; // target point (block coordinates)
    bool m_axisProgrammed[3] = {false, false, false};
    int m_programmedAxes = 0; // count of programmed axes (incl. Q and angle)
    CVec3d m_centre;          // circle-centre offsets I, J, K from the start
    bool m_centreProgrammed[3] = {false, false, false};
    bool m_centreSet[3] = {false, false, false};
    CVec3d m_rotation; // arc axis with the swept angle as length
    double m_radius = 0.0;
    bool m_radiusProgrammed = false;
    int m_plane = 0;    // 0 XY, 1 YZ, 2 ZX
    bool m_ccw = false; // after G3
    int m_ipolMode = 0; // 0 rapid, 1 linear, 2/3 circular, 33..35 thread/tapping
    bool m_helix = false;
    bool m_motionProgrammed = false;
    int m_changedCount = 0;
    bool m_hasOutput = false;
    bool m_centreCorrection = false;
    bool m_pendingChange = false;
    bool m_norm = false;
    bool m_exactStop = false; // G9 in this block

    // Angle-programmed end points.
    double m_angle = 0.0;
    bool m_angleProgrammed = false;
    double m_length = 0.0;
    bool m_lengthGiven = false;

    // Additional axes Q1..Q5 (index 0 is Q1).
    double m_aux[AuxAxes] = {};
    bool m_auxProgrammed[AuxAxes] = {};

    // Feed and spindle.
    double m_feed = 0.0;          // path feed (feed modes 0, 1)
    double m_machiningTime = 0.0; // feed mode 3
    double m_revFeed = 0.0;       // feed modes 4..6
    int m_feedMode = 0;           // 0 per minute, 3 time, 4 per revolution, 5/6 cutting speed
    double m_spindleSpeed = 0.0;
    bool m_spindlePending = false;

    // Tool.
    int m_tool = 0;
    bool m_toolPending = false;
    int m_toolCorrection = 0; // D

    // Dwell.
    bool m_dwell = false; // G4 in this block
    double m_dwellTime = 0.0;
    bool m_dwellPending = false;

    // H value, stop, measuring mode, channel synchronisation.
    bool m_hValuePending = false;
    std::int32_t m_hValue = 0;
    bool m_spindleTestPending = false;
    bool m_stopPending = false;
    bool m_measPending = false;
    int m_measMode = 0;
    bool m_mClearPending = false;
    bool m_syncPending = false;
    std::uint32_t m_syncMask[8] = {};

    // One-axis moves ("POSA") and step-on conditions ("WAITP") of up to eight
    // axes each; an axis number of 0 marks a free place.
    static constexpr int OneAxisPlaces = 8;
    struct OneAxisMove
    {
        int m_axis = 0;
        double m_target = 0.0;
    };
    struct StepOn
    {
        int m_axis = 0;
        int m_mode = 0;       // the condition
        double m_value = 0.0; // its parameter
        double m_value2 = 0.0;
    };
    OneAxisMove m_oneAxis[OneAxisPlaces];
    StepOn m_stepOn[OneAxisPlaces];
    bool m_oneAxisPending = false;

    bool m_g74 = false; // G74 in this block

    // M functions: flag byte per M number, pending bits (see the M definitions).
    std::uint8_t m_mFlags[MCount] = {};
};
