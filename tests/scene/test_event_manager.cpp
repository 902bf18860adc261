// The event manager: render entries by order and pass, timed callbacks (ids, delays, pausing,
// callbacks added while calling), motors and emitters through the element operations it reads,
// and removing everything while elements reach back into it.
#include <algorithm>
#include <string>
#include <vector>

#include "KuEventManager.h"
#include "KuLog.h"
#include "TestSupport.h"

namespace {

std::vector<std::string>* drawLog = nullptr;

class NamedNode : public KuRenderNode {
public:
    std::string name;
    explicit NamedNode(std::string n) : name(std::move(n)) {}
    void render() override {
        if (drawLog) drawLog->push_back(name);
    }
    static NamedNode* make(const std::string& n) { return KuAutorelease(new NamedNode(n)); }
};

// Finishes after a given number of updates; counts the time it was given.
class CountingMotor : public KuMotor {
public:
    int updatesLeft;
    float timeSeen = 0;
    explicit CountingMotor(int updates) : updatesLeft(updates) {}
    bool update(float dt) override {
        if (pauseCount > 0) return false;
        timeSeen += dt;
        return --updatesLeft <= 0;
    }
};

class CountingEmitter : public KuParticleEmitter {
public:
    int updatesLeft;
    explicit CountingEmitter(int updates) : updatesLeft(updates) {}
    bool updateParticle(float) override { return --updatesLeft <= 0; }
    void render() override {
        if (drawLog) drawLog->push_back("emitter");
    }
};

class Quiet : public KuLogHooks {
public:
    std::vector<std::string> warnings;
    int appReceivesWarning(const char* text) override {
        warnings.emplace_back(text);
        return 1;
    }
};

class EventManagerTest : public KuPoolTest {
protected:
    KuEventManager* manager = nullptr;
    std::vector<std::string> drawn;
    void SetUp() override {
        KuPoolTest::SetUp();
        manager = new KuEventManager;
        eventManager = manager;
        drawLog = &drawn;
    }
    void TearDown() override {
        drawLog = nullptr;
        eventManager = nullptr;
        KuRelease(manager);
        KuPoolTest::TearDown();
    }
    template <typename T>
    T* owned(T* object) {  // handed to the manager, which keeps its own reference
        return KuAutorelease(object);
    }
};

TEST_F(EventManagerTest, RenderEntriesDrawByOrderThenAddingOrderAndByPass) {
    manager->_addRenderOrderPass(NamedNode::make("5a"), 5, 1);
    manager->_addRenderOrderPass(NamedNode::make("1"), 1, 1);
    manager->_addRenderOrderPass(NamedNode::make("5b"), 5, 0);  // pass 0 means 1
    manager->_addRenderOrderPass(NamedNode::make("3"), 3, 1);
    manager->_addRenderOrderPass(NamedNode::make("2-pass2"), 2, 2);
    manager->_addRenderOrderPass(NamedNode::make("-7-pass3"), -7, 3);

    manager->render();
    EXPECT_EQ(drawn, (std::vector<std::string>{"1", "3", "5a", "5b"}));
    drawn.clear();
    manager->renderPass(2);
    EXPECT_EQ(drawn, (std::vector<std::string>{"2-pass2"}));
    drawn.clear();
    manager->renderPass(3);
    EXPECT_EQ(drawn, (std::vector<std::string>{"-7-pass3"}));
}

TEST_F(EventManagerTest, RenderEntriesRetainChangePassAndRemoveTheFirstOfANode) {
    NamedNode* twice = NamedNode::make("twice");
    int before = twice->refCount;
    manager->_addRenderOrderPass(twice, 1, 1);
    manager->_addRenderOrderPass(twice, 2, 1);
    EXPECT_EQ(twice->refCount, before + 2);
    manager->setRenderPass(twice, 2);  // the first entry only
    manager->render();
    EXPECT_EQ(drawn, (std::vector<std::string>{"twice"}));
    manager->_removeRender(twice);
    EXPECT_EQ(manager->renders->count(), 1);
    EXPECT_EQ(manager->renders->begin()->object->order, 2) << "the first entry of the node goes";

    Quiet quiet;
    KuSetLogHooks(&quiet);
    EXPECT_EQ(manager->_addRenderOrderPass(nullptr, 1, 1), nullptr);
    KuSetLogHooks(nullptr);
    EXPECT_EQ(manager->renders->count(), 1);
    ASSERT_EQ(quiet.warnings.size(), 1u);
    EXPECT_EQ(quiet.warnings[0], "KuEventManager::addRenderPassOrderPass() render is NULL");
}

TEST_F(EventManagerTest, CallbacksFireInTheUpdateWhereTheirDelayRunsOut) {
    std::vector<std::string> fired;
    struct Row {
        const char* name;
        float delay;
        int firesInUpdate;  // 1-based, with updates of 0.25 s
    } rows[] = {
        {"now", 0.0f, 1}, {"0.25", 0.25f, 1}, {"0.3", 0.3f, 2},
        {"0.5", 0.5f, 2}, {"1.0", 1.0f, 4},   {"1.1", 1.1f, 5},
    };
    for (const Row& r : rows)
        manager->addCallback(r.delay, [&fired, &r] { fired.push_back(r.name); });
    std::vector<std::vector<std::string>> perUpdate;
    for (int i = 0; i < 6; i++) {
        fired.clear();
        manager->update(0.25f);
        perUpdate.push_back(fired);
    }
    for (const Row& r : rows) {
        for (int u = 0; u < 6; u++) {
            bool firedHere =
                std::find(perUpdate[u].begin(), perUpdate[u].end(), r.name) != perUpdate[u].end();
            EXPECT_EQ(firedHere, u + 1 == r.firesInUpdate) << r.name << " in update " << u + 1;
        }
    }
    EXPECT_EQ(manager->callbacks->count(), 0);
}

TEST_F(EventManagerTest, CallbackIdsCountFromOneAndRemoveByIdOrObject) {
    uint64_t first = staticCallbackGUID;
    uint64_t a = manager->addCallback(1, [] {});
    uint64_t b = manager->addCallbackWithGUID(0, 1, [] {});
    EXPECT_EQ(a, first + 1);
    EXPECT_EQ(b, first + 2);
    EXPECT_EQ(manager->addCallbackWithGUID(777, 1, [] {}), 777u);
    KuString* owner = KuString::stringWithString("owner");
    uint64_t byObject = manager->addCallbackWithObject(owner, 1, [] {});
    manager->addCallbackWithObject(owner, 2, [] {});
    EXPECT_EQ(byObject, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(owner)));
    EXPECT_EQ(manager->callbacks->count(), 5);

