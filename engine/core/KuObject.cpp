// Sections: >>object >>pool >>registry >>null
#include "KuObject.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "KuLog.h"
#include "KuString.h"

// >>object

static float zeroClock() {
    return 0;
}
static void printErrorReport(const char* message) {
    KuError("%s", message);
}
static float (*objectClock)() = zeroClock;
static void (*objectErrorReport)(const char*) = printErrorReport;

void KuSetObjectClock(float (*clock)()) {
    objectClock = clock ? clock : zeroClock;
}
void KuSetObjectErrorReport(void (*report)(const char*)) {
    objectErrorReport = report ? report : printErrorReport;
}

KuObject::KuObject(int32_t typeWord) : typeCode(typeWord), refCount(1) {
    _addLiveObject(this, nullptr, nullptr, -1);
}

KuObject::~KuObject() = default;

static const char* const kTypeNames[] = {
    nullptr,       "KuString",      "KuMutableString", "KuArray",      "KuDictionary",      "KuNumber",
    "KuList",      "KuPointObject", "KuRectObject",    "KuImage",      "KuTextSprite",      nullptr,
    "KuTexture2D", "KuData",        "KuNullObject",    "KuBitmapFont", "KuSpineRenderNode",
};

const char* KuObject::typeStr() const {
    int32_t code = kindCode();
    if (code >= 1 && code <= 16 && kTypeNames[code]) return kTypeNames[code];
    return (typeCode & kKuTypeRenderNodeFlag) ? "KuRenderNode" : "KuObject";
}

KuPoint KuObject::pointValue(KuPoint) const {
    return KuPoint{};
}
KuString* KuObject::toString() {
    return toDebugString();
}
KuString* KuObject::toDebugString() {
    return KuString::stringWithString(typeStr());
}
KuString* KuObject::dump(int) {
    return KuString::stringWithString(typeStr());
}

// >>pool

namespace {
struct PoolStack {
    KuAutoreleasePool* pools[KuAutoreleasePool::kMaxPools] = {};
    int top = -1;
};
thread_local PoolStack* _current_pool_stack = nullptr;
}  // namespace

void KuAutoreleasePool::initThreadPool() {
    if (!_current_pool_stack) _current_pool_stack = new PoolStack;
}

void KuAutoreleasePool::destroyThreadPool() {
    PoolStack* stack = _current_pool_stack;
    if (!stack) return;
    // Draining may autorelease more objects (destructors); they land in the pools still below.
    while (stack->top >= 0) {
        KuAutoreleasePool* pool = stack->pools[stack->top];
        pool->drainPool();
        if (!pool->objects.empty()) continue;
        stack->pools[stack->top--] = nullptr;
        delete pool;
    }
    delete stack;
    _current_pool_stack = nullptr;
}

KuAutoreleasePool* KuAutoreleasePool::currentPool() {
    initThreadPool();
    PoolStack* stack = _current_pool_stack;
    if (stack->top < 0) stack->pools[++stack->top] = new KuAutoreleasePool;
    return stack->pools[stack->top];
}

void KuAutoreleasePool::pushPool() {
    initThreadPool();
    PoolStack* stack = _current_pool_stack;
    if (stack->top >= kMaxPools - 1) {
        objectErrorReport("KuAutoreleasePool push overflow");
        return;
    }
    stack->pools[++stack->top] = new KuAutoreleasePool;
}

void KuAutoreleasePool::popPool() {
    PoolStack* stack = _current_pool_stack;
    if (!stack || stack->top <= 0) {
        objectErrorReport("KuAutoreleasePool pop underflow");
        return;
    }
    KuAutoreleasePool* pool = stack->pools[stack->top];
    pool->drainPool();
    // Whatever the drain autoreleased went back into this pool; hand it to the pool below.
    KuAutoreleasePool* below = stack->pools[stack->top - 1];
    stack->pools[stack->top--] = nullptr;
    for (KuObject* o : pool->objects)
        below->objects.push_back(o);
    delete pool;
}

void KuAutoreleasePool::drainCurrentPool() {
    PoolStack* stack = _current_pool_stack;
    if (!stack || stack->top < 0) return;
    KuAutoreleasePool* old = stack->pools[stack->top];
    stack->pools[stack->top] = new KuAutoreleasePool;
    old->drainPool();
    delete old;
}

