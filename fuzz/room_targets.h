// The room fuzz target's body: a room document read with the room symbols, every object and
// walkbox loaded and saved the way the editor does, and what a save must always leave checked.
// Header-only so that the libFuzzer binary and the corpus replay test compile the same code.
// Returns an empty text when the input behaved, else a description of the fault.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "GameScene.h"
#include "KuJson.h"
#include "KuLog.h"
#include "Object.h"
#include "WalkBox.h"

namespace room_fuzz {

class QuietHooks : public KuLogHooks {
public:
    int appReceivesWarning(const char*) override { return 1; }
    int appReceivesError(const char*) override { return 1; }
};

inline bool whole(float v) {
    return !std::isfinite(v) || v == std::trunc(v);
}

inline std::string textOf(KuDictionary* d) {
    KuString* s = KuJson::stringFromDict(d);
    return s ? std::string(s->c_str(), static_cast<size_t>(s->length)) : std::string();
}

inline std::string checkObject(KuDictionary* dict) {
    Object* object = Object::newWithDictionary(dict, KuString::stringWithString("Room"));
    std::string fault;
    KuDictionary* saved = object->save();
    if (saved != dict) fault = "save did not write into the object's own dictionary";
    if (fault.empty() &&
        (object->hotspotMin.x > object->hotspotMax.x || object->hotspotMin.y > object->hotspotMax.y))
        fault = "hotspot corners not ordered after saving";
    if (fault.empty() &&
        !(whole(object->pos.x) && whole(object->pos.y) && whole(object->usepos.x) &&
          whole(object->usepos.y) && whole(object->hotspotMin.x) && whole(object->hotspotMax.y)))
        fault = "a saved coordinate kept a fraction";
    if (fault.empty()) {
        std::string first = textOf(saved);
        std::string second = textOf(object->save());
        if (first != second) fault = "saving twice changed the object:\n" + first + "\n" + second;
    }
    if (fault.empty() && object->spot &&
        (saved->containsKey(KUSTR_hotspot) || saved->containsKey(KUSTR_usepos)))
        fault = "a spot was saved with a hotspot or use position";
    if (fault.empty()) {
        // An undo snapshot taken now and restored gives the same save.
        std::string before = textOf(object->save());
        object->restoreUndo(object->saveUndo());
        std::string after = textOf(object->save());
        if (before != after) fault = "restoring a fresh undo snapshot changed the object";
    }
    KuRelease(object);
    return fault;
}

inline std::string roomTarget(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    KuString* text = KuString::stringWithString(bytes.c_str());
    if (!text || size == 0 || static_cast<size_t>(text->length) != size) return "";  // NULs end a text
    KuObject* root = quickParseKuJsonWithSymbolDict(text, roomSymbolDictionary(), false);
    if (!root || root->kindCode() != kKuTypeDictionary) return "";
    KuDictionary* room = static_cast<KuDictionary*>(root);

    if (KuArray<KuObject*>* objects = room->arrayForKey("objects")) {
        for (KuObject* entry : *objects) {
            if (!entry || entry->kindCode() != kKuTypeDictionary) continue;
            std::string fault = checkObject(static_cast<KuDictionary*>(entry));
            if (!fault.empty()) return fault;
        }
    }

    WalkBoxSet boxes;
    boxes.loadFromArray(room->arrayForKey("walkboxes"));
    room->addKeyObject(KUSTR_walkboxes, boxes.saveToArray());
    std::string once = textOf(room);
    room->addKeyObject(KUSTR_walkboxes, boxes.saveToArray());
    if (textOf(room) != once) return "saving the walkboxes twice changed them";
    for (auto* n = boxes.walkBoxes()->begin(); n; n = n->next)
        for (KuPointObject* p : *n->object->polygon->points())
            if (!whole(p->point.x) || !whole(p->point.y)) return "a saved walkbox point kept a fraction";

    // What the editor writes, it reads back.
    KuObject* again = quickParseKuJsonWithSymbolDict(KuString::stringWithString(once.c_str()),
                                                     roomSymbolDictionary(), false);
    if (once.find('\0') == std::string::npos && (!again || again->kindCode() != kKuTypeDictionary))
        return "the saved room does not read back:\n" + once;
    return "";
}

inline std::string runOnce(const uint8_t* data, size_t size) {
    static QuietHooks hooks;
    KuLogHooks* outer = KuGetLogHooks();
    KuSetLogHooks(&hooks);
    std::string fault = roomTarget(data, size);
    KuAutoreleasePool::drainCurrentPool();
    KuSetLogHooks(outer);
    return fault;
}

}  // namespace room_fuzz
