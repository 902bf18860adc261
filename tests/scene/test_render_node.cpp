// Render nodes: the node matrices (with the quick sine), the matrix stack, the drawing walk and
// its transforms, hidden nodes, passes, the current scene's extra entries, child management and
// what propagates to children.
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "KuBaseScene.h"
#include "KuEventManager.h"
#include "KuLog.h"
#include "KuRenderNode.h"
#include "TestSupport.h"

namespace {

KuPoint transformPoint(const KuMatrix& m, KuPoint p) {
    return KuPoint{m.m[0] * p.x + m.m[4] * p.y + m.m[12], m.m[1] * p.x + m.m[5] * p.y + m.m[13]};
}

// What each probe saw when it drew: its name and the model-view matrix it drew with.
struct Drawn {
    std::string name;
    KuMatrix top;
    int depth;
};
std::vector<Drawn>* drawLog = nullptr;

// Draws itself like an image would: the node's transform, a record, then its children.
class ProbeNode : public KuRenderNode {
public:
    std::string name;
    explicit ProbeNode(std::string n) : name(std::move(n)) {}
    void render() override {
        if (_hidden) return;
        preRender();
        if (drawLog) drawLog->push_back({name, KuMatrixTop(), matrixStackDepth});
        postRender();
    }
    static ProbeNode* make(const std::string& n, KuPoint at = {0, 0}) {
        ProbeNode* p = KuAutorelease(new ProbeNode(n));
        p->position(at);
        return p;
    }
};

class WarningCatcher : public KuLogHooks {
public:
    std::vector<std::string> warnings;
    int appReceivesWarning(const char* text) override {
        warnings.emplace_back(text);
        return 1;
    }
};

class RenderNodeTest : public KuPoolTest {
protected:
    std::vector<Drawn> drawn;
    void SetUp() override {
        KuPoolTest::SetUp();
        drawLog = &drawn;
        KuMatrixStackReset();
    }
    void TearDown() override {
        drawLog = nullptr;
        KuPoolTest::TearDown();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const Drawn& d : drawn)
            out.push_back(d.name);
        return out;
    }
    const Drawn* find(const std::string& name) const {
        for (const Drawn& d : drawn)
            if (d.name == name) return &d;
        return nullptr;
    }
};

TEST(NodeMatrices, QuickSineFollowsItsFormulaAndStaysNearTheSine) {
    // Values worked by hand from the formula: t = θ/π, k = round(t), x = t − k,
    // y = (4 − 4|x|)x, S = (y|y| − y)·0.225 + y, negated for odd k.
    struct Row {
        float theta;
        float expected;
    } rows[] = {
        {0.0f, 0.0f},
        {1.5707964f, 1.0f},  // t = 0.5 rounds away from zero to k = 1: x = −0.5, S = −1, negated
        {-1.5707964f, -1.0f},
        {0.5235988f, 0.5f},        // π/6: y = 5/9, S = 0.5
        {0.3f, 0.294618f},         // the sine is 0.295520: the approximation differs here
        {3.4415927f, -0.294618f},  // π + 0.3: k = 1 is odd
        {-3.4415927f, 0.294618f},
    };
    for (const Row& r : rows)
        EXPECT_NEAR(KuFastSin(r.theta), r.expected, 2e-6) << "theta " << r.theta;
    EXPECT_GT(std::fabs(KuFastSin(0.3f) - std::sin(0.3f)), 5e-4) << "must not be the library sine";

    float worst = 0;
    for (float theta = -20; theta <= 20; theta += 0.01f)
        worst = std::fmax(worst, std::fabs(KuFastSin(theta) - std::sin(theta)));
    EXPECT_LT(worst, 1.2e-3);
}

TEST(NodeMatrices, TranslationScaleAndRotationElements) {
    KuMatrix t = KuMatrixTranslation(3, -4);
    KuMatrix s = KuMatrixScale(2, 0.5f);
    EXPECT_EQ(t.m[12], 3);
    EXPECT_EQ(t.m[13], -4);
    EXPECT_EQ(s.m[0], 2);
    EXPECT_EQ(s.m[5], 0.5f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 11, 14}) {
        EXPECT_EQ(t.m[i], 0) << i;
        EXPECT_EQ(s.m[i], 0) << i;
    }

    for (float degrees : {0.0f, 17.18873f, 90.0f, -135.0f, 400.0f}) {
        KuMatrix r = KuMatrixRotation(degrees);
        float theta = degrees * (-3.1415927f / 180.0f);
        EXPECT_EQ(r.m[0], std::cos(theta)) << degrees;
        EXPECT_EQ(r.m[5], std::cos(theta)) << degrees;
        EXPECT_EQ(r.m[1], KuFastSin(theta)) << degrees;
        EXPECT_EQ(r.m[4], -KuFastSin(theta)) << degrees;
        EXPECT_EQ(r.m[10], 1);
        EXPECT_EQ(r.m[15], 1);
        for (int i : {2, 3, 6, 7, 8, 9, 11, 12, 13, 14})
            EXPECT_EQ(r.m[i], 0) << degrees << " element " << i;
    }
    // Positive angles turn clockwise on a y-up screen: (1, 0) goes to (0, −1).
    KuPoint turned = transformPoint(KuMatrixRotation(90), {1, 0});
    EXPECT_NEAR(turned.x, 0, 1e-6);
    EXPECT_NEAR(turned.y, -1, 1e-6);
}

