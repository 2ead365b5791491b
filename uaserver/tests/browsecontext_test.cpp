// The browse context: what it borrows, when it copies, and who owns its continuation point.
#include "browsecontext.h"
#include "browsecontinuationpoint.h"

#include <gtest/gtest.h>

namespace
{
class CountedContinuationPoint : public BrowseContinuationPoint
{
public:
    explicit CountedContinuationPoint(bool& ended) : m_ended(ended) {}
    ~CountedContinuationPoint() override { m_ended = true; }

private:
    bool& m_ended;
};

TEST(BrowseContext, ItBorrowsTheRequestUntilItKeepsAContinuationPoint)
{
    OpcUa_ViewDescription view;
    OpcUa_ViewDescription_Initialize(&view);
    UaNodeId(UaString("View"), 2).copyTo(&view.ViewId);
    OpcUa_BrowseDescription description;
    OpcUa_BrowseDescription_Initialize(&description);
    UaNodeId(UaString("Start"), 2).copyTo(&description.NodeId);
    UaNodeId(UaString("Type"), 3).copyTo(&description.ReferenceTypeId);
    description.BrowseDirection = OpcUa_BrowseDirection_Inverse;
    description.IncludeSubtypes = OpcUa_True;
    description.NodeClassMask = 5;
    description.ResultMask = 9;

    bool ended = false;
    {
        BrowseContext context(&view, description, 25);
        EXPECT_TRUE(context.isBorrowed());
        EXPECT_TRUE(context.isDone());
        EXPECT_FALSE(context.hasContinuationPoint());
        EXPECT_EQ(&context.startingNode(), &description.NodeId);
        EXPECT_TRUE(context.hasView());
        EXPECT_EQ(context.maxReferencesPerNode(), 25u);
        EXPECT_EQ(context.browseDirection(), 1u);
        EXPECT_TRUE(context.includeSubtypes());
        EXPECT_EQ(context.nodeClassMask(), 5u);
        EXPECT_EQ(context.resultMask(), 9u);

        auto* continuationPoint = new CountedContinuationPoint(ended);
        context.setContinuationPoint(continuationPoint);
        EXPECT_FALSE(context.isBorrowed());
        EXPECT_FALSE(context.isDone());
        // The request may go now.
        OpcUa_BrowseDescription_Clear(&description);
        OpcUa_ViewDescription_Clear(&view);
        EXPECT_EQ(context.startingNodeId(), UaNodeId(UaString("Start"), 2));
        EXPECT_EQ(context.referenceTypeId(), UaNodeId(UaString("Type"), 3));
        EXPECT_EQ(UaNodeId(context.view().ViewId), UaNodeId(UaString("View"), 2));

        BrowseContinuationPoint* taken = context.takeContinuationPoint();
        EXPECT_EQ(taken, continuationPoint);
        EXPECT_TRUE(context.isDone());
        EXPECT_EQ(context.takeContinuationPoint(), nullptr);
        context.setContinuationPoint(taken);
        EXPECT_FALSE(ended);
    }
    EXPECT_TRUE(ended) << "the context owned the continuation point it kept";
}

TEST(BrowseContext, AnEmptyContextNamesNothing)
{
    BrowseContext context;
    EXPECT_FALSE(context.hasView());
    EXPECT_TRUE(context.startingNodeId().isNull());
    EXPECT_TRUE(context.referenceTypeId().isNull());
    EXPECT_EQ(context.browseFilter(), nullptr);
    context.setCheckValue(200);
    EXPECT_EQ(context.checkValue(), 200);
}
} // namespace
