// Room objects: Object (a prop, spot, trigger or plain object read from and written back into its
// own dictionary of the room document, with its picture and undo snapshots), the process-wide
// master object list, and SortedRenderList, the objects in drawing order.
#pragma once

#include <functional>
#include <map>
#include <unordered_map>

#include "KuArray.h"
#include "KuDictionary.h"
#include "KuRenderNode.h"
#include "KuString.h"

// Direction codes of use positions; any other value is written as the front word.
enum ObjectDirection : int {
    kObjectDirRight = 1,
    kObjectDirLeft = 2,
    kObjectDirFront = 4,
    kObjectDirBack = 8,
};

// "DIR_RIGHT", "DIR_LEFT", "DIR_BACK" for their codes, "DIR_FRONT" for every other value.
const char* ObjectDirectionWord(int direction);
// A number's value; a direction word's code; any other text read as an int (0 when unreadable);
// fallback for null or other objects.
int ObjectDirectionFromValue(const KuObject* value, int fallback);

class Object : public KuRenderNode {
public:
    // The node's sortKey is the object's zsort (higher is drawn earlier). The node's hidden flag
    // is the editor-only "not drawn" switch; it is never saved.
    bool isAnimated = false;        // image is an animated sprite
    int stateIndex = 0;             // last animation state index set
    int layer = 0;                  // the room layer, for the game (-5 to 5)
    KuRenderNode* image = nullptr;  // owned
    KuPoint pos{0, 0};              // whole numbers except right after centring
    KuPoint dragStartPos{0, 0};     // pos when the current drag began
    KuPoint usepos{0, 0};           // relative to pos
    KuPoint usepos2{0, 0};          // relative to pos
    bool hasUsepos2 = false;
    int usedir = 0;
    int usedir2 = 0;
    KuPoint hotspotMin{0, 0}, hotspotMax{0, 0};  // relative to pos; after load, min holds the smaller
    KuString* name = nullptr;                    // owned
    int objectID = 0;                            // unique per run, assigned by the first load
    bool prop = false, spot = false, trigger = false;
    KuString* sheetName = nullptr;       // owned
    KuDictionary* dictionary = nullptr;  // owned; the document entry
    bool selected = false;

    Object();
    ~Object() override;

    // Owned (the creator holds one reference). Loads dict and retains sheet.
    static Object* newWithDictionary(KuDictionary* dict, KuString* sheet);

    // Retains dict as the object's dictionary and reads every field from it (missing or mistyped
    // entries give defaults), normalising the hotspot and centring an object placed by its hotspot.
    void load(KuDictionary* dict);
    // Writes the fields back into the dictionary by the rules of the object's kind and returns it
    // (borrowed). Null when the object has no dictionary.
    KuDictionary* save();
    KuDictionary* saveUndo();           // autoreleased snapshot of the undoable fields
    void restoreUndo(KuDictionary* d);  // null: nothing

    // (Re)builds image from the dictionary: a string "image" (a frame, or "sheet:frame") wins over
    // "animations"; a missing sheet or frame leaves no image, silently. Puts the object in the
    // open scene's drawing list.
    void createImages();
    // Builds the image if missing. The animated sprite's answer, or -1 for a still image.
    int playAnimation(KuString* animation);
    // Builds the image if missing; for an animated image, shows the animation at index (below 0:
    // the first), played once, or as a still of its last frame.
    void state(int index, bool play);
    int state() const { return stateIndex; }

    int zSort() const { return sortKey; }
    // Also the image's sort key; the caller re-sorts the drawing list.
    void zSort(int value);
    // Swaps corners so hotspotMin holds the smaller x and y, and truncates all four toward zero.
    void normaliseHotspot();

    void update(float dt) override;
    void render() override;  // image at pos, unless there is no image or the object is hidden
    const char* typeStr() const override { return "Object"; }
    KuString* toDebugString() override;  // "%@ (%d) {{%g,%g},{%g,%g}}": name, id, the corners

    // >>master objects: the objects created for the open document, in creation order (retained).
    static KuArray<Object*>* masterObjectArray();  // borrowed; created on first use
    static void addMasterObject(Object* object);
    static void deleteMasterObject(Object* object);  // every occurrence
    static void removeAllMasterObjects();
    // Exact bytes of the name; with null, the first object whose name is empty or missing.
    static Object* findObjectWithKey(KuString* name);
    static Object* findObjectWithID(int id);
    // The next identifier a first load takes; starts at 300000 and only grows.
    static int nextObjectID() { return _nextObjectID; }

private:
    static KuArray<Object*>* _masterObjectArray;
    static int _nextObjectID;
};

// Render nodes kept in descending sortKey order; equal keys keep their insertion order. Change the
// list only through this class: an index of nodes and keys beside it makes every insertion and
// removal logarithmic, which a room of thousands of objects needs.
class SortedRenderList {
public:
    SortedRenderList();
    ~SortedRenderList();
    SortedRenderList(const SortedRenderList&) = delete;
    SortedRenderList& operator=(const SortedRenderList&) = delete;

    KuList<KuRenderNode*>* list() const { return list_; }  // borrowed
    void addSortedRenderNode(KuRenderNode* node) { updateSortedRenderNode(node); }
    // Takes node out if listed, then inserts it before the first node with a smaller key (or at
    // the end). Retains it.
    void updateSortedRenderNode(KuRenderNode* node);
    void removeRenderNode(KuRenderNode* node);
    void removeAll();

private:
    using ListNode = KuListNode<KuRenderNode*>;
    using KeyIndex = std::multimap<int, ListNode*, std::greater<int>>;  // sort key when inserted

    KuList<KuRenderNode*>* list_;  // owned
    KeyIndex byKey_;               // in list order
    std::unordered_map<KuRenderNode*, KeyIndex::iterator> where_;

    void take(KuRenderNode* node);  // out of the list and the index, if there
};
