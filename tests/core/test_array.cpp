// KuArray: adding, inserting and removing with their reference counts, copies, dump texts and the
// engine's quicksort ordering convention.
#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "KuArray.h"
#include "KuDictionary.h"
#include "KuNumber.h"
#include "TestSupport.h"

namespace {

// Records its id in a shared log when destroyed.
class Tracked : public KuObject {
public:
    Tracked(int id, std::vector<int>* log) : id(id), log(log) {}
    ~Tracked() override {
        if (log) log->push_back(id);
    }
    int id;
    std::vector<int>* log;
};

using Array = KuArray<KuObject*>;

std::vector<int> ids(const Array* a) {
    std::vector<int> out;
    for (KuObject* o : *a)
        out.push_back(static_cast<Tracked*>(o)->id);
    return out;
}

class ArrayTest : public KuPoolTest {};

TEST_F(ArrayTest, AddingRetainsUnlessAdoptedAndIgnoresNull) {
    struct Row {
        bool toFront;
        bool adopt;
        std::vector<int> order;  // after adding 9 to [1, 2]
        int count;               // of the added object while the array holds it
    } rows[] = {
        {false, false, {1, 2, 9}, 2},
        {false, true, {1, 2, 9}, 1},
        {true, false, {9, 1, 2}, 2},
        {true, true, {9, 1, 2}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "toFront=" << row.toFront << " adopt=" << row.adopt);
        std::vector<int> destroyed;
        Array* a = Array::newArray();
        a->addObject(new Tracked(1, &destroyed), true);
        a->addObject(new Tracked(2, &destroyed), true);
        auto* added = new Tracked(9, &destroyed);
        KuObject* result =
            row.toFront ? a->addObjectToFront(added, row.adopt) : a->addObject(added, row.adopt);
        EXPECT_EQ(result, added);
        EXPECT_EQ(ids(a), row.order);
        EXPECT_EQ(added->refCount, row.count);
        EXPECT_EQ(row.toFront ? a->addObjectToFront(nullptr) : a->addObject(nullptr), nullptr);
        EXPECT_EQ(a->count(), 3);
        if (!row.adopt) KuRelease(added);
        KuRelease(a);
        EXPECT_EQ(destroyed, (std::vector<int>{row.order[0], row.order[1], row.order[2]}))
            << "released in index order";
    }
}

TEST_F(ArrayTest, TheSameObjectTwiceHoldsTwoReferences) {
    std::vector<int> destroyed;
    auto* o = new Tracked(1, &destroyed);
    Array* a = Array::newArray();
    a->addObject(o);
    a->addObject(o);
    EXPECT_EQ(a->count(), 2);
    EXPECT_EQ(o->refCount, 3);
    KuRelease(a);
    EXPECT_EQ(o->refCount, 1);
    KuRelease(o);
    EXPECT_EQ(destroyed, std::vector<int>{1});
}

TEST_F(ArrayTest, ObjectAtIndexOutsideTheRangeIsNull) {
    Array* a = Array::array();
    auto* first = new Tracked(1, nullptr);
    auto* last = new Tracked(2, nullptr);
    a->addObject(first, true);
    a->addObject(last, true);
    struct Row {
        int index;
        KuObject* expected;
    } rows[] = {{-1, nullptr}, {0, first}, {1, last}, {2, nullptr}, {INT_MIN, nullptr}, {INT_MAX, nullptr}};
    for (const Row& row : rows)
        EXPECT_EQ(a->objectAtIndex(row.index), row.expected) << "index " << row.index;
}

TEST_F(ArrayTest, InsertObjectAfterPlacesAfterTheIndexOrAppends) {
    struct Row {
        int after;
        std::vector<int> order;
    } rows[] = {
        {0, {1, 9, 2, 3}},  {1, {1, 2, 9, 3}}, {2, {1, 2, 3, 9}},        // count - 1 appends
        {-1, {1, 2, 3, 9}}, {3, {1, 2, 3, 9}}, {INT_MIN, {1, 2, 3, 9}},  // outside: appends
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "after " << row.after);
        Array* a = Array::newArray();
        for (int id = 1; id <= 3; id++)
            a->addObject(new Tracked(id, nullptr), true);
        auto* inserted = new Tracked(9, nullptr);
        EXPECT_EQ(a->insertObjectAfter(inserted, row.after), inserted);
        EXPECT_EQ(ids(a), row.order);
        EXPECT_EQ(inserted->refCount, 2);
        KuRelease(inserted);
        KuRelease(a);
    }
}

