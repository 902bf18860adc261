// GameScene: the open room, at once the document and its view. Opening reads the room document,
// builds the background, the parallax layers, the objects and the walkboxes; saving writes the
// edited parts back into the same dictionary, so that everything the editor does not interpret
// is written back unchanged. Also the process-wide list of recently opened rooms.
#pragma once

#include "KuArray.h"
#include "KuBaseScene.h"
#include "KuDictionary.h"
#include "KuImage.h"
#include "KuString.h"
#include "Object.h"
#include "WalkBox.h"

// Layer slots: index = layer zsort + 5; slot 5 is the background.
constexpr int kLayerSlots = 11;
constexpr int kBackgroundSlot = 5;

enum HandleImage : int { kHandleRed = 0, kHandleGreen = 1, kHandleBlue = 2, kHandlePurple = 3 };

class GameScene : public KuBaseScene {
public:
    // >>document
    KuString* roomPath = nullptr;             // owned; null without a document
    KuDictionary* roomDictionary = nullptr;   // owned; null when opening failed
    KuString* sheetName = nullptr;            // owned; the "sheet" entry
    KuString* buildText = nullptr;            // owned; the project's "version.txt", trimmed
    KuImage* background = nullptr;            // owned; also layerImages[kBackgroundSlot]
    KuPoint roomSize{0, 0};                   // both background frames together
    KuRect roomBounds{};                      // two opposite corners
    float roomScale = 3;                      // screen pixels per room pixel at zoom 1
    KuImage* layerImages[kLayerSlots] = {};   // owned each
    KuPoint layerParallax[kLayerSlots] = {};  // per slot; the background's is (1, 1)
    KuImage* handleImages[4] = {};            // owned each; see HandleImage
    KuColor backgroundColor{64 / 255.0f, 64 / 255.0f, 64 / 255.0f, 1};
    KuArray<Object*>* objects;          // owned; document order: what is saved and listed
    SortedRenderList sortedRenderList;  // what is drawn, descending zsort
    WalkBoxSet walkBoxes;

    // >>selection and undo
    Object* selectedObject = nullptr;  // borrowed from objects
    KuArray<Object*>* extraSelection;  // owned
    Object* undoObject = nullptr;      // retained while it is the undo object
    KuArray<KuDictionary*>* undoList;  // owned
    int undoPosition = 0;

    // >>view
    KuPoint camera{0, 0};  // room point at the middle of the window, whole numbers
    KuPoint panOffset{0, 0};
    bool panning = false;
    float zoom = 1;
    bool parallax = true;
    bool layerHidden[kLayerSlots] = {};
    int foregroundHidden = 0;
    int infoMode = 1;  // markers: 0 none, 1 the selected objects, 2 all objects
    int deviceBoundsMode = 0;
    bool walkboxEditMode = false;
    bool roomBoundsEditMode = false;
    bool autocenter = false;
    KuPoint cursorPosition{0, 0};

    GameScene();  // owned (count 1)
    ~GameScene() override;
    const char* typeStr() const override { return "GameScene"; }

    // >>document
    // Opens the document at path (a string), or shows the drag-a-file warning for anything else.
    void openSceneWithObject(KuObject* path) override;
    void closeScene() override;
    void appWindowDidResize() override {}
    void update(float dt) override;
    void createRoom();
    void createObjects();
    void createWalkBoxes();
    // Writes the document to the room path. A failed write keeps the document dirty and is
    // reported with a warning naming the path; true when the file was written.
    bool save();
    bool dirty() const { return dirty_; }
    // Replace false: the flag becomes value or the current flag; true: value.
    void dirty(bool value, bool replace);
    // True once opening has built a room; false for no document or a failed opening.
    bool isOpen() const { return roomDictionary && background; }

    // A frame reference ("frame", or "sheet:frame" naming another sheet) as a new image (owned),
    // or null when the sheet or the frame is missing.
    static KuImage* newSheetImage(KuString* sheet, KuString* frame, bool quiet);

    // >>objects
    void addSortedRenderNode(KuRenderNode* node) { sortedRenderList.addSortedRenderNode(node); }
    void updateSortedRenderNode(KuRenderNode* node) { sortedRenderList.updateSortedRenderNode(node); }
    // Ends its editing, clears the selection and removes it from the drawing list, the objects and
    // the master objects; dirty.
    void deleteObject(Object* object);
    // Null: nothing selected. add: the object joins the extra selection. Otherwise the object
    // alone becomes the selection.
    void selectObject(Object* object, bool add);
    // The camera at the object's focus point: a spot's use position, a trigger's hotspot middle,
    // else its position.
    void centerObject(Object* object);
    void setCameraAt(KuPoint p);

    // >>walkboxes: the set's operations; edits set the dirty flag.
    WalkBox* findWalkBoxAt(KuPoint p) const { return walkBoxes.findWalkBoxAt(p); }
    KuPointObject* findWalkBoxPointAt(WalkBox* box, KuPoint p, float radius) {
        return walkBoxes.findWalkBoxPointAt(box, p, radius);
    }
    KuArray<KuPointObject*>* findAllWalkBoxPointsAt(KuPoint p, float radius) {
        return walkBoxes.findAllWalkBoxPointsAt(p, radius);
    }
    bool insertPointAt(KuPoint p, float radius) { return walkBoxes.insertPointAt(p, radius); }
    bool deletePoint(KuPointObject* point) { return walkBoxes.deletePoint(point); }
    void deleteWalkbox(WalkBox* box) { walkBoxes.deleteWalkbox(box); }
    WalkBox* newWalkBox();  // 40 x 20 at the middle of the view
    void updateWalkBoxes() { walkBoxes.updateWalkBoxes(); }

    // >>layers
    bool isLayer(int i) const { return i >= 0 && i < kLayerSlots && layerImages[i]; }

    // >>recent rooms
    // Most recent first; string entries are paths, other entries are kept as found in the
    // preferences. Created on first use; lives for the whole process.
    static KuArray<KuObject*>* recentRooms();
    // Replaces the list (retained), e.g. with the "recentRooms" preference at start-up.
    static void setRecentRooms(KuArray<KuObject*>* rooms);
    // After a document at path has opened: every string entry equal to path goes, and path is
    // put at the front. The caller stores the list as the "recentRooms" preference.
    static void addRecentRoom(KuString* path);

private:
    bool dirty_ = false;

    void releaseRoom();
    void makeHandleImages();
    // Frame reference (or "frame" of sheetName) and an optional second frame continuing it.
    KuImage* newLayerImage(KuString* first, KuString* second, float* secondWidth);
};

// The scene of the open document, or null.
GameScene* gameScene();
void gameScene(GameScene* scene);

// The words a room document may use for numbers (made afresh).
KuDictionary* roomSymbolDictionary();