TEST(NodeMatrices, StackPushCopiesPopStopsAtTheBase) {
    KuMatrixStackReset();
    KuMatrixApply(KuMatrixTranslation(5, 6));
    KuMatrixPush();
    EXPECT_EQ(matrixStackDepth, 1);
    EXPECT_EQ(KuMatrixTop().m[12], 5);  // copied from the entry below
    KuMatrixApply(KuMatrixScale(2, 2));
    EXPECT_EQ(transformPoint(KuMatrixTop(), {1, 1}).x, 7);  // top = top x S: scale, then translate
    KuMatrixPop();
    KuMatrixPop();
    KuMatrixPop();
    EXPECT_EQ(matrixStackDepth, 0);
    EXPECT_EQ(KuMatrixTop().m[0], 1);
    KuMatrixStackReset();
}

TEST_F(RenderNodeTest, ChildrenDrawInOrderWithTheirParentsTransform) {
    KuRenderNode* root = KuRenderNode::renderNode();
    KuRenderNode* group = root->addRender(KuRenderNode::renderNode());
    group->position({100, 50});
    group->scale(2, 3);
    group->addRender(ProbeNode::make("A", {1, 1}));
    group->addRender(ProbeNode::make("B", {-1, 0}));
    KuRenderNode* turned = group->addRender(KuRenderNode::renderNode());
    turned->position({10, 0});
    turned->rotation(90);
    turned->addRender(ProbeNode::make("C", {4, 0}));
    root->addRender(ProbeNode::make("D", {7, 8}));

    root->render();

    ASSERT_EQ(names(), (std::vector<std::string>{"A", "B", "C", "D"}));
    struct Row {
        const char* name;
        KuPoint local;  // a point in the probe's own space
        KuPoint screen;
    } rows[] = {
        {"A", {0, 0}, {102, 53}},  // 100 + 2·1, 50 + 3·1
        {"B", {0, 0}, {98, 50}},   //
        {"C", {0, 0}, {120, 38}},  // (10, 0) + R(90)·(4, 0) = (10, −4), scaled (2, 3)
        {"C", {1, 0}, {120, 35}},  // one more unit along the turned x axis goes down
        {"D", {1, 1}, {8, 9}},
    };
    for (const Row& r : rows) {
        const Drawn* d = find(r.name);
        ASSERT_NE(d, nullptr) << r.name;
        KuPoint p = transformPoint(d->top, r.local);
        EXPECT_NEAR(p.x, r.screen.x, 1e-4) << r.name;
        EXPECT_NEAR(p.y, r.screen.y, 1e-4) << r.name;
    }
    EXPECT_EQ(matrixStackDepth, 0);
}

TEST_F(RenderNodeTest, HiddenNodesDrawNothingInAnyEntryPoint) {
    using Entry = void (*)(KuRenderNode*);
    struct Row {
        const char* name;
        Entry draw;
    } rows[] = {
        {"render", [](KuRenderNode* n) { n->render(); }},
        {"renderAt",
         [](KuRenderNode* n) {
             n->renderAt({3, 3});
         }},
        {"renderPass(2)", [](KuRenderNode* n) { n->renderPass(2); }},
        {"renderChildren", [](KuRenderNode* n) { n->renderChildren(); }},
    };
    for (const Row& r : rows) {
        drawn.clear();
        KuRenderNode* node = KuRenderNode::renderNode();
        node->addRender(ProbeNode::make("child"))->addRender(ProbeNode::make("grandchild"));
        r.draw(node);
        EXPECT_EQ(names().size(), 2u) << r.name << " while shown";
        drawn.clear();
        node->hidden(true);
        r.draw(node);
        EXPECT_TRUE(drawn.empty()) << r.name;
        EXPECT_EQ(matrixStackDepth, 0) << r.name;
    }
    // A hidden child is skipped, its siblings are not.
    drawn.clear();
    KuRenderNode* node = KuRenderNode::renderNode();
    node->addRender(ProbeNode::make("a"));
    node->addRender(ProbeNode::make("b"))->hidden(true);
    node->addRender(ProbeNode::make("c"));
    node->render();
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "c"}));
}

