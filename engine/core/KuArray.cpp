// Sorting of string arrays (the rest of KuArray is header-only).
#include "KuArray.h"

#include <cstring>

void _sortStringArray(KuArray<KuString*>* array, int direction) {
    // -1 puts x after the pivot: "greater" for ascending order, "smaller" for descending.
    auto block = [direction](KuString* x, KuString* pivot) {
        if (!x || !pivot || !x->isString() || !pivot->isString()) return 1;
        int lx = KuStrlen(x), lp = KuStrlen(pivot);
        int c = memcmp(x->c_str(), pivot->c_str(), static_cast<size_t>(lx < lp ? lx : lp));
        if (c == 0) c = (lx > lp) - (lx < lp);
        if (c == 0) return 0;
        if (direction >= 0) return c > 0 ? -1 : 1;
        return c < 0 ? -1 : 1;
    };
    _sortArrayUsingBlock(array, block);
}
