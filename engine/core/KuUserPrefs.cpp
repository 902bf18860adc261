// Sections: >>globals >>store >>getters and setters
#include "KuUserPrefs.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "KuFile.h"
#include "KuJson.h"
#include "KuNumber.h"
#include "KuPointObject.h"

// >>globals

// Fixed keys of the stores the program creates itself; their value only has to stay the same.
const unsigned char kPrivatePrefsDataKey[16] = {0x4d, 0x6f, 0x73, 0x73, 0x62, 0x61, 0x6e, 0x6b,
                                                0x2e, 0x54, 0x61, 0x6e, 0x73, 0x79, 0x2e, 0x31};
const unsigned char kPrivatePrefsDataKey2[16] = {0x9c, 0x21, 0x5e, 0xa7, 0x03, 0xd8, 0x6b, 0xf4,
                                                 0x17, 0xb0, 0x4a, 0xe5, 0x82, 0x39, 0xce, 0x60};

static KuString* immortalString(const char* text) {
    KuString* s = new KuString(text);
    s->makeImmortal();
    return s;
}

KuString* const default_prefs_filename = immortalString("Prefs.json");
KuString* const private_prefs_filename = immortalString("Save.dat");
KuUserPrefs* const defaultPrefs = new KuUserPrefs(default_prefs_filename, false);
KuUserPrefs* const privatePrefs = new KuUserPrefs(private_prefs_filename, false);

// >>store

KuUserPrefs::KuUserPrefs(KuString* name, bool isPath) : KuObject(kKuTypeObject) {
    KuSetRetained(filename, name);
    if (isPath) KuSetRetained(path, name);
}

KuUserPrefs::~KuUserPrefs() {
    KuRelease(dict);
    KuRelease(path);
    KuRelease(filename);
}

void KuUserPrefs::setKey(const unsigned char* newKey) {
    uintptr_t selector = reinterpret_cast<uintptr_t>(newKey);
    if (selector == 1) newKey = kPrivatePrefsDataKey;
    if (selector == 2) newKey = kPrivatePrefsDataKey2;
    if (!newKey) {
        key = nullptr;
        return;
    }
    memmove(keyBytes, newKey, sizeof keyBytes);
    key = keyBytes;
}

int KuUserPrefs::_lazyInit() {
    if (dict) return 0;
    if (!filename) return -1;
    if (!path) {
        KuString* folder = KuLibraryFolder();
        if (!folder) return -1;
        std::string full = std::string(folder->c_str()) + "/" + filename->c_str();
        path = new KuString(full.c_str());
    }
    if (KuDoesFileExistAtPath(path)) {
        KuSetRetained(dict, KuLoadDictionaryFromFile(path, key));
        dirty = false;
        if (dict) return 0;
    }
    dict = new KuDictionary;
    dirty = true;
    return 0;
}

bool KuUserPrefs::sync(bool force) {
    if (_lazyInit() != 0) return false;
    if (!dirty && !force) return false;
    if (!path || !dict) return false;
    bool written = KuSaveDictionaryToFile(path, dict, key, false);
    if (written) dirty = false;
    return written;
}

void KuUserPrefs::recreateEmpty() {
    KuRelease(dict);
    dict = new KuDictionary;
    dirty = true;
}

int KuUserPrefs::initFromData(unsigned char* bytes, int n) {
    if (!bytes) return -1;
    KuDictionary* parsed = KuLoadDictionaryFromData(bytes, n, key);
    if (!parsed) return -1;
    KuSetRetained(dict, parsed);
    dirty = false;
    return 0;
}

KuMutableString* KuUserPrefs::asString() {
    if (_lazyInit() != 0) return nullptr;
    return KuJson::stringFromDict(dict);
}

KuObject* KuUserPrefs::storeValue(const char* k, KuObject* value) {
    KuString* keyString = KuString::stringWithString(k);
    dict->addKeyObject(keyString, value);
    dirty = true;
    return value;
}

bool KuUserPrefs::removePresent(const char* k) {
    if (!dict->containsKey(k)) return false;
    dict->removeObjectForKey(k);
    return true;
}

// >>getters and setters

bool KuUserPrefs::contains(KuPrefsKey k) {
    return _lazyInit() == 0 && dict->containsKey(k.text);
}

KuObject* KuUserPrefs::getObject(KuPrefsKey k, KuObject* fallback) {
    if (_lazyInit() != 0) return fallback;
    return dict->objectForKey(k.text, fallback);
}

KuObject* KuUserPrefs::setObject(KuPrefsKey k, KuObject* obj) {
    if (_lazyInit() != 0) return obj;
    if (obj) return storeValue(k.text, obj);
    removePresent(k.text);
    dirty = true;
    return nullptr;
}

void KuUserPrefs::remove(KuPrefsKey k) {
    if (_lazyInit() != 0) return;
    if (removePresent(k.text)) dirty = true;
}

int KuUserPrefs::getInt(KuPrefsKey k, int fallback) {
    if (_lazyInit() != 0) return fallback;
    return dict->intForKey(k.text, fallback);
}

// A value that cannot be read as a number never counts as equal: the probe fallback differs from
// the value being set.
int KuUserPrefs::setInt(KuPrefsKey k, int value) {
    if (_lazyInit() != 0) return value;
    if (dict->containsKey(k.text) && dict->intForKey(k.text, value == 0 ? 1 : 0) == value) return value;
    dict->addKeyInt(KuString::stringWithString(k.text), value);
    dirty = true;
    return value;
}