TEST_F(RenderNodeTest, RenderAtReplacesThePositionAndPassesTranslateOnly) {
    KuRenderNode* node = KuRenderNode::renderNode();
    node->position({1000, 1000});
    node->scale(2);
    node->addRender(ProbeNode::make("p", {1, 0}));

    node->renderAt({10, 20});
    KuPoint at = transformPoint(drawn.at(0).top, {0, 0});
    EXPECT_EQ(at.x, 12);
    EXPECT_EQ(at.y, 20);

    drawn.clear();
    node->renderPass(1);
    EXPECT_TRUE(drawn.empty()) << "children are drawn only in pass 2";
    node->renderPass(2);
    ASSERT_EQ(drawn.size(), 1u);
    at = transformPoint(drawn[0].top, {0, 0});
    EXPECT_EQ(at.x, 1001) << "a pass applies the translation but not the scale";
    EXPECT_EQ(at.y, 1000);

    drawn.clear();
    node->renderChildren();
    at = transformPoint(drawn.at(0).top, {0, 0});
    EXPECT_EQ(at.x, 1) << "renderChildren adds no transform of its own";
    EXPECT_EQ(matrixStackDepth, 0);
}

TEST_F(RenderNodeTest, DeepTreesPastTheStackStillDrawSiblingsWithTheirParentsTransform) {
    KuRenderNode* root = KuRenderNode::renderNode();
    KuRenderNode* level = root;
    const int depth = kKuMatrixStackSize + 6;
    for (int i = 0; i < depth; i++) {
        KuRenderNode* next = level->addRender(KuRenderNode::renderNode());
        next->position({1, 0});
        level = next;
    }
    // Two probes side by side at the bottom, each one unit up from their parent.
    level->addRender(ProbeNode::make("first", {0, 1}));
    level->addRender(ProbeNode::make("second", {0, 1}));
    root->render();
    ASSERT_EQ(drawn.size(), 2u);
    for (const Drawn& d : drawn) {
        KuPoint p = transformPoint(d.top, {0, 0});
        EXPECT_EQ(p.x, depth) << d.name;
        EXPECT_EQ(p.y, 1) << d.name;
        EXPECT_EQ(d.depth, kKuMatrixStackSize - 1) << "the depth never passes the last entry";
    }
    EXPECT_EQ(matrixStackDepth, 0);
    EXPECT_EQ(KuMatrixStackOverflowDepth(), 0);
}

TEST_F(RenderNodeTest, TheCurrentSceneDrawsWithoutItsOwnTransformThenItsPassOneEntries) {
    eventManager = new KuEventManager;
    KuBaseScene* scene = new KuBaseScene;
    KuBaseScene::newScene(scene, nullptr);
    scene->position({500, 500});
    scene->scale(4);
    scene->addRender(ProbeNode::make("child", {1, 2}));
    eventManager->_addRenderOrderPass(ProbeNode::make("entry-pass1"), 0, 1);
    eventManager->_addRenderOrderPass(ProbeNode::make("entry-pass2"), 0, 2);
    KuMatrixPush();  // the scene must leave whatever depth it finds
    int before = matrixStackDepth;

    scene->render();
    EXPECT_EQ(names(), (std::vector<std::string>{"child", "entry-pass1"}));
    EXPECT_EQ(transformPoint(drawn.at(0).top, {0, 0}).x, 1) << "the scene adds no transform";
    EXPECT_EQ(matrixStackDepth, before);

    drawn.clear();
    scene->renderPass(2);
    EXPECT_EQ(names(), (std::vector<std::string>{"child", "entry-pass2"}));
    EXPECT_EQ(matrixStackDepth, before);

    KuBaseScene::newScene(nullptr, nullptr);
    KuRelease(eventManager);
    eventManager = nullptr;
    KuMatrixStackReset();
}

TEST_F(RenderNodeTest, AddRenderRetainsNodesAndRefusesOtherObjects) {
    WarningCatcher catcher;
    KuSetLogHooks(&catcher);
    KuRenderNode* node = KuRenderNode::renderNode();
    KuRenderNode* child = KuRenderNode::renderNode();
    EXPECT_EQ(node->addRender(child), child);
    EXPECT_EQ(child->refCount, 2);

    KuString* text = KuString::stringWithString("not a node");
    int before = text->refCount;
    EXPECT_EQ(node->addRender(text), text);
    EXPECT_EQ(text->refCount, before);
    EXPECT_EQ(node->renderCount(), 1);
    ASSERT_EQ(catcher.warnings.size(), 1u);
    EXPECT_EQ(catcher.warnings[0], "Non-KuRenderObject KuString added to KurenderNode.");

    EXPECT_EQ(node->addRender(static_cast<KuRenderNode*>(nullptr)), nullptr);
    EXPECT_EQ(node->renderCount(), 1);
    KuSetLogHooks(nullptr);
}