    manager->removeCallbacksForObject(owner);
    EXPECT_EQ(manager->callbacks->count(), 3);
    manager->removeCallbackWithGUID(a);
    manager->removeCallbackWithGUID(777);
    ASSERT_EQ(manager->callbacks->count(), 1);
    EXPECT_EQ(manager->callbacks->begin()->object->callbackID, b);
}

TEST_F(EventManagerTest, PausedCallbacksNeitherCountDownNorFire) {
    int calls = 0;
    manager->addCallback(0.75f, [&calls] { calls++; });
    manager->update(0.25f);
    manager->pauseAllCallbacks();
    manager->pauseAllCallbacks();
    manager->update(10);
    EXPECT_EQ(calls, 0);
    manager->resumeAllCallbacks();
    manager->update(10);
    EXPECT_EQ(calls, 0) << "still paused once";
    manager->resumeAllCallbacks();
    manager->resumeAllCallbacks();  // never below zero
    EXPECT_EQ(manager->callbacks->begin()->object->pauseCount, 0);
    manager->update(0.25f);
    EXPECT_EQ(calls, 0) << "0.5 s were left";
    manager->update(0.25f);
    EXPECT_EQ(calls, 1);
}

TEST_F(EventManagerTest, ACallbackAddedWhileCallingIsSeenInTheSameUpdateWithItsFullDelay) {
    std::vector<std::string> fired;
    manager->addCallback(0, [&] {
        fired.push_back("first");
        manager->addCallback(0, [&] { fired.push_back("added, delay 0"); });
        manager->addCallback(0.1f, [&] { fired.push_back("added, delay 0.1"); });
    });
    manager->update(0.5f);
    EXPECT_EQ(fired, (std::vector<std::string>{"first", "added, delay 0"}));
    manager->update(0.1f);
    EXPECT_EQ(fired.back(), "added, delay 0.1");
}

