// KuArray<T>: contiguous sequence of object pointers; KuList<T>: doubly linked list for
// sequences edited while walked. Both hold one reference per stored element.
// All KuArray<T> share one layout and differ only in the static element type, so an array
// built as KuArray<KuObject*> (a document's) may be read through as<KuString*>().
#pragma once

#include <utility>
#include <vector>

#include "KuObject.h"
#include "KuString.h"

template <typename T>
class KuArray : public KuObject {
public:
    KuArray() : KuObject(kKuTypeArray) {}
    // Releases in index order. The vector is taken out first, so an element whose destructor
    // reaches back into this array finds it empty rather than half freed.
    ~KuArray() override { removeAllObjects(); }

    static KuArray* array() { return KuAutorelease(new KuArray); }  // autoreleased
    static KuArray* newArray() { return new KuArray; }              // owned

    int count() const { return static_cast<int>(items.size()); }
    T objectAtIndex(int i) const { return (i < 0 || i >= count()) ? nullptr : items[i]; }
    T lastObject() const { return items.empty() ? nullptr : items.back(); }

    typename std::vector<T>::const_iterator begin() const { return items.begin(); }
    typename std::vector<T>::const_iterator end() const { return items.end(); }

    // adopt = true hands over the caller's reference instead of taking a new one.
    T addObject(T obj, bool adopt = false) {
        if (!obj) return nullptr;
        if (!adopt) KuRetain(obj);
        items.push_back(obj);
        return obj;
    }
    T addObjectToFront(T obj, bool adopt = false) {
        if (!obj) return nullptr;
        if (!adopt) KuRetain(obj);
        items.insert(items.begin(), obj);
        return obj;
    }
    // Inserts at i + 1 when 0 <= i < count, otherwise appends. Null inserts nothing.
    T insertObjectAfter(T obj, int i) {
        if (!obj) return nullptr;
        KuRetain(obj);
        if (i >= 0 && i < count())
            items.insert(items.begin() + i + 1, obj);
        else
            items.push_back(obj);
        return obj;
    }
    // Removes every occurrence (one release each, the rest keep their order). The result is
    // autoreleased, so it outlives the array's last reference until the pool drains. An object the
    // array does not hold is returned with its count untouched; an empty array gives null.
    T removeObject(T obj) {
        if (items.empty()) return nullptr;
        if (!obj || indexOfObject(obj) < 0) return obj;
        KuRetain(obj);
        int removed = 0;
        auto kept = items.begin();
        for (auto it = items.begin(); it != items.end(); ++it) {
            if (*it == obj)
                removed++;
            else
                *kept++ = *it;
        }
        items.erase(kept, items.end());
        for (int k = 0; k < removed; k++)
            KuRelease(obj);
        return KuAutorelease(obj);
    }
    T removeObjectAtIndex(int i) {
        T obj = objectAtIndex(i);
        if (!obj) return nullptr;
        items.erase(items.begin() + i);
        return KuAutorelease(obj);
    }
    void removeAllObjects() {
        std::vector<T> old;
        old.swap(items);
        for (T o : old)
            KuRelease(o);
    }
    void replaceObjectAtIndex(int i, T obj) {
        if (i < 0 || i >= count() || !obj) return;
        KuSetRetained(items[i], obj);
    }
    void exchangeObjectsAtIndexes(int a, int b) {
        if (a < 0 || b < 0 || a >= count() || b >= count()) return;
        std::swap(items[a], items[b]);
    }
    int indexOfObject(T obj) const {
        for (int i = 0; i < count(); i++)
            if (items[i] == obj) return i;
        return -1;
    }

    // Replaces the content with other's elements (null: empties). The copy owns exactly what it
    // holds, one reference per element; nested objects are shared and gain nothing, so destroying
    // both arrays gives every nested object back the count it had. Callers that want the extra
    // nested references call retainAllObjects() themselves. Safe when other is this array or is
    // held inside it.
    void initWithArray(const KuArray* other) {
        if (other == this) return;
        std::vector<T> copied;
        if (other) copied = other->items;
        for (T o : copied)
            KuRetain(o);
        copied.swap(items);
        for (T o : copied)
            KuRelease(o);
    }

    template <typename U>
    KuArray<U>* as() {
        return reinterpret_cast<KuArray<U>*>(this);
    }

    const char* typeStr() const override { return "KuArray"; }
    // One more reference to every element, and through each element's own retainAllObjects() to
    // everything nested in it. Nothing gives these back; only explicit callers use it.
    void retainAllObjects() override {
        for (T o : items) {
            KuRetain(o);
            o->retainAllObjects();
        }
    }
    KuString* toDebugString() override {
        return KuString::stringWithFormat("KuArray with %d elements.", count());
    }
    KuString* dump(int indent) override {
        KuMutableString* out = KuMutableString::stringWithString("[\n");
        for (T o : items) {
            out->appendChar('\t');
            out->appendString(o->dump(indent));
            out->appendChar('\n');
        }
        out->appendString("]\n");
        return out;
    }