TEST_F(RenderNodeTest, ChildrenAreReleasedNotDestroyedWithTheirParent) {
    KuRenderNode* parent = new KuRenderNode;
    KuRenderNode* shared = new KuRenderNode;  // also held by this test
    parent->addRender(shared);
    EXPECT_EQ(shared->refCount, 2);
    KuRelease(parent);
    EXPECT_EQ(shared->refCount, 1);
    KuRelease(shared);
}

TEST_F(RenderNodeTest, RemoveAllRendersDropsTheChildrensMotors) {
    eventManager = new KuEventManager;
    KuRenderNode* node = KuRenderNode::renderNode();
    KuRenderNode* child = node->addRender(KuRenderNode::renderNode());
    KuRenderNode* other = KuRenderNode::renderNode();
    for (KuRenderNode* target : {child, other, child}) {
        KuMotor* m = new KuMotor;
        m->setTarget(target);
        eventManager->addMotor(m);
        KuRelease(m);
    }
    node->removeAllRenders();
    EXPECT_EQ(node->renderCount(), 0);
    ASSERT_EQ(eventManager->motors->count(), 1);
    EXPECT_EQ(eventManager->motors->begin()->object->target, other);
    KuRelease(eventManager);
    eventManager = nullptr;
}

TEST_F(RenderNodeTest, AlphaFlipAndColourReachTheRightDescendants) {
    KuRenderNode* node = KuRenderNode::renderNode();
    KuRenderNode* child = node->addRender(KuRenderNode::renderNode());
    KuRenderNode* grandchild = child->addRender(KuRenderNode::renderNode());

    node->alpha(0.25f);
    for (KuRenderNode* n : {node, child, grandchild})
        EXPECT_EQ(n->alpha(), 0.25f);
    node->flipHorizontally(true);
    node->flipVertically(true);
    for (KuRenderNode* n : {node, child, grandchild}) {
        EXPECT_TRUE(n->flipHorizontally());
        EXPECT_TRUE(n->flipVertically());
    }

    KuColor red{1, 0, 0, 1};
    node->colorAllRenders(red);
    EXPECT_TRUE(node->color() == red);
    EXPECT_TRUE(child->color() == red);
    EXPECT_EQ(grandchild->color().green, 1) << "grandchildren keep their colour";

    node->color(KuColor{0, 0, 1, 1});
    EXPECT_TRUE(child->color() == red) << "color() does not touch children";
}

TEST_F(RenderNodeTest, ImageRectSpansTheChildrenAndTheOrigin) {
    // A node whose own rectangle is fixed, as an image's would be.
    class Box : public KuRenderNode {
    public:
        KuRect rect;
        KuRect imageRect() override { return rect; }
    };
    struct Row {
        std::vector<std::pair<KuPoint, KuRect>> children;  // position, own rectangle
        KuRect expected;
    } rows[] = {
        {{}, {{0, 0}, {0, 0}}},
        {{{{0, 0}, {{5, 5}, {10, 10}}}}, {{0, 0}, {10, 10}}},
        {{{{-3, 2}, {{5, 5}, {10, 10}}}}, {{0, 0}, {7, 12}}},
        {{{{10, 10}, {{-2, -2}, {2, 2}}}, {{-20, 0}, {{0, -1}, {1, 1}}}}, {{-20, -1}, {12, 12}}},
    };
    for (size_t i = 0; i < std::size(rows); i++) {
        KuRenderNode* node = KuRenderNode::renderNode();
        for (auto& [at, rect] : rows[i].children) {
            Box* box = KuAutorelease(new Box);
            box->rect = rect;
            box->position(at);
            node->addRender(box);
        }
        KuRect r = node->imageRect();
        EXPECT_TRUE(r == rows[i].expected) << "row " << i << ": (" << r.first.x << "," << r.first.y << ")-("
                                           << r.second.x << "," << r.second.y << ")";
    }
}

TEST_F(RenderNodeTest, AbsolutePositionFollowsOnlyTheParentLink) {
    KuRenderNode* grand = KuRenderNode::renderNode();
    KuRenderNode* parent = grand->addRender(KuRenderNode::renderNode());
    KuRenderNode* child = parent->addRender(KuRenderNode::renderNode());
    grand->position({100, 0});
    parent->position({10, 20});
    child->position({1, 2});
    EXPECT_TRUE(child->absolutePosition() == (KuPoint{1, 2})) << "adding a child does not link it";
    child->parent(parent);
    parent->parent(grand);
    EXPECT_TRUE(child->absolutePosition() == (KuPoint{111, 22}));
}

}  // namespace
