// KuList: linking, insertion before a node, and which neighbour a removal returns and whether the
// removed element is released at once or only when the pool drains.
#include <string>
#include <vector>

#include "KuArray.h"
#include "KuNumber.h"
#include "TestSupport.h"

namespace {

class Tracked : public KuObject {
public:
    Tracked(int id, std::vector<int>* log) : id(id), log(log) {}
    ~Tracked() override {
        if (log) log->push_back(id);
    }
    int id;
    std::vector<int>* log;
};

using List = KuList<Tracked*>;

int idOf(KuListIterator<Tracked*> it) {
    return it ? it->object->id : 0;
}

std::vector<int> forwards(const List* l) {
    std::vector<int> out;
    for (auto it = l->begin(); it; it = it->next)
        out.push_back(it->object->id);
    return out;
}

std::vector<int> backwards(const List* l) {
    std::vector<int> out;
    for (auto it = l->last(); it; it = it->previous)
        out.push_back(it->object->id);
    return out;
}

// A list holding the only references to elements 1..n.
List* listOf(int n, std::vector<int>* destroyed) {
    List* l = new List;
    for (int id = 1; id <= n; id++) {
        auto* t = new Tracked(id, destroyed);
        l->addObject(t);
        KuRelease(t);
    }
    return l;
}

KuListIterator<Tracked*> nodeAt(const List* l, int index) {
    auto it = l->begin();
    while (index-- > 0 && it)
        it = it->next;
    return it;
}

class ListTest : public KuPoolTest {};

TEST_F(ListTest, AddingLinksBothWaysAndRetains) {
    std::vector<int> destroyed;
    List* l = listOf(3, &destroyed);
    EXPECT_EQ(l->count(), 3);
    EXPECT_EQ(forwards(l), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(backwards(l), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(l->begin()->object->refCount, 1);
    KuRelease(l);
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3})) << "released from the head on";
}

TEST_F(ListTest, InsertBeforeANode) {
    struct Row {
        int before;  // index of the node, -1: the list is empty and the iterator null
        int initial;
        std::vector<int> order;
    } rows[] = {
        {-1, 0, {9}},
        {0, 3, {9, 1, 2, 3}},
        {1, 3, {1, 9, 2, 3}},
        {2, 3, {1, 2, 9, 3}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "before " << row.before);
        List* l = listOf(row.initial, nullptr);
        auto* t = new Tracked(9, nullptr);
        l->insertObjectBeforeIterator(t, row.before < 0 ? nullptr : nodeAt(l, row.before));
        l->insertObjectBeforeIterator(nullptr, l->begin());
        EXPECT_EQ(forwards(l), row.order);
        EXPECT_EQ(backwards(l), std::vector<int>(row.order.rbegin(), row.order.rend()));
        EXPECT_EQ(l->count(), static_cast<int>(row.order.size()));
        EXPECT_EQ(t->refCount, 2);
        KuRelease(t);
        KuRelease(l);
    }
}

TEST_F(ListTest, RemovalReturnsTheNeighbourAndReleasesEndsAtOnce) {
    struct Row {
        int size;
        int removed;  // node index
        bool forward;
        int returned;  // id of the returned node, 0 for null
        bool releasedAtOnce;
    } rows[] = {
        {3, 0, true, 2, true},    // head: the new head
        {3, 0, false, 0, true},   // head backwards: null
        {3, 1, true, 3, false},   // middle: the following node, element autoreleased
        {3, 1, false, 1, false},  // middle backwards: the preceding node
        {3, 2, true, 0, true},    // tail: null
        {3, 2, false, 2, true},   // tail backwards: the new tail
        {1, 0, true, 0, true},    // the only node is head and tail
        {1, 0, false, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "size " << row.size << " node " << row.removed << " forward " << row.forward);
        std::vector<int> destroyed;
        List* l = listOf(row.size, &destroyed);
        std::vector<int> remaining = forwards(l);
        int removedId = remaining[row.removed];
        remaining.erase(remaining.begin() + row.removed);

        auto result = l->removeObjectAtIterator(nodeAt(l, row.removed), row.forward);
        EXPECT_EQ(idOf(result), row.returned);
        EXPECT_EQ(l->count(), row.size - 1);
        EXPECT_EQ(forwards(l), remaining);
        EXPECT_EQ(backwards(l), std::vector<int>(remaining.rbegin(), remaining.rend()));
        if (row.releasedAtOnce) {
            EXPECT_EQ(destroyed, std::vector<int>{removedId});
        } else {
            EXPECT_TRUE(destroyed.empty()) << "an inner element lives until the drain";
            KuAutoreleasePool::drainCurrentPool();
            EXPECT_EQ(destroyed, std::vector<int>{removedId});
        }
        KuRelease(l);
    }
}

TEST_F(ListTest, RemovingANullIteratorGivesNull) {
    List* l = listOf(2, nullptr);
    EXPECT_EQ(l->removeObjectAtIterator(nullptr, true), nullptr);
    EXPECT_EQ(l->count(), 2);
    KuRelease(l);
}

TEST_F(ListTest, RemoveAllObjectsEmptiesAndReleases) {
    std::vector<int> destroyed;
    List* l = listOf(3, &destroyed);
    l->removeAllObjects();
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(l->count(), 0);
    EXPECT_EQ(l->begin(), nullptr);
    EXPECT_EQ(l->last(), nullptr);
    auto* t = new Tracked(4, &destroyed);
    l->addObject(t);  // still usable
    KuRelease(t);
    EXPECT_EQ(forwards(l), std::vector<int>{4});
    KuRelease(l);
    EXPECT_EQ(destroyed.back(), 4);
}

TEST_F(ListTest, RetainAllObjectsRetainsOneLevelOnly) {
    KuList<KuObject*>* l = new KuList<KuObject*>;
    KuArray<KuObject*>* inner = KuArray<KuObject*>::newArray();
    KuNumber* number = new KuNumber(1000);
    inner->addObject(number);
    l->addObject(inner);
    int innerBefore = inner->refCount, numberBefore = number->refCount;
    l->retainAllObjects();
    EXPECT_EQ(inner->refCount, innerBefore + 1);
    EXPECT_EQ(number->refCount, numberBefore);
    KuRelease(inner);  // the explicit reference
    KuRelease(inner);
    KuRelease(number);
    KuRelease(l);
}

}  // namespace
