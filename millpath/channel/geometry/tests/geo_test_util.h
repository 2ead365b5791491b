// Shared checks of the geometry tests.
#pragma once

#include "vec3d.h"

#include <gtest/gtest.h>

#include <numbers>

constexpr double kPi = std::numbers::pi;

inline ::testing::AssertionResult VecNear(const CVec3d& actual, const CVec3d& expected, double tol = 1e-9)
{
    if (Distance(actual, expected) <= tol)
    {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "(" << actual.GetX() << ", " << actual.GetY() << ", " << actual.GetZ() << ") is not within "
           << tol << " of (" << expected.GetX() << ", " << expected.GetY() << ", " << expected.GetZ() << ")";
}

// An object of Base that counts its deletion, to show who owns it.
template <class Base> struct DeletionCounted : Base
{
    explicit DeletionCounted(int& deleted) : m_deleted(deleted) {}
    ~DeletionCounted() override { ++m_deleted; }
    int& m_deleted;
};
