#include "geo_compare.h"

#include <gtest/gtest.h>

TEST(GeoCompare, TolerantComparisonTable)
{
    struct
    {
        const char* name;
        bool (*fn)(double, double, double);
        double a, b, tol;
        bool expected;
    } cases[] = {
        {"near", NearlyEqual, 1.0, 1.0 + 5e-13, 1e-12, true},
        {"near", NearlyEqual, 1.0, 1.0 + 2e-12, 1e-12, false},
        {"near", NearlyEqual, 1.0, 1.0 + 5e-13, -1e-12, true}, // the tolerance counts by magnitude
        {"less", LessOrNear, 1.0, 2.0, 1e-9, true},
        {"less", LessOrNear, 2.0, 1.0, 1e-9, false},
        {"less", LessOrNear, 1.0 + 1e-10, 1.0, 1e-9, true},
        {"greater", GreaterOrNear, 2.0, 1.0, 1e-9, true},
        {"greater", GreaterOrNear, 1.0, 2.0, 1e-9, false},
        {"greater", GreaterOrNear, 1.0, 1.0 + 1e-10, 1e-9, true},
        {"clearly", ClearlyGreater, 2.0, 1.0, 1e-9, true},
        {"clearly", ClearlyGreater, 1.0 + 1e-10, 1.0, 1e-9, false},
        {"clearly", ClearlyGreater, 1.0, 2.0, 1e-9, false},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.fn(c.a, c.b, c.tol), c.expected) << c.name << " " << c.a << " " << c.b;
    }
}

TEST(GeoCompare, DefaultToleranceForms)
{
    EXPECT_EQ(DefaultTolerance(), 1e-12);
    EXPECT_TRUE(BetweenOrNear(1, 1 + 5e-13, 1));
    EXPECT_FALSE(BetweenOrNear(1, 1 + 5e-12, 1));
    EXPECT_TRUE(BetweenOrNear(0, 0.5, 1));
    EXPECT_FALSE(BetweenOrNear(0, -0.5, 1));
    EXPECT_TRUE(LessOrNear(1.0, 1.0 - 5e-13));
    EXPECT_FALSE(GreaterOrNear(1.0, 1.0 + 5e-12));

    SetDefaultTolerance(1e-6);
    EXPECT_TRUE(BetweenOrNear(1, 1 + 5e-7, 1));
    SetDefaultTolerance(1e-12);
    EXPECT_FALSE(BetweenOrNear(1, 1 + 5e-7, 1));
}

TEST(GeoCompare, PlainComparisons)
{
    EXPECT_EQ(Smallest(5, 3, 1), 1);
    EXPECT_EQ(Smallest(0, 3, 1), 0);
    EXPECT_EQ(Smallest(2, 3, 4), 2);
    EXPECT_EQ(Smallest(4, 3, 5), 3);
    EXPECT_TRUE(Between(0, 0.5, 1));
    EXPECT_FALSE(Between(0, 0, 1)); // strict
    EXPECT_FALSE(Between(0, 1, 1));
    EXPECT_TRUE(IsGreater(2, 1));
    EXPECT_FALSE(IsGreater(1, 1));
    EXPECT_TRUE(IsLess(1, 2));
    EXPECT_FALSE(IsLess(2, 2));
    EXPECT_EQ(Sign(3.5), 1);
    EXPECT_EQ(Sign(-0.1), -1);
    EXPECT_EQ(Sign(0.0), 0);
}
