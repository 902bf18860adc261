// Walkboxes: the WalkBox record (a polygon of the room plus its own document dictionary) and
// WalkBoxSet, the room's list of walkboxes with the picking and point-editing operations the
// scene forwards to. Nothing here draws or reads input.
#pragma once

#include <cstdint>
#include <functional>

#include "KuArray.h"
#include "KuDictionary.h"
#include "KuObject.h"
#include "KuPointObject.h"
#include "KuPolygonObject.h"
#include "KuString.h"

class WalkBox : public KuObject {
public:
    KuPolygonObject* polygon = nullptr;  // owned; points in room pixels
    KuDictionary* dictionary = nullptr;  // owned; the document entry, keys the editor ignores included
    uint8_t flag = 0;                    // carried in the record, never used
    bool visible = true;                 // shown and pickable by point
    KuString* identifier = nullptr;      // owned; unique row key for the interface
    // The document held a polygon the editor could not read as 2 or more points. Such a walkbox
    // is written back exactly as read until the user deletes it, so a save does not drop it.
    bool unreadable = false;

    WalkBox();
    ~WalkBox() override;

    // Owned (release it). Reads the polygon text of the "polygon" entry, truncating every
    // coordinate toward zero, and retains dict as the walkbox's own (null: a new empty one).
    static WalkBox* newWithDictionary(KuDictionary* dict);
    // Owned. An empty dictionary and the given points, in order, as given.
    static WalkBox* newWithPoints(const KuPoint* points, int count);

    // The "name" text of the dictionary, or null (shown as "unnamed").
    KuString* name() const;
    // Writes "name"; null or the empty text removes it.
    void name(KuString* value);

    // Truncates every point toward zero, writes "polygon" into the dictionary and returns it
    // (borrowed). Null when the polygon has fewer than 2 points: such a walkbox is not saved,
    // unless it is unreadable, when its dictionary is given back untouched.
    KuDictionary* save();

    const char* typeStr() const override { return "WalkBox"; }
};

// The walkboxes of one room, in document order, and the selection among them. Walkboxes stay in
// the list until the whole list is reloaded: deleting one only empties its polygon. Distances are
// truncated toward zero to whole room pixels before they are compared with a radius.
class WalkBoxSet {
public:
    WalkBoxSet();
    ~WalkBoxSet();
    WalkBoxSet(const WalkBoxSet&) = delete;
    WalkBoxSet& operator=(const WalkBoxSet&) = delete;

    // Called after every edit that changes the document (the owner sets its dirty flag).
    void setEditHandler(std::function<void()> handler) { onEdit_ = std::move(handler); }

    KuList<WalkBox*>* walkBoxes() const { return list_; }  // borrowed
    int count() const { return list_->count(); }
    WalkBox* walkBoxAtIndex(int index) const;  // null outside the range
    WalkBox* selectedWalkBox() const { return selected_; }
    void selectWalkBox(WalkBox* box) { selected_ = box; }

    // Replaces the list with one walkbox per dictionary of array (other elements are skipped);
    // null empties it. The first walkbox becomes the selected one. Not an edit.
    void loadFromArray(KuArray<KuObject*>* array);
    // Autoreleased array of the dictionaries of every walkbox with at least 2 points, in order.
    KuArray<KuObject*>* saveToArray();
    void removeAll();  // empties the list and clears the selection; not an edit

    // First walkbox in list order whose polygon contains p, hidden ones included; null if none.
    WalkBox* findWalkBoxAt(KuPoint p) const;
    // Nearest point within radius, among box's points (box must be visible), or among every
    // visible walkbox's points when box is null; equal distances keep the first point met. The
    // result's walkbox becomes the selected one. Borrowed; null when none qualifies.
    KuPointObject* findWalkBoxPointAt(WalkBox* box, KuPoint p, float radius);
    // Every point of the visible walkboxes lying exactly on the point findWalkBoxPointAt gives for
    // the selected walkbox (shared corners). Autoreleased, empty when nothing is found.
    KuArray<KuPointObject*>* findAllWalkBoxPointsAt(KuPoint p, float radius);
    // Inserts p, as given, into the nearest edge within radius of any walkbox (hidden ones too),
    // the earlier walkbox and lower index winning ties; selects that walkbox. False when none.
    bool insertPointAt(KuPoint p, float radius);
    // Removes point (by identity) from the selected walkbox; below 2 points the walkbox is emptied
    // and deselected. False when point is null, nothing is selected or the point is not there.
    bool deletePoint(KuPointObject* point);
    // Empties box's polygon (the walkbox stays listed); deselects it if selected. Null: nothing.
    void deleteWalkbox(WalkBox* box);
    // Appends a visible 40 x 20 walkbox whose top edge runs through centre (truncated): points
    // (cx-20,cy), (cx+20,cy), (cx+20,cy+20), (cx-20,cy+20). The selection is unchanged. Borrowed.
    WalkBox* newWalkBox(KuPoint centre);
    // Renames box (null or "" removes the name); an edit.
    void renameWalkBox(WalkBox* box, KuString* name);
    // Rebuilds every polygon's triangles; a counter-clockwise outline is reversed to clip it.
    void updateWalkBoxes();

    // The room point at the middle of the view: screenSize / 2 / (roomScale * zoom) plus
    // camera - screenSize / (roomScale * zoom) / 2, each coordinate truncated toward zero.
    static KuPoint roomPointAtViewCentre(KuPoint screenSize, float roomScale, float zoom, KuPoint camera);

private:
    KuList<WalkBox*>* list_;       // owned
    WalkBox* selected_ = nullptr;  // one of list_, or null
    std::function<void()> onEdit_;

    void edited();
};