    // Direct access for bulk construction by readers and for sorts: every pointer put in must carry
    // one reference that the array takes over.
    std::vector<T>& vector() { return items; }

private:
    std::vector<T> items;
};

template <typename T>
struct KuListNode {
    T object;
    KuListNode* next;
    KuListNode* previous;
};

template <typename T>
using KuListIterator = KuListNode<T>*;

template <typename T>
class KuList : public KuObject {
public:
    KuListNode<T>* head = nullptr;
    KuListNode<T>* tail = nullptr;
    int32_t count_ = 0;

    KuList() : KuObject(kKuTypeList) {}
    ~KuList() override { freeAll(); }

    static KuList* list() { return KuAutorelease(new KuList); }

    int count() const { return count_; }
    KuListIterator<T> begin() const { return head; }
    KuListIterator<T> last() const { return tail; }

    void addObject(T obj) {
        if (!obj) return;
        KuRetain(obj);
        auto* node = new KuListNode<T>{obj, nullptr, tail};
        if (tail)
            tail->next = node;
        else
            head = node;
        tail = node;
        count_++;
    }

    // With an empty list obj becomes the only element; it must be a node of this list otherwise.
    // A null it on a non-empty list appends.
    void insertObjectBeforeIterator(T obj, KuListIterator<T> it) {
        if (!obj) return;
        if (!it) {
            addObject(obj);
            return;
        }
        KuRetain(obj);
        auto* node = new KuListNode<T>{obj, it, it->previous};
        if (it->previous)
            it->previous->next = node;
        else
            head = node;
        it->previous = node;
        count_++;
    }

    // Returns the neighbour in the walking direction (null past either end). An inner element is
    // autoreleased, so a caller walking the list may still use it; an end element is released now.
    KuListIterator<T> removeObjectAtIterator(KuListIterator<T> it, bool forward) {
        if (!it) return nullptr;
        KuListNode<T>* prev = it->previous;
        KuListNode<T>* next = it->next;
        bool atEnd = (it == head) || (it == tail);
        if (prev)
            prev->next = next;
        else
            head = next;
        if (next)
            next->previous = prev;
        else
            tail = prev;
        count_--;
        T obj = it->object;
        delete it;
        if (atEnd)
            KuRelease(obj);
        else
            KuAutorelease(obj);
        return forward ? next : prev;
    }

    // Removes the first node holding obj; true when found.
    bool removeObject(T obj) {
        for (KuListNode<T>* n = head; n; n = n->next) {
            if (n->object == obj) {
                removeObjectAtIterator(n, true);
                return true;
            }
        }
        return false;
    }

    void removeAllObjects() { freeAll(); }

    const char* typeStr() const override { return "KuList"; }
    void retainAllObjects() override {
        for (KuListNode<T>* n = head; n; n = n->next)
            KuRetain(n->object);
    }

private:
    void freeAll() {
        KuListNode<T>* n = head;
        head = tail = nullptr;
        count_ = 0;
        while (n) {
            KuListNode<T>* next = n->next;
            KuRelease(n->object);
            delete n;
            n = next;
        }
    }
};

// The engine's in-place quicksort: an element x ends after the pivot when block(x, pivot) is -1,
// so a block returning -1 for the smaller element sorts largest first.
template <typename T, typename Block>
void quickSortUsingBlock(std::vector<T>& v, int first, int last, Block& block) {
    while (first < last) {
        T pivot = v[first];
        int i = first, j = last + 1;
        int lastResult = 0;
        for (;;) {
            while (i < last) {
                ++i;
                int r = block(v[i], pivot);
                if (r != 0 && r != 1) break;
            }
            do {
                --j;
                lastResult = block(v[j], pivot);
            } while (lastResult == -1 && j > first);
            if (i >= j) break;
            std::swap(v[i], v[j]);
        }
        if (lastResult != 0) std::swap(v[first], v[j]);
        // Recurse into the smaller side to bound the stack; loop on the other.
        if (j - first < last - j) {
            quickSortUsingBlock(v, first, j - 1, block);
            first = j + 1;
        } else {
            quickSortUsingBlock(v, j + 1, last, block);
            last = j - 1;
        }
    }
}

template <typename T, typename Block>
void _sortArrayUsingBlock(KuArray<T>* array, Block block) {
    if (!array || array->count() < 2) return;
    quickSortUsingBlock(array->vector(), 0, array->count() - 1, block);
}

// Unsigned byte order of the texts; ascending for direction >= 0, descending below 0.
void _sortStringArray(KuArray<KuString*>* array, int direction);