float KuUserPrefs::getFloat(KuPrefsKey k, float fallback) {
    if (_lazyInit() != 0) return fallback;
    return dict->floatForKey(k.text, fallback);
}

float KuUserPrefs::setFloat(KuPrefsKey k, float value) {
    if (_lazyInit() != 0) return value;
    if (dict->containsKey(k.text) && dict->floatForKey(k.text, value == 0 ? 1.0f : 0.0f) == value)
        return value;
    dict->addKeyFloat(KuString::stringWithString(k.text), value);
    dirty = true;
    return value;
}

bool KuUserPrefs::getBool(KuPrefsKey k, bool fallback) {
    if (_lazyInit() != 0) return fallback;
    return dict->intForKey(k.text, fallback ? 1 : 0) != 0;
}

// Equality is judged by getBool's own integer reading, so that a stored "yes" (which getBool reads
// as false) is replaced by 1 when true is set.
bool KuUserPrefs::setBool(KuPrefsKey k, bool value) {
    if (_lazyInit() != 0) return value;
    if (dict->containsKey(k.text) && (dict->intForKey(k.text, value ? 0 : 1) != 0) == value) return value;
    dict->addKeyInt(KuString::stringWithString(k.text), value ? 1 : 0);
    dirty = true;
    return value;
}

KuString* KuUserPrefs::getString(KuPrefsKey k, KuString* fallback) {
    if (_lazyInit() != 0) return fallback;
    return dict->stringForKey(k.text, fallback);
}

const char* KuUserPrefs::getCString(KuPrefsKey k) {
    KuString* s = getString(k, nullptr);
    return s ? s->c_str() : nullptr;
}

KuString* KuUserPrefs::setString(KuPrefsKey k, KuString* s) {
    if (_lazyInit() != 0) return s;
    if (!s) {
        removePresent(k.text);
        dirty = true;
        return nullptr;
    }
    if (dict->containsKey(k.text)) {
        KuString* stored = dict->stringForKey(k.text, nullptr);
        if (stored && strcmp(stored->c_str(), s->c_str()) == 0) return s;
    }
    storeValue(k.text, s);
    return s;
}

KuColor KuUserPrefs::getColor(KuPrefsKey k, KuColor fallback) {
    if (_lazyInit() != 0) return fallback;
    return dict->colorForKey(k.text, fallback);
}

KuColor KuUserPrefs::setColor(KuPrefsKey k, KuColor c) {
    if (_lazyInit() != 0) return c;
    if (dict->containsKey(k.text)) {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        KuColor stored = dict->colorForKey(k.text, KuColor{nan, nan, nan, nan});
        if (stored == c) return c;
    }
    storeValue(k.text, KuString::stringWithColor(c));
    return c;
}

KuPoint KuUserPrefs::getPoint(KuPrefsKey k, KuPoint fallback) {
    if (_lazyInit() != 0) return fallback;
    return dict->pointForKey(k.text, fallback);
}

KuPoint KuUserPrefs::setPoint(KuPrefsKey k, KuPoint p) {
    if (_lazyInit() != 0) return p;
    storeValue(k.text, KuPointObject::pointWithPoint(p));
    return p;
}

static bool holdsOnlyStrings(KuArray<KuObject*>* array) {
    for (KuObject* element : *array)
        if (!element || !element->isString()) return false;
    return true;
}

KuArray<KuString*>* KuUserPrefs::getStringArray(KuPrefsKey k) {
    if (_lazyInit() != 0) return nullptr;
    KuArray<KuObject*>* array = dict->arrayForKey(k.text, nullptr);
    if (!array || !holdsOnlyStrings(array)) return nullptr;
    return reinterpret_cast<KuArray<KuString*>*>(array);
}

KuArray<KuString*>* KuUserPrefs::setStringArray(KuPrefsKey k, KuArray<KuString*>* array) {
    if (_lazyInit() != 0) return array;
    if (!array) {
        removePresent(k.text);
        dirty = true;
        return nullptr;
    }
    if (!holdsOnlyStrings(reinterpret_cast<KuArray<KuObject*>*>(array))) return nullptr;
    storeValue(k.text, array);
    return array;
}

KuDictionary* KuUserPrefs::getDictionary(KuPrefsKey k, KuDictionary* fallback) {
    if (_lazyInit() != 0) return fallback;
    return dict->dictionaryForKey(k.text, fallback);
}

KuData* KuUserPrefs::getData(KuPrefsKey k, KuData* fallback) {
    if (_lazyInit() != 0) return fallback;
    return dict->dataForKey(k.text, fallback);
}

KuDictionary* KuUserPrefs::setDictionary(KuPrefsKey k, KuDictionary* d) {
    if (_lazyInit() != 0) return d;
    if (d) {
        storeValue(k.text, d);
        return d;
    }
    if (removePresent(k.text)) dirty = true;
    return nullptr;
}

KuData* KuUserPrefs::setData(KuPrefsKey k, KuData* d) {
    if (_lazyInit() != 0) return d;
    if (d) {
        storeValue(k.text, d);
        return d;
    }
    if (removePresent(k.text)) dirty = true;
    return nullptr;
}

bool KuUserPrefs::isNumber(KuPrefsKey k) {
    if (_lazyInit() != 0) return false;
    KuObject* value = dict->objectForKey(k.text);
    return value && value->kindCode() == kKuTypeNumber;
}

bool KuUserPrefs::isString(KuPrefsKey k) {
    if (_lazyInit() != 0) return false;
    KuObject* value = dict->objectForKey(k.text);
    return value && value->isString();
}