TEST_F(ArrayTest, RemoveObjectDropsEveryOccurrenceAndTheObjectSurvivesUntilTheDrain) {
    std::vector<int> destroyed;
    Array* a = Array::newArray();
    auto* victim = new Tracked(5, &destroyed);
    a->addObject(new Tracked(1, &destroyed), true);
    a->addObject(victim, true);  // the array holds the only references
    a->addObject(new Tracked(2, &destroyed), true);
    a->addObject(victim);
    ASSERT_EQ(victim->refCount, 2);

    EXPECT_EQ(a->removeObject(victim), victim);
    EXPECT_EQ(ids(a), (std::vector<int>{1, 2}));
    EXPECT_TRUE(destroyed.empty());
    EXPECT_EQ(victim->refCount, 1);
    EXPECT_EQ(KuAutoreleasePool::currentPool()->poolCount(victim), 1);
    EXPECT_EQ(victim->id, 5);  // still readable

    KuAutoreleasePool::drainCurrentPool();
    EXPECT_EQ(destroyed, std::vector<int>{5});
    KuRelease(a);
}

TEST_F(ArrayTest, RemoveObjectOfAnObjectNotHeldChangesNothing) {
    Array* a = Array::newArray();
    a->addObject(new Tracked(1, nullptr), true);
    auto* stranger = new Tracked(2, nullptr);
    EXPECT_EQ(a->removeObject(stranger), stranger);
    EXPECT_EQ(a->count(), 1);
    EXPECT_EQ(stranger->refCount, 1);
    EXPECT_EQ(KuAutoreleasePool::currentPool()->poolCount(stranger), 0);

    Array* empty = Array::newArray();
    EXPECT_EQ(empty->removeObject(stranger), nullptr);
    EXPECT_EQ(stranger->refCount, 1);
    KuRelease(stranger);
    KuRelease(empty);
    KuRelease(a);
}

// Nested content: an outer array holding an inner array (holding a number) and a dictionary
// (holding a string under a key).
struct Nested {
    KuNumber* number = new KuNumber(1000);
    KuString* key = new KuString("k");
    KuString* text = new KuString("v");
    Array* inner = Array::newArray();
    KuDictionary* dict = KuDictionary::newDictionary();
    Array* outer = Array::newArray();
    Nested() {
        inner->addObject(number);
        dict->addKeyObject(key, text);
        outer->addObject(inner);
        outer->addObject(dict);
    }
    std::vector<KuObject*> all() const { return {number, key, text, inner, dict}; }
    std::vector<int> counts() const {
        std::vector<int> out;
        for (KuObject* o : all())
            out.push_back(o->refCount);
        return out;
    }
    ~Nested() {
        for (KuObject* o : all())
            KuRelease(o);
        KuRelease(outer);
    }
};

TEST_F(ArrayTest, ACopyOwnsExactlyWhatItHolds) {
    Nested n;
    const std::vector<int> before = n.counts();

    Array* copy = Array::newArray();
    copy->addObject(new Tracked(7, nullptr), true);  // replaced by the copy
    copy->initWithArray(n.outer);
    ASSERT_EQ(copy->count(), 2);
    EXPECT_EQ(copy->objectAtIndex(0), n.inner);
    EXPECT_EQ(copy->objectAtIndex(1), n.dict);
    EXPECT_EQ(n.inner->refCount, before[3] + 1);
    EXPECT_EQ(n.dict->refCount, before[4] + 1);
    EXPECT_EQ(n.number->refCount, before[0]) << "nested objects gain nothing";
    EXPECT_EQ(n.text->refCount, before[2]);

    KuRelease(copy);
    EXPECT_EQ(n.counts(), before);
}

TEST_F(ArrayTest, CopyingFromItselfOrFromAnArrayItHoldsIsSafe) {
    Array* a = Array::newArray();
    a->addObject(new Tracked(1, nullptr), true);
    a->initWithArray(a);
    EXPECT_EQ(ids(a), std::vector<int>{1});

    // b holds the only reference to a: replacing b's content by a's must not free a too early.
    Array* b = Array::newArray();
    b->addObject(a, true);
    b->initWithArray(a);
    EXPECT_EQ(ids(b), std::vector<int>{1});
    b->initWithArray(nullptr);
    EXPECT_EQ(b->count(), 0);
    KuRelease(b);
}

TEST_F(ArrayTest, RetainAllObjectsReachesEveryDepthWhenCalled) {
    Nested n;
    const std::vector<int> before = n.counts();
    n.outer->retainAllObjects();
    std::vector<int> after = n.counts();
    for (size_t i = 0; i < after.size(); i++)
        EXPECT_EQ(after[i], before[i] + 1) << "object " << i;
    for (KuObject* o : n.all())
        KuRelease(o);  // give the explicit references back
}

