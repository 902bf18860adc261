// Scenes: the switch (close, release, drain, open, in that order), the suspended-scene stack, the
// top-priority choice, the per-frame dispatch of pushed-button ids, touch conversion and the
// questions a scene passes to the application.
#include <string>
#include <vector>

#include "KuBaseScene.h"
#include "KuEventManager.h"
#include "KuLayout.h"
#include "TestSupport.h"

namespace {

std::vector<std::string>* journal = nullptr;

void note(const std::string& line) {
    if (journal) journal->push_back(line);
}

// Set to true by its destructor: tells whether an autoreleased object was drained.
class Tracer : public KuObject {
public:
    bool* gone;
    std::string name;
    Tracer(bool* g, std::string n) : gone(g), name(std::move(n)) {}
    ~Tracer() override {
        *gone = true;
        note("drained " + name);
    }
};

class JournalScene : public KuBaseScene {
public:
    std::string name;
    bool suspendable = false;
    std::vector<int> handledIDs;
    explicit JournalScene(std::string n, bool canSuspend = false)
        : name(std::move(n)), suspendable(canSuspend) {}
    ~JournalScene() override { note("destroyed " + name); }
    KuBaseScene* newSceneObject() override {
        return suspendable ? new JournalScene(name + "'", true) : nullptr;
    }
    void openSceneWithObject(KuObject* obj) override {
        note("open " + name + " with " + (obj ? obj->toString()->c_str() : std::string("null")));
    }
    void closeScene() override {
        note("close " + name);
        KuBaseScene::closeScene();
    }
    void update(float dt) override {
        note("update " + name);
        KuBaseScene::update(dt);
    }
    void handleButtonPushedID(int id) override { handledIDs.push_back(id); }
};

class AppAnswers : public KuSceneAppQueries {
public:
    bool isKeyDown(int key) override { return key == 'w'; }
    KuPoint joystickPosition(int which) override { return KuPoint{static_cast<float>(which), 2}; }
};

class SceneTest : public KuPoolTest {
protected:
    std::vector<std::string> lines;
    void SetUp() override {
        KuPoolTest::SetUp();
        eventManager = new KuEventManager;
        journal = &lines;
    }
    void TearDown() override {
        KuBaseScene::newScene(nullptr, nullptr);
        if (pushedSceneStack) pushedSceneStack->removeAllObjects();
        journal = nullptr;
        KuRelease(eventManager);
        eventManager = nullptr;
        KuPoolTest::TearDown();
    }
};

TEST_F(SceneTest, NewSceneClosesReleasesDrainsThenOpens) {
    bool passedGone = false, pooledGone = false;
    KuBaseScene::newScene(new JournalScene("A"), nullptr);
    lines.clear();

    KuAutorelease(new Tracer(&pooledGone, "pooled"));  // made during A's life
    KuString* passed = KuString::stringWithString("door");
    KuAutorelease(new Tracer(&passedGone, "unused"));
    JournalScene* b = new JournalScene("B");
    KuBaseScene* result = KuBaseScene::newScene(b, passed);

    EXPECT_EQ(result, b);
    EXPECT_EQ(currentScene, b);
    EXPECT_EQ(lines, (std::vector<std::string>{"close A", "destroyed A", "drained pooled", "drained unused",
                                               "open B with door"}));
    EXPECT_TRUE(pooledGone);
    // The object handed over lives until the next drain.
    EXPECT_EQ(passed->refCount, 1);
    EXPECT_EQ(passed->autoreleaseCount, 1);
}

TEST_F(SceneTest, ReopeningTheCurrentSceneClosesAndOpensItWithoutDestroyingIt) {
    JournalScene* scene = new JournalScene("A");
    KuBaseScene::newScene(scene, nullptr);
    lines.clear();
    EXPECT_EQ(KuBaseScene::newScene(scene, nullptr), scene);
    EXPECT_EQ(lines, (std::vector<std::string>{"close A", "open A with null"}));
    EXPECT_EQ(currentScene, scene);
    EXPECT_EQ(scene->refCount, 1);
}

TEST_F(SceneTest, NewSceneEmptiesTheEventManager) {
    KuBaseScene::newScene(new JournalScene("A"), nullptr);
    int fired = 0;
    KuMotor* motor = new KuMotor;
    motor->setTarget(currentScene);
    eventManager->addMotor(motor);
    KuRelease(motor);
    eventManager->addCallback(0, [&fired] { fired++; });
    eventManager->_addRenderOrderPass(KuRenderNode::renderNode(), 3, 1);
    KuParticleEmitter* emitter = new KuParticleEmitter;
    eventManager->addEmitter(emitter, true);
    KuRelease(emitter);
    currentScene->addRender(KuRenderNode::renderNode());

    KuBaseScene::newScene(new JournalScene("B"), nullptr);
    EXPECT_EQ(eventManager->motors->count(), 0);
    EXPECT_EQ(eventManager->callbacks->count(), 0);
    EXPECT_EQ(eventManager->renders->count(), 0);
    EXPECT_EQ(eventManager->emitters->count(), 0);
    eventManager->update(1);
    EXPECT_EQ(fired, 0);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "destroyed A"), lines.end())
        << "the motor's hold on the old scene is gone with it";
}

