#include "geo3d_obj.h"
#include "geo_codes.h"
#include "geo_entry_util.h"
#include "geo_test_util.h"

TEST(Geo3dObj, TangentTable)
{
    struct
    {
        const char* name;
        std::unique_ptr<CEntryGeo_3D> entry;
        int startResult;
        CVec3d start;
        int endResult;
        CVec3d end;
    } cases[] = {
        {"line", LineEntry(CVec3d(1, 1, 0), CVec3d(4, 5, 0)), 0, CVec3d(0.6, 0.8, 0), 0, CVec3d(0.6, 0.8, 0)},
        {"zero-length line", LineEntry(CVec3d(1, 1, 1), CVec3d(1, 1, 1)), 0, CVec3d(), 0, CVec3d()},
        {"ccw quarter", ArcEntry(CVec3d(1, 0, 0), CVec3d(0, 1, 0), CVec3d(), CVec3d(0, 0, kPi / 2)), 0,
         CVec3d(0, 1, 0), 0, CVec3d(-1, 0, 0)},
        {"cw quarter", ArcEntry(CVec3d(1, 0, 0), CVec3d(0, -1, 0), CVec3d(), CVec3d(0, 0, -kPi / 2)), 0,
         CVec3d(0, -1, 0), 0, CVec3d(-1, 0, 0)},
        {"ccw about x", ArcEntry(CVec3d(0, 2, 0), CVec3d(0, -2, 0), CVec3d(), CVec3d(kPi, 0, 0)), 0,
         CVec3d(0, 0, 1), 0, CVec3d(0, 0, -1)},
        {"arc without sweep", ArcEntry(CVec3d(1, 0, 0), CVec3d(1, 0, 0), CVec3d(), CVec3d()),
         GeoResult::TangentZero, CVec3d(), GeoResult::TangentZero, CVec3d()},
        {"arc without radius", ArcEntry(CVec3d(), CVec3d(), CVec3d(), CVec3d(0, 0, 1)),
         GeoResult::TangentZero, CVec3d(), GeoResult::TangentZero, CVec3d()},
    };
    for (const auto& c : cases)
    {
        std::unique_ptr<CGeo3dObj> obj;
        if (GeoKindOf(*c.entry) == 0)
            obj = std::make_unique<CGeo3dLineObj>(*c.entry);
        else
            obj = std::make_unique<CGeo3dCircleObj>(*c.entry);
        CVec3d t(9, 9, 9);
        EXPECT_EQ(obj->StartTangent(t), c.startResult) << c.name;
        EXPECT_TRUE(VecNear(t, c.start, 1e-12)) << c.name;
        t.Set(9, 9, 9);
        EXPECT_EQ(obj->EndTangent(t), c.endResult) << c.name;
        EXPECT_TRUE(VecNear(t, c.end, 1e-12)) << c.name;
    }
}

TEST(Geo3dObj, BaseAndHelixHaveNoTangents)
{
    auto helix = ArcEntry(CVec3d(1, 0, 0), CVec3d(-1, 0, 5), CVec3d(), CVec3d(0, 0, kPi), 2);
    const CGeo3dHelixObj h(*helix);
    const CGeo3dObj base(*helix);
    CVec3d t(9, 9, 9);
    EXPECT_EQ(h.StartTangent(t), GeoResult::TangentNotAvailable);
    EXPECT_EQ(h.EndTangent(t), GeoResult::TangentNotAvailable);
    EXPECT_EQ(base.StartTangent(t), GeoResult::TangentNotAvailable);
    EXPECT_TRUE(VecNear(t, CVec3d(9, 9, 9), 0));
    EXPECT_TRUE(VecNear(h.End(), CVec3d(-1, 0, 5), 0));
    EXPECT_EQ(&h.Entry(), helix.get());
}
