// KuObject: root of every engine object (type word, reference count, autorelease bookkeeping),
// the per-thread autorelease pool stack, the optional live-object registry and the null object.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "KuTypes.h"

class KuString;

enum KuTypeCode : int32_t {
    kKuTypeObject = 0,
    kKuTypeString = 1,
    kKuTypeMutableString = 2,  // accepted wherever a string is; never assigned
    kKuTypeArray = 3,
    kKuTypeDictionary = 4,
    kKuTypeNumber = 5,
    kKuTypeList = 6,
    kKuTypePointObject = 7,
    kKuTypeRectObject = 8,
    kKuTypeImage = 9,
    kKuTypeTextSprite = 10,
    kKuTypeAnimatedSprite = 11,
    kKuTypeTexture2D = 12,
    kKuTypeData = 13,
    kKuTypeNullObject = 14,
    kKuTypeBitmapFont = 15,
    kKuTypeSpineRenderNode = 16,
};

constexpr int32_t kKuTypeRenderNodeFlag = 0x100;
constexpr int32_t kKuImmortal = -1000;

// Selects the constant-initialised constructors of process-lifetime objects (key strings, shared
// numbers, the null object): they exist before any dynamic initialiser runs and are never counted.
struct KuImmortalTag {};
constexpr KuImmortalTag kKuImmortalTag{};

class KuObject {
public:
    int32_t typeCode = 0;          // kind in bits 0-7, kKuTypeRenderNodeFlag for nodes
    int32_t refCount = 1;          // kKuImmortal: never counted, never freed
    int32_t autoreleaseCount = 0;  // pending entries in autorelease pools

    // A new object has count 1 (owned by its creator) and is registered as live.
    explicit KuObject(int32_t typeWord = kKuTypeObject);
    constexpr KuObject(KuImmortalTag, int32_t typeWord) : typeCode(typeWord), refCount(kKuImmortal) {}
    KuObject(const KuObject&) = delete;
    KuObject& operator=(const KuObject&) = delete;
    virtual ~KuObject();

    virtual void onRetain() {}
    virtual void onRelease() {}
    virtual void onAutoRelease() {}
    virtual const char* typeStr() const;
    virtual void retainAllObjects() {}  // containers retain their contents (recursively)
    virtual int intValue() const { return 0; }
    virtual float floatValue() const { return 0; }
    virtual unsigned unsignedIntValue() const { return 0; }
    virtual KuPoint pointValue(KuPoint fallback) const;
    virtual KuString* toString();        // autoreleased
    virtual KuString* toDebugString();   // autoreleased; typeStr()
    virtual KuString* dump(int indent);  // autoreleased; typeStr()
    // Shown beside the type in the live-object listing (images give their name); null for none.
    virtual const char* debugLabel() const { return nullptr; }

    int32_t kindCode() const { return typeCode & ~kKuTypeRenderNodeFlag; }
    bool isString() const { return kindCode() == kKuTypeString || kindCode() == kKuTypeMutableString; }
    bool isInt() const;    // a number of integer kind (defined with KuNumber)
    bool isFloat() const;  // a number of float kind
    bool isImmortal() const { return refCount == kKuImmortal; }

    // Turns a freshly created object into a process-lifetime constant.
    void makeImmortal() { refCount = kKuImmortal; }
};

void _addLiveObject(KuObject* object, const char* label, const char* path, int line);
void _removeLiveObject(KuObject* object);

inline void KuRetain(KuObject* o) {
    if (!o) return;
    if (o->refCount != kKuImmortal) o->refCount++;
    o->onRetain();
}

inline void KuRelease(KuObject* o) {
    if (!o) return;
    if (o->refCount != kKuImmortal) o->refCount--;
    o->onRelease();
    if (o->refCount != kKuImmortal && o->refCount <= 0) {
        _removeLiveObject(o);
        delete o;
    }
}

// The pool takes over one of the caller's references: the count is unchanged. Returns o.
template <typename T>
T* KuAutorelease(T* o);

// Assigns with the setter rule: retain the new value before releasing the old one.
template <typename T>
inline void KuSetRetained(T*& slot, T* value) {
    KuRetain(value);
    KuRelease(slot);
    slot = value;
}

class KuAutoreleasePool {
public:
    static constexpr int kMaxPools = 10;

    static void initThreadPool();
    static void destroyThreadPool();
    static KuAutoreleasePool* currentPool();  // creates the stack and a bottom pool as needed
    static void pushPool();                   // "KuAutoreleasePool push overflow" at 10 pools
    static void popPool();                    // "KuAutoreleasePool pop underflow" on the bottom pool
    static void drainCurrentPool();           // objects autoreleased while draining go to a fresh pool
    static int stackDepth();                  // pools on this thread's stack (0 without a stack)

    void addObject(KuObject* o);
    void drainPool();
    int poolCount(KuObject* o) const;
    int size() const { return static_cast<int>(objects.size()); }

private:
    std::vector<KuObject*> objects;
};

template <typename T>
inline T* KuAutorelease(T* o) {
    if (!o) return o;
    o->onAutoRelease();
    KuAutoreleasePool::currentPool()->addObject(o);
    return o;
}

struct _LiveObject {
    KuObject* object = nullptr;
    float creationTime = 0;
    const char* label = nullptr;
    const char* file = nullptr;  // part of the path after its last "/", or null
    int line = -1;
};

void KuTrackLiveObjects(int on, bool clear);
void KuPauseTrackLiveObjects(int paused);
std::unordered_map<KuObject*, _LiveObject>& KuTrackLiveMap();
std::mutex& KuTrackLiveMutex();
// Lines of the "Live Objects" listing, newest first, for the given current time.
std::vector<std::string> KuLiveObjectLines(float now);

// Hooks the layers above install: the application clock (0 until set) and the report of the
// pool-stack errors (KuError until set; null restores it).
void KuSetObjectClock(float (*clock)());
void KuSetObjectErrorReport(void (*report)(const char* message));

class KuNullObject : public KuObject {
public:
    KuNullObject() : KuObject(kKuTypeNullObject) {}
    constexpr explicit KuNullObject(KuImmortalTag t) : KuObject(t, kKuTypeNullObject) {}
    const char* typeStr() const override { return "KuNullObject"; }
    static KuNullObject* null();  // a fresh autoreleased null object
};

extern KuNullObject* const kKuNullObject;  // the one immortal null
