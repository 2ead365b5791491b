// Result codes of the plane geometry and the offset elements.
#pragma once

namespace GeoResult
{
constexpr int Ok = 0;
constexpr int NoIntersection = -1;
constexpr int OnePoint = 1;
constexpr int TwoPoints = 2;
constexpr int Coincident = 3;

constexpr int OutOfRange = -4812;    // element leaves the range box
constexpr int NoRangeTest = -773;    // base element has no range test
constexpr int BadPlane = -553;       // plane number other than 0..2
constexpr int Invalid = -551;        // bad side, direction, flag, radius, length or arc data
constexpr int Reverses = -550;       // extended/shortened element would reverse or vanish
constexpr int NoChoice = -539;       // no intersection point could be chosen
constexpr int NoSweep = -526;        // no sweep angle between two radius vectors
constexpr int RadiusNegative = -525; // offset radius of an arc would become negative

constexpr int TangentNotAvailable = 16; // geometry object without tangents
constexpr int TangentZero = 17;         // arc whose start tangent has length 0
} // namespace GeoResult