TEST_F(EventManagerTest, ACallbackMayRemoveAnotherDueOne) {
    std::vector<std::string> fired;
    uint64_t second = 0;
    manager->addCallback(0, [&] {
        fired.push_back("first");
        manager->removeCallbackWithGUID(second);
    });
    second = manager->addCallback(0, [&] { fired.push_back("second"); });
    manager->update(0.1f);
    EXPECT_EQ(fired, (std::vector<std::string>{"first"}));
}

TEST_F(EventManagerTest, MotorsRunUntilFinishedAndMayRemoveEachOther) {
    CountingMotor* quick = owned(new CountingMotor(1));
    CountingMotor* slow = owned(new CountingMotor(3));
    manager->addMotor(quick);
    manager->addMotor(slow);
    manager->addMotor(nullptr);
    manager->update(0.1f);
    EXPECT_EQ(manager->motors->count(), 1);
    manager->update(0.1f);
    manager->update(0.1f);
    EXPECT_EQ(manager->motors->count(), 0);
    EXPECT_NEAR(slow->timeSeen, 0.3f, 1e-6);

    // A motor whose update removes the one after it: the removed one is not updated.
    class Remover : public KuMotor {
    public:
        KuMotor* victim = nullptr;
        bool update(float) override {
            eventManager->removeMotor(victim);
            return false;
        }
    };
    Remover* remover = owned(new Remover);
    CountingMotor* victim = owned(new CountingMotor(100));
    remover->victim = victim;
    manager->addMotor(remover);
    manager->addMotor(victim);
    manager->update(0.1f);
    EXPECT_EQ(victim->timeSeen, 0) << "removed before its turn";
    EXPECT_EQ(manager->motors->count(), 1);
}

TEST_F(EventManagerTest, MotorQueriesRemovalsAndPausing) {
    KuRenderNode* a = KuRenderNode::renderNode();
    KuRenderNode* b = KuRenderNode::renderNode();
    struct MotorRow {
        KuRenderNode* target;
        int property, id;
        bool unpausable;
    } rows[] = {{a, 1, 10, false}, {a, 3, 11, false}, {b, 1, 10, true}, {b, 5, 12, false}};
    std::vector<KuMotor*> made;
    auto reset = [&] {
        manager->removeAllMotors();
        made.clear();
        for (const MotorRow& s : rows) {
            KuMotor* m = owned(new KuMotor);
            m->setTarget(s.target);
            m->property = s.property;
            m->motorID = s.id;
            m->unpausable = s.unpausable;
            manager->addMotor(m);
            made.push_back(m);
        }
    };
    reset();
    EXPECT_EQ(manager->firstMotorUsingObject(b), made[2]);
    EXPECT_EQ(manager->firstMotorWithID(12), made[3]);
    EXPECT_EQ(manager->firstMotorWithID(99), nullptr);
    EXPECT_EQ(manager->removeMotorsWithID(10), 2);
    EXPECT_EQ(manager->motors->count(), 2);

    reset();
    manager->removeAllMotorsUsingObjectAndProperty(a, 3);
    EXPECT_EQ(manager->motors->count(), 3);
    manager->removeAllMotorsUsingObject(b);
    ASSERT_EQ(manager->motors->count(), 1);
    EXPECT_EQ(manager->motors->begin()->object, made[0]);

    reset();
    manager->pauseAllMotors();
    EXPECT_EQ(made[0]->pauseCount, 1);
    EXPECT_EQ(made[2]->pauseCount, 0) << "unpausable";
    manager->removeAllUnPausedMotors();
    ASSERT_EQ(manager->motors->count(), 3);
    EXPECT_EQ(manager->firstMotorUsingObject(b), made[3]);
    manager->resumeAllMotors();
    manager->resumeAllMotors();
    EXPECT_EQ(made[0]->pauseCount, 0);
}