TEST_F(ArrayTest, DumpAndDebugTexts) {
    struct Row {
        std::vector<KuObject*> elements;
        const char* dump;
        const char* debug;
    } rows[] = {
        {{}, "[\n]\n", "KuArray with 0 elements."},
        {{KuString::stringWithString("a")}, "[\n\t\"a\"\n]\n", "KuArray with 1 elements."},
        {{KuString::stringWithString("a"), _KuNewNumber(3), _KuNewNumber(2.5f)},
         "[\n\t\"a\"\n\t3\n\t2.5\n]\n",
         "KuArray with 3 elements."},
    };
    for (const Row& row : rows) {
        Array* a = Array::array();
        for (KuObject* o : row.elements)
            a->addObject(o);
        EXPECT_STREQ(a->dump(3)->c_str(), row.dump);
        EXPECT_STREQ(a->toDebugString()->c_str(), row.debug);
    }
    Array* outer = Array::array();
    Array* inner = Array::array();
    inner->addObject(KuString::stringWithString("x"));
    outer->addObject(inner);
    EXPECT_STREQ(outer->dump(0)->c_str(), "[\n\t[\n\t\"x\"\n]\n\n]\n") << "nesting adds no indentation";
}

// -1 when x is the smaller: largest first.
int descending(KuObject* x, KuObject* pivot) {
    int a = x->intValue(), b = pivot->intValue();
    return a < b ? -1 : (a > b ? 1 : 0);
}
// -1 when x is the greater: smallest first.
int ascending(KuObject* x, KuObject* pivot) {
    return -descending(x, pivot);
}

TEST_F(ArrayTest, QuickSortPutsWhatTheBlockCallsMinusOneAfterThePivot) {
    std::mt19937 random(7);
    std::vector<std::vector<int>> inputs = {{},
                                            {4},
                                            {1, 2},
                                            {2, 1},
                                            {3, 1, 2},
                                            {5, 5, 5, 5},
                                            {1, 2, 3, 4, 5, 6},
                                            {6, 5, 4, 3, 2, 1},
                                            {2, 9, 2, 7, 2, 9, 1}};
    std::vector<int> many(300);
    for (int& v : many)
        v = static_cast<int>(random() % 50) - 25;
    inputs.push_back(many);

    for (bool largestFirst : {true, false}) {
        for (const std::vector<int>& input : inputs) {
            SCOPED_TRACE(testing::Message() << "size " << input.size() << " largestFirst " << largestFirst);
            Array* a = Array::array();
            for (int v : input)
                a->addObject(new KuNumber(v), true);
            _sortArrayUsingBlock(a, largestFirst ? descending : ascending);
            std::vector<int> expected = input;
            std::sort(expected.begin(), expected.end());
            if (largestFirst) std::reverse(expected.begin(), expected.end());
            std::vector<int> got;
            for (KuObject* o : *a)
                got.push_back(o->intValue());
            EXPECT_EQ(got, expected);
        }
    }
}

TEST_F(ArrayTest, SortingFewerThanTwoElementsNeverCallsTheBlock) {
    int calls = 0;
    auto counting = [&calls](KuObject*, KuObject*) {
        calls++;
        return 0;
    };
    Array* a = Array::array();
    _sortArrayUsingBlock(a, counting);
    a->addObject(_KuNewNumber(1));
    _sortArrayUsingBlock(a, counting);
    EXPECT_EQ(calls, 0);
}

TEST_F(ArrayTest, SortStringArrayByByteOrderInEitherDirection) {
    struct Row {
        std::vector<const char*> input;
        int direction;
        std::vector<std::string> expected;
    } rows[] = {
        {{"b", "a", "c"}, 1, {"a", "b", "c"}},
        {{"b", "a", "c"}, 0, {"a", "b", "c"}},
        {{"b", "a", "c"}, -1, {"c", "b", "a"}},
        {{"ab", "B", "a", "\xc3\xa9"}, 1, {"B", "a", "ab", "\xc3\xa9"}},  // unsigned bytes: 0xC3 last
    };
    for (const Row& row : rows) {
        KuArray<KuString*>* a = KuArray<KuString*>::array();
        for (const char* s : row.input)
            a->addObject(KuString::stringWithString(s));
        _sortStringArray(a, row.direction);
        std::vector<std::string> got;
        for (KuString* s : *a)
            got.emplace_back(s->c_str());
        EXPECT_EQ(got, row.expected) << "direction " << row.direction;
    }
}

}  // namespace