TEST_F(SceneTest, PushAndPopSuspendAndReopenScenes) {
    KuBaseScene::newScene(new JournalScene("Room", true), nullptr);
    KuString* save = KuString::newWithString("save");  // scene switches drain the pool
    KuBaseScene::pushScene(new JournalScene("Menu"), nullptr);
    ASSERT_NE(pushedSceneStack, nullptr);
    ASSERT_EQ(pushedSceneStack->count(), 1);
    EXPECT_EQ(static_cast<JournalScene*>(pushedSceneStack->lastObject()->scene)->name, "Room'");
    EXPECT_EQ(pushedSceneStack->lastObject()->scene->refCount, 1) << "the stack holds the only reference";

    // A scene that cannot be suspended is not pushed, and the switch still happens.
    KuBaseScene::pushScene(new JournalScene("Options"), nullptr);
    EXPECT_EQ(pushedSceneStack->count(), 1);
    EXPECT_EQ(static_cast<JournalScene*>(currentScene)->name, "Options");

    lines.clear();
    KuBaseScene::popScene(save);
    EXPECT_EQ(pushedSceneStack->count(), 0);
    EXPECT_EQ(static_cast<JournalScene*>(currentScene)->name, "Room'");
    EXPECT_EQ(currentScene->refCount, 1);
    EXPECT_EQ(lines.back(), "open Room' with save");

    KuBaseScene::popScene(nullptr);  // empty stack: nothing
    EXPECT_EQ(static_cast<JournalScene*>(currentScene)->name, "Room'");

    KuBaseScene::pushSceneClass(nullptr, save);
    EXPECT_EQ(pushedSceneStack->count(), 0);
    KuBaseScene::pushSceneClass(new JournalScene("Kept"), save);
    KuRelease(pushedSceneStack->lastObject()->scene);  // the test's own reference
    lines.clear();
    KuBaseScene::popScene(nullptr);
    EXPECT_EQ(lines.back(), "open Kept with save") << "its own object when none is given";
    KuRelease(save);
}

TEST_F(SceneTest, TopSceneIsTheHighestPriorityLaterOnTies) {
    KuBaseScene* scenes[3];
    KuArray<KuPriorityScene*>* records = KuArray<KuPriorityScene*>::array();
    int priorities[3] = {1, 3, 3};
    for (int i = 0; i < 3; i++) {
        scenes[i] = KuAutorelease(new KuBaseScene);
        records->addObject(KuAutorelease(new KuPriorityScene(priorities[i], scenes[i])));
    }
    EXPECT_EQ(KuBaseScene::getTopScene(records), scenes[2]);
    EXPECT_EQ(KuBaseScene::getTopPriorityScene(records)->priority, 3);
    EXPECT_EQ(KuBaseScene::getTopScene(KuArray<KuPriorityScene*>::array()), nullptr);
    EXPECT_EQ(KuBaseScene::getTopScene(nullptr), nullptr);
}

TEST_F(SceneTest, APushedButtonIdIsHandledOnceAfterTheNextUpdateOfTheCurrentScene) {
    JournalScene* scene = new JournalScene("S");
    KuBaseScene::newScene(scene, nullptr);
    scene->onButtonPushedID(7);
    EXPECT_TRUE(scene->handledIDs.empty());
    scene->updateDispatch(0.1f);
    scene->updateDispatch(0.1f);
    EXPECT_EQ(scene->handledIDs, (std::vector<int>{7}));

    JournalScene* other = KuAutorelease(new JournalScene("not current"));
    other->onButtonPushedID(9);
    other->updateDispatch(0.1f);
    EXPECT_TRUE(other->handledIDs.empty()) << "only the current scene delivers";
}

TEST_F(SceneTest, TheDefaultUpdateRunsTheEventManager) {
    KuBaseScene* scene = new KuBaseScene;
    KuBaseScene::newScene(scene, nullptr);
    int fired = 0;
    eventManager->addCallback(0.25f, [&fired] { fired++; });
    scene->updateDispatch(0.125f);
    EXPECT_EQ(fired, 0);
    scene->updateDispatch(0.125f);
    EXPECT_EQ(fired, 1);
}

TEST_F(SceneTest, TouchPointsBecomeScreenPointsWithYUp) {
    KuSetLayout(KuPoint{640, 480}, KuRect{{0, 0}, {0, 0}}, KuPoint{640, 480});
    KuBaseScene* scene = KuAutorelease(new KuBaseScene);
    struct Row {
        KuPoint window, screen;
    } rows[] = {{{0, 0}, {0, 480}}, {{10, 470}, {10, 10}}, {{639, 240}, {639, 240}}};
    for (const Row& r : rows) {
        KuPoint p = scene->translateTouchLocation(r.window);
        EXPECT_EQ(p.x, r.screen.x);
        EXPECT_EQ(p.y, r.screen.y) << "window y " << r.window.y;
    }
    KuSetLayout(KuPoint{320, 240}, KuRect{{0, 0}, {0, 0}}, KuPoint{320, 240});
}

TEST_F(SceneTest, KeyAndJoystickQuestionsGoToTheApplication) {
    KuBaseScene* scene = KuAutorelease(new KuBaseScene);
    EXPECT_FALSE(scene->isKeyDown('w')) << "no application: false";
    AppAnswers answers;
    KuSetSceneAppQueries(&answers);
    EXPECT_TRUE(scene->isKeyDown('w'));
    EXPECT_FALSE(scene->isKeyDown('s'));
    EXPECT_EQ(scene->joystickPosition(1).x, 1);
    KuSetSceneAppQueries(nullptr);
    EXPECT_EQ(scene->joystickPosition(1).x, 0);
}

TEST_F(SceneTest, CompletionBlocksRunAtOnce) {
    KuBaseScene* scene = KuAutorelease(new KuBaseScene);
    int calls = 0;
    EXPECT_TRUE(scene->showWithCompletionBlock([&calls] { calls++; }));
    EXPECT_TRUE(scene->hideWithCompletionBlock([&calls] { calls++; }));
    EXPECT_EQ(calls, 2);
}

}  // namespace