TEST_F(EventManagerTest, EmittersGetRenderEntriesAndLoseThemWhenDone) {
    CountingEmitter* plain = owned(new CountingEmitter(2));
    CountingEmitter* drawnOne = owned(new CountingEmitter(2));
    CountingEmitter* timed = owned(new CountingEmitter(1));
    manager->addEmitter(plain, false);
    manager->addEmitter(drawnOne, true);
    manager->addEmitterWithLifetime(timed, 4.5f);
    EXPECT_EQ(timed->lifetime, 4.5f);
    ASSERT_EQ(manager->renders->count(), 2);
    EXPECT_EQ(manager->renders->begin()->object->order, 1);
    EXPECT_EQ(manager->renders->last()->object->order, 10000);

    manager->update(0.1f);  // the timed one finishes
    EXPECT_EQ(manager->emitters->count(), 2);
    EXPECT_EQ(manager->renders->count(), 1);
    manager->update(0.1f);
    EXPECT_EQ(manager->emitters->count(), 0);
    EXPECT_EQ(manager->renders->count(), 0);

    CountingEmitter* toggled = owned(new CountingEmitter(9));
    manager->addEmitter(toggled, false);
    manager->setEmitterRender(toggled, true);
    manager->setEmitterRender(toggled, true);
    EXPECT_EQ(manager->renders->count(), 1);
    manager->pauseEverything();
    EXPECT_EQ(toggled->pauseCount, 1);
    manager->removeAllUnPausedEmitters();
    EXPECT_EQ(manager->emitters->count(), 1);
    manager->unpauseEverything();
    manager->removeAllUnPausedEmitters();
    EXPECT_EQ(manager->emitters->count(), 0);
    EXPECT_EQ(manager->renders->count(), 0);
}

TEST_F(EventManagerTest, RemoveEverythingEmptiesAllListsWhileElementsReachBack) {
    // A node whose destruction asks the manager to remove things, as real nodes do.
    class ReachingNode : public KuRenderNode {
    public:
        ~ReachingNode() override {
            eventManager->removeAllMotorsUsingObject(this);
            eventManager->removeCallbacksForObject(this);
            eventManager->_removeRender(this);
        }
    };
    ReachingNode* node = new ReachingNode;
    KuMotor* motor = new KuMotor;
    motor->setTarget(node);  // the motor holds the last reference once the test lets go
    manager->addMotor(motor);
    KuRelease(motor);
    manager->_addRenderOrderPass(node, 1, 1);
    manager->addCallbackWithObject(node, 5, [] {});
    manager->addEmitter(owned(new CountingEmitter(5)), true);
    KuRelease(node);

    manager->removeEverything();
    EXPECT_FALSE(removingEverything);
    EXPECT_EQ(manager->motors->count(), 0);
    EXPECT_EQ(manager->callbacks->count(), 0);
    EXPECT_EQ(manager->renders->count(), 0);
    EXPECT_EQ(manager->emitters->count(), 0);
}

TEST_F(EventManagerTest, RemoveEverythingWithObjectTakesItsMotorsCallbacksAndFirstEntry) {
    KuRenderNode* node = KuRenderNode::renderNode();
    KuRenderNode* other = KuRenderNode::renderNode();
    for (KuRenderNode* target : {node, other}) {
        KuMotor* m = owned(new KuMotor);
        m->setTarget(target);
        manager->addMotor(m);
        manager->addCallbackWithObject(target, 1, [] {});
        manager->_addRenderOrderPass(target, 1, 1);
    }
    manager->_addRenderOrderPass(node, 2, 1);
    manager->removeEverythingWithObject(node);
    EXPECT_EQ(manager->motors->count(), 1);
    EXPECT_EQ(manager->callbacks->count(), 1);
    ASSERT_EQ(manager->renders->count(), 2);
    EXPECT_EQ(manager->renders->last()->object->node, node) << "only the first entry goes";
}

}  // namespace