int KuAutoreleasePool::stackDepth() {
    return _current_pool_stack ? _current_pool_stack->top + 1 : 0;
}

void KuAutoreleasePool::addObject(KuObject* o) {
    if (!o) return;
    o->autoreleaseCount++;
    objects.push_back(o);
}

void KuAutoreleasePool::drainPool() {
    // Swap out first: a release may autorelease into this same pool (when it is still on top).
    std::vector<KuObject*> pending;
    pending.swap(objects);
    for (KuObject* o : pending) {
        o->autoreleaseCount--;
        KuRelease(o);
    }
}

int KuAutoreleasePool::poolCount(KuObject* o) const {
    return static_cast<int>(std::count(objects.begin(), objects.end(), o));
}

// >>registry

namespace {
bool trackingOn = false;
bool trackingPaused = false;
}  // namespace

std::mutex& KuTrackLiveMutex() {
    static std::mutex m;
    return m;
}

std::unordered_map<KuObject*, _LiveObject>& KuTrackLiveMap() {
    static auto* map = new std::unordered_map<KuObject*, _LiveObject>;  // outlives static destructors
    return *map;
}

void _addLiveObject(KuObject* object, const char* label, const char* path, int line) {
    if (!trackingOn || trackingPaused || !object) return;
    std::lock_guard<std::mutex> lock(KuTrackLiveMutex());
    auto& map = KuTrackLiveMap();
    if (map.count(object)) return;
    _LiveObject rec;
    rec.object = object;
    rec.creationTime = objectClock();
    rec.label = label;
    const char* slash = path ? strrchr(path, '/') : nullptr;
    rec.file = slash ? slash + 1 : nullptr;
    rec.line = line;
    map.emplace(object, rec);
}

void _removeLiveObject(KuObject* object) {
    if (!trackingOn) return;
    std::lock_guard<std::mutex> lock(KuTrackLiveMutex());
    KuTrackLiveMap().erase(object);
}

void KuTrackLiveObjects(int on, bool clear) {
    trackingOn = on != 0;
    if (clear) {
        std::lock_guard<std::mutex> lock(KuTrackLiveMutex());
        KuTrackLiveMap().clear();
    }
}

void KuPauseTrackLiveObjects(int paused) {
    trackingPaused = paused != 0;
}

std::vector<std::string> KuLiveObjectLines(float now) {
    std::vector<_LiveObject> records;
    {
        std::lock_guard<std::mutex> lock(KuTrackLiveMutex());
        for (auto& entry : KuTrackLiveMap())
            records.push_back(entry.second);
    }
    std::sort(records.begin(), records.end(),
              [](const _LiveObject& a, const _LiveObject& b) { return a.creationTime > b.creationTime; });
    std::vector<std::string> lines;
    char line[512];
    for (const _LiveObject& r : records) {
        KuObject* o = r.object;
        int age = static_cast<int>(now - r.creationTime);
        const char* file = r.file ? r.file : "";
        if (r.label) {
            snprintf(line, sizeof line, "%s age: %d (%s)", o->typeStr(), age, r.label);
        } else if (o->isString()) {
            const char* text = static_cast<KuString*>(o)->c_str();
            text += strspn(text, " \t");
            snprintf(line, sizeof line, "%s age: %d \"%.20s\" [%s:%d]", o->typeStr(), age, text, file,
                     r.line);
        } else if (o->kindCode() == kKuTypeImage && o->debugLabel()) {
            snprintf(line, sizeof line, "%s age: %d (%s)", o->typeStr(), age, o->debugLabel());
        } else if (o->isInt()) {
            snprintf(line, sizeof line, "%s age: %d (%d)", o->typeStr(), age, o->intValue());
        } else if (o->isFloat()) {
            snprintf(line, sizeof line, "%s age: %d (%f)", o->typeStr(), age, o->floatValue());
        } else {
            snprintf(line, sizeof line, "%s age: %d [%s:%d]", o->typeStr(), age, file, r.line);
        }
        lines.emplace_back(line);
    }
    return lines;
}

// >>null

static KuNullObject nullObjectStorage{kKuImmortalTag};
KuNullObject* const kKuNullObject = &nullObjectStorage;

KuNullObject* KuNullObject::null() {
    return KuAutorelease(new KuNullObject);
}
