// Reference counting, autorelease pools, the live-object registry and type names.
#include <string>
#include <thread>
#include <vector>

#include "KuObject.h"
#include "TestSupport.h"

namespace {

// Counts its destructions and can autorelease another object while being destroyed.
class Probe : public KuObject {
public:
    explicit Probe(int* destroyed, int32_t typeWord = kKuTypeObject)
        : KuObject(typeWord), destroyed(destroyed) {}
    ~Probe() override {
        if (destroyed) (*destroyed)++;
        if (autoreleaseOnDestroy) KuAutorelease(autoreleaseOnDestroy);
    }
    void onRetain() override { retains++; }
    void onRelease() override { releases++; }
    int* destroyed;
    KuObject* autoreleaseOnDestroy = nullptr;
    int retains = 0, releases = 0;
};

std::vector<std::string> reported;
void captureReport(const char* message) {
    reported.emplace_back(message);
}

class ObjectTest : public KuPoolTest {
protected:
    void SetUp() override {
        KuPoolTest::SetUp();
        reported.clear();
        KuSetObjectErrorReport(captureReport);
    }
    void TearDown() override {
        KuSetObjectErrorReport(nullptr);
        KuPoolTest::TearDown();
    }
};

TEST_F(ObjectTest, ReleaseDestroysAtZero) {
    int destroyed = 0;
    Probe* p = new Probe(&destroyed);
    EXPECT_EQ(p->refCount, 1);
    KuRetain(p);
    EXPECT_EQ(p->refCount, 2);
    KuRelease(p);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(p->retains, 1);
    EXPECT_EQ(p->releases, 1);
    KuRelease(p);
    EXPECT_EQ(destroyed, 1);
}

TEST_F(ObjectTest, ImmortalCountNeverChangesButHooksRun) {
    int destroyed = 0;
    Probe p(&destroyed);
    p.makeImmortal();
    for (int i = 0; i < 5; i++)
        KuRelease(&p);
    for (int i = 0; i < 3; i++)
        KuRetain(&p);
    EXPECT_EQ(p.refCount, kKuImmortal);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(p.releases, 5);
    EXPECT_EQ(p.retains, 3);
    p.refCount = 1;  // let the stack object go without a count check
}

TEST_F(ObjectTest, NullPointersAreIgnored) {
    KuRetain(nullptr);
    KuRelease(nullptr);
    EXPECT_EQ(KuAutorelease(static_cast<KuObject*>(nullptr)), nullptr);
    EXPECT_EQ(KuAutoreleasePool::currentPool()->size(), 0);
}

TEST_F(ObjectTest, TwoPoolEntriesAndOneRetainDieAtTheNextDrain) {
    int destroyed = 0;
    Probe* p = new Probe(&destroyed);
    KuAutorelease(p);
    KuRetain(p);
    KuAutorelease(p);
    EXPECT_EQ(p->refCount, 2);
    EXPECT_EQ(p->autoreleaseCount, 2);
    EXPECT_EQ(KuAutoreleasePool::currentPool()->poolCount(p), 2);
    KuAutoreleasePool::drainCurrentPool();
    EXPECT_EQ(destroyed, 1);
}

TEST_F(ObjectTest, ObjectAutoreleasedDuringDrainSurvivesInTheFreshPool) {
    int destroyedOuter = 0, destroyedInner = 0;
    Probe* outer = new Probe(&destroyedOuter);
    Probe* inner = new Probe(&destroyedInner);
    outer->autoreleaseOnDestroy = inner;
    KuAutorelease(outer);
    KuAutoreleasePool* before = KuAutoreleasePool::currentPool();
    KuAutoreleasePool::drainCurrentPool();
    EXPECT_EQ(destroyedOuter, 1);
    EXPECT_EQ(destroyedInner, 0);
    KuAutoreleasePool* after = KuAutoreleasePool::currentPool();
    EXPECT_NE(before, after);
    EXPECT_EQ(after->poolCount(inner), 1);
    EXPECT_EQ(inner->autoreleaseCount, 1);
    KuAutoreleasePool::drainCurrentPool();
    EXPECT_EQ(destroyedInner, 1);
}

TEST_F(ObjectTest, PushedPoolDrainsOnPopIntoTheOneBelow) {
    int destroyedKept = 0, destroyedTemp = 0, destroyedLate = 0;
    Probe* kept = new Probe(&destroyedKept);
    KuAutorelease(kept);
    int depth = KuAutoreleasePool::stackDepth();
    KuAutoreleasePool::pushPool();
    EXPECT_EQ(KuAutoreleasePool::stackDepth(), depth + 1);
    Probe* temp = new Probe(&destroyedTemp);
    // temp's destructor hands its reference to this one over to the pool being popped.
    temp->autoreleaseOnDestroy = new Probe(&destroyedLate);
    KuAutorelease(temp);
    KuAutoreleasePool::popPool();
    EXPECT_EQ(KuAutoreleasePool::stackDepth(), depth);
    EXPECT_EQ(destroyedTemp, 1);
    EXPECT_EQ(destroyedLate, 0);
    EXPECT_EQ(destroyedKept, 0);
    KuAutoreleasePool::drainCurrentPool();
    EXPECT_EQ(destroyedKept, 1);
    EXPECT_EQ(destroyedLate, 1);
}

TEST_F(ObjectTest, CurrentPoolCreatesOneBottomPoolOnAFreshThread) {
    int depth = -1;
    KuAutoreleasePool* first = nullptr;
    KuAutoreleasePool* second = nullptr;
    std::thread worker([&] {
        first = KuAutoreleasePool::currentPool();
        second = KuAutoreleasePool::currentPool();
        depth = KuAutoreleasePool::stackDepth();
        KuAutoreleasePool::destroyThreadPool();
    });
    worker.join();
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(first, second);
}

TEST_F(ObjectTest, StackOverflowAndUnderflowAreReportedAndChangeNothing) {
    std::thread worker([] {
        KuAutoreleasePool::initThreadPool();
        for (int i = 0; i < 10; i++)
            KuAutoreleasePool::pushPool();
        EXPECT_EQ(KuAutoreleasePool::stackDepth(), 10);
        EXPECT_TRUE(reported.empty());
        KuAutoreleasePool::pushPool();
        EXPECT_EQ(KuAutoreleasePool::stackDepth(), 10);
        for (int i = 0; i < 9; i++)
            KuAutoreleasePool::popPool();
        EXPECT_EQ(KuAutoreleasePool::stackDepth(), 1);
        KuAutoreleasePool::popPool();
        EXPECT_EQ(KuAutoreleasePool::stackDepth(), 1);
        KuAutoreleasePool::destroyThreadPool();
        EXPECT_EQ(KuAutoreleasePool::stackDepth(), 0);
    });
    worker.join();
    EXPECT_EQ(reported, (std::vector<std::string>{"KuAutoreleasePool push overflow",
                                                  "KuAutoreleasePool pop underflow"}));
}

TEST_F(ObjectTest, DestroyThreadPoolReleasesEverythingOnEveryLevel) {
    int destroyed = 0;
    std::thread worker([&] {
        KuAutoreleasePool::initThreadPool();
        KuAutorelease(new Probe(&destroyed));
        KuAutoreleasePool::pushPool();
        Probe* chained = new Probe(&destroyed);
        chained->autoreleaseOnDestroy = new Probe(&destroyed);
        KuAutorelease(chained);
        KuAutoreleasePool::destroyThreadPool();
    });
    worker.join();
    EXPECT_EQ(destroyed, 3);
}

TEST_F(ObjectTest, TypeNames) {
    struct Row {
        int32_t typeWord;
        const char* name;
    } rows[] = {
        {0, "KuObject"},         {1, "KuString"},           {2, "KuMutableString"},  {3, "KuArray"},
        {4, "KuDictionary"},     {5, "KuNumber"},           {6, "KuList"},           {7, "KuPointObject"},
        {8, "KuRectObject"},     {0x109, "KuImage"},        {0x10A, "KuTextSprite"}, {11, "KuObject"},
        {0x10B, "KuRenderNode"}, {12, "KuTexture2D"},       {13, "KuData"},          {14, "KuNullObject"},
        {15, "KuBitmapFont"},    {16, "KuSpineRenderNode"}, {17, "KuObject"},        {0x100, "KuRenderNode"},
        {0x111, "KuRenderNode"},
    };
    for (const Row& row : rows) {
        Probe p(nullptr, row.typeWord);
        EXPECT_STREQ(p.typeStr(), row.name) << "type word " << row.typeWord;
    }
}

TEST_F(ObjectTest, NullObjectIsImmortalAndTyped) {
    EXPECT_EQ(kKuNullObject->refCount, kKuImmortal);
    EXPECT_EQ(kKuNullObject->kindCode(), kKuTypeNullObject);
    EXPECT_STREQ(kKuNullObject->typeStr(), "KuNullObject");
    KuNullObject* fresh = KuNullObject::null();
    EXPECT_NE(fresh, kKuNullObject);
    EXPECT_EQ(fresh->refCount, 1);
    EXPECT_EQ(fresh->autoreleaseCount, 1);
}

class LiveRegistryTest : public ObjectTest {
protected:
    void TearDown() override {
        KuPauseTrackLiveObjects(0);
        KuTrackLiveObjects(0, true);
        ObjectTest::TearDown();
    }
    static bool registered(KuObject* o) {
        std::lock_guard<std::mutex> lock(KuTrackLiveMutex());
        return KuTrackLiveMap().count(o) != 0;
    }
};

TEST_F(LiveRegistryTest, TracksOnlyWhileSwitchedOn) {
    Probe* untracked = new Probe(nullptr);
    EXPECT_FALSE(registered(untracked));

    KuTrackLiveObjects(1, true);
    Probe* tracked = new Probe(nullptr);
    EXPECT_TRUE(registered(tracked));
    EXPECT_FALSE(registered(untracked));

    KuPauseTrackLiveObjects(1);
    Probe* whilePaused = new Probe(nullptr);
    EXPECT_FALSE(registered(whilePaused));
    KuRelease(tracked);  // removal still happens while paused
    EXPECT_FALSE(registered(tracked));
    KuPauseTrackLiveObjects(0);

    KuRelease(untracked);
    KuRelease(whilePaused);
    EXPECT_TRUE(KuTrackLiveMap().empty());
}

TEST_F(LiveRegistryTest, ListingLinesNewestFirst) {
    static float clock = 0;
    KuSetObjectClock([] { return clock; });
    KuTrackLiveObjects(1, true);
    clock = 1;
    Probe* older = new Probe(nullptr);
    clock = 5;
    Probe* newer = new Probe(nullptr, 0x100);
    _removeLiveObject(newer);
    _addLiveObject(newer, "label", "/src/engine/Thing.cpp", 12);
    clock = 9.5f;
    std::vector<std::string> lines = KuLiveObjectLines(clock);
    EXPECT_EQ(lines, (std::vector<std::string>{"KuRenderNode age: 4 (label)", "KuObject age: 8 [:-1]"}));
    KuSetObjectClock(nullptr);
    KuRelease(older);
    KuRelease(newer);
}

}  // namespace
