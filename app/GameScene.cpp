#include "GameScene.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

#include <sys/stat.h>
#include <unistd.h>

#include "DocumentValues.h"
#include "HandleImages.h"
#include "Interface.h"
#include "KuBaseApp.h"
#include "KuData.h"
#include "KuFile.h"
#include "KuJson.h"
#include "KuLayout.h"
#include "KuLog.h"
#include "KuPackfileManager.h"
#include "KuSpriteSheet.h"
#include "KuUserPrefs.h"

namespace {

GameScene* currentGameScene = nullptr;

KuString* text(const char* s) {
    return KuString::stringWithString(s);
}

// The first and (optional) second frame of a frame entry: a string, or an array of strings.
void framesOf(KuObject* entry, KuString** first, KuString** second) {
    *first = *second = nullptr;
    if (KuString* s = asString(entry)) {
        *first = s;
    } else if (isArray(entry)) {
        auto* array = static_cast<KuArray<KuObject*>*>(entry);
        *first = asString(array->objectAtIndex(0));
        *second = asString(array->objectAtIndex(1));
    }
}

// The sheet, loaded when needed. Quietly: null without reporting when its files are not there,
// so that a missing sheet of one object or layer does not end the editor.
KuSpriteSheet* sheetNamed(KuString* name, bool quiet) {
    if (!name) return nullptr;
    if (quiet) {
        KuDictionary* cache = KuSpriteSheet::cache();
        bool cached = cache && cache->containsKey(name);
        if (!cached && (!KuPackfileManager::bestScaledFilename(name, text(".json"), nullptr) ||
                        !KuPackfileManager::bestScaledFilename(name, text(".png"), nullptr)))
            return nullptr;
    }
    return KuSpriteSheet::cacheSheetWithName(name);
}

// Places `second` as a child continuing `first` to the right; both are centred on their origin.
void continueToTheRight(KuImage* first, KuImage* second) {
    float w1 = first->sourceSize().x, w2 = second->sourceSize().x;
    first->addRender(second);
    first->position(KuPoint{-w2 / 2, 0});
    second->position(KuPoint{w1 / 2 + w2 / 2, 0});
}

// While alive, an engine error (a missing sheet or frame met while building an object's picture)
// is logged and counted as handled instead of ending the editor: the object simply has no picture.
class ToleratedErrors : public KuLogHooks {
public:
    ToleratedErrors() : outer_(KuGetLogHooks()) { KuSetLogHooks(this); }
    ~ToleratedErrors() override { KuSetLogHooks(outer_); }
    ToleratedErrors(const ToleratedErrors&) = delete;
    ToleratedErrors& operator=(const ToleratedErrors&) = delete;

    int appReceivesWarning(const char* m) override { return outer_ ? outer_->appReceivesWarning(m) : 0; }
    int appReceivesError(const char* m) override {
        KuReleaseLog("%s", m ? m : "");
        return 1;
    }
    void appReceivesFatal(const char* m) override {
        if (outer_) outer_->appReceivesFatal(m);
    }
    void fatalError(const char* m) override {
        if (outer_) outer_->fatalError(m);
    }
    void quitNow() override {
        if (outer_) outer_->quitNow();
    }
    void setWindowFullscreen(bool on) override {
        if (outer_) outer_->setWindowFullscreen(on);
    }

private:
    KuLogHooks* outer_;
};

// A document nobody may write (every write permission bit off, or none for us) is the user's way of
// protecting it: saving replaces the file by renaming, which would otherwise go straight past it.
bool isMarkedReadOnly(KuString* path) {
    struct stat st;
    if (!path || stat(path->c_str(), &st) != 0) return false;
    return (st.st_mode & 0222) == 0 || access(path->c_str(), W_OK) != 0;
}

// The stored list and the kept one hold the same strings in the same order.
bool sameEntries(KuObject* stored, KuArray<KuObject*>* kept) {
    if (!isArray(stored)) return false;
    auto* list = static_cast<KuArray<KuObject*>*>(stored);
    if (list->count() != kept->count()) return false;
    for (int i = 0; i < kept->count(); i++) {
        KuString *a = asString(list->objectAtIndex(i)), *b = asString(kept->objectAtIndex(i));
        if (!a || !b || !KuStreq(a, b)) return false;
    }
    return true;
}

}  // namespace

GameScene* gameScene() {
    return currentGameScene;
}

void gameScene(GameScene* scene) {
    currentGameScene = scene;
}

KuDictionary* roomSymbolDictionary() {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyInt(text("YES"), 1);
    d->addKeyInt(text("NO"), 0);
    d->addKeyInt(text("DIR_FRONT"), kObjectDirFront);
    d->addKeyInt(text("DIR_BACK"), kObjectDirBack);
    d->addKeyInt(text("DIR_RIGHT"), kObjectDirRight);
    d->addKeyInt(text("DIR_LEFT"), kObjectDirLeft);
    return d;
}

// >>lifetime

GameScene::GameScene()
    : objects(KuArray<Object*>::newArray()), extraSelection(KuArray<Object*>::newArray()),
      undoList(KuArray<KuDictionary*>::newArray()) {
    walkBoxes.setEditHandler([this] { dirty(true, false); });
}

GameScene::~GameScene() {
    if (currentGameScene == this) currentGameScene = nullptr;
    releaseRoom();
    for (KuImage*& handle : handleImages)
        KuSetRetained(handle, static_cast<KuImage*>(nullptr));
    KuRelease(objects);
    KuRelease(extraSelection);
    KuRelease(undoList);
    KuRelease(undoObject);
    KuRelease(roomPath);
    KuRelease(roomDictionary);
    KuRelease(sheetName);
    KuRelease(buildText);
}

void GameScene::releaseRoom() {
    selectedObject = nullptr;
    extraSelection->removeAllObjects();
    sortedRenderList.removeAll();
    objects->removeAllObjects();
    walkBoxes.removeAll();
    for (KuImage*& layer : layerImages)
        KuSetRetained(layer, static_cast<KuImage*>(nullptr));
    KuSetRetained(background, static_cast<KuImage*>(nullptr));
}

void GameScene::dirty(bool value, bool replace) {
    dirty_ = replace ? value : (value || dirty_);
}

// >>opening

void GameScene::makeHandleImages() {
    const struct {
        const char* data;
        const char* name;
    } handles[4] = {{kHandleRedPNG85, "handle_red.png"},
                    {kHandleGreenPNG85, "handle_green.png"},
                    {kHandleBluePNG85, "handle_blue.png"},
                    {kHandleRedPNG85, "handle_purple.png"}};
    for (int i = 0; i < 4; i++) {
        KuData* data = KuData::dataWithBytes(nullptr, 0);
        data->initWithBase85EncodedString(handles[i].data);
        KuImage* image = KuImage::newWithData(data, text(handles[i].name));
        KuSetRetained(handleImages[i], image);
        KuRelease(image);
    }
}

void GameScene::openSceneWithObject(KuObject* path) {
    gameScene(this);
    if (app) app->setCursor(1);

    KuString* versionFile = KuPathForResource("version.txt", nullptr);
    KuString* build = versionFile ? KuLoadFileAsString(versionFile) : nullptr;
    KuSetRetained(buildText, (build ? build : text("Build ??"))->stringByTrimmingWhiteSpace());

    KuDictionary* symbols = roomSymbolDictionary();
    makeHandleImages();

    KuString* pathText = asString(path);
    if (!pathText) {
        KuSetRetained(roomPath, static_cast<KuString*>(nullptr));
        Interface::warning(text("Drag a .tansy file to this window. The file must come from the Tansy "
                                "directory in the project."));
        return;
    }
    KuSetRetained(roomPath, pathText);
    KuString* document = KuLoadFileAsString(roomPath);
    KuObject* root = document ? quickParseKuJsonWithSymbolDict(document, symbols, false) : nullptr;
    if (!isDictionary(root)) {
        KuSetRetained(roomDictionary, static_cast<KuDictionary*>(nullptr));
        Interface::fatalError(KuString::stringWithFormat("Invalid Room.json file: '%@'", roomPath));
        return;
    }
    KuSetRetained(roomDictionary, static_cast<KuDictionary*>(root));
    infoMode = 1;
    parallax = true;
    zoom = 1;
    KuSetRetained(undoObject, static_cast<Object*>(nullptr));
    undoList->removeAllObjects();
    undoPosition = 0;

    createRoom();
    if (!background) return;  // reported; the room cannot be shown
    createObjects();
    createWalkBoxes();

    defaultPrefs->setString("lastRoomFilename", roomPath);
    defaultPrefs->sync();
    addRecentRoom(roomPath);
    // Reopening the most recent room changes nothing: the preferences file is left alone then.
    if (!sameEntries(defaultPrefs->getObject("recentRooms"), recentRooms())) {
        // A copy: the kept list changes in place with every opening.
        KuArray<KuObject*>* copy = KuArray<KuObject*>::array();
        copy->initWithArray(recentRooms());
        defaultPrefs->setObject("recentRooms", copy);
    }
    defaultPrefs->sync();

    backgroundColor =
        defaultPrefs->getColor("backgroundColor", KuColor{64 / 255.0f, 64 / 255.0f, 64 / 255.0f, 1});
    camera = truncated(KuPoint{roomSize.x * 0.5f, roomSize.y * 0.5f});
    selectObject(nullptr, false);
    walkboxEditMode = false;
    if (defaultPrefs->getBool("showObjects", false)) Interface::showObjectList() = true;
    parallax = defaultPrefs->getBool("parallax", true);
    if (app) app->setWindowTitle(KuString::stringWithFormat("Tansy %d.%d.%d - %@", 2, 0, 1, roomPath));

    dirty(false, true);
    Interface::init();
}

KuImage* GameScene::newSheetImage(KuString* sheet, KuString* frame, bool quiet) {
    if (!frame) return nullptr;
    const char* colon = strchr(frame->c_str(), ':');
    if (colon) {
        int n = static_cast<int>(colon - frame->c_str());
        sheet = n > 0 ? KuString::stringWithStringAndLength(frame->c_str(), n) : KUSTR_EMPTY;
        frame = KuString::stringWithString(colon + 1);
    }
    KuSpriteSheet* found = sheetNamed(sheet, quiet);
    KuImage* image = found ? found->copyImageNamed(frame, quiet) : nullptr;
    KuRetain(image);
    return image;
}

KuImage* GameScene::newLayerImage(KuString* first, KuString* second, float* secondWidth) {
    if (secondWidth) *secondWidth = 0;
    KuImage* image = newSheetImage(sheetName, first, true);
    if (!image || !second) return image;
    if (KuImage* more = newSheetImage(sheetName, second, true)) {
        continueToTheRight(image, more);
        if (secondWidth) *secondWidth = more->sourceSize().x;
        KuRelease(more);
    }
    return image;
}

void GameScene::createRoom() {
    releaseRoom();
    KuString* fileName = KuPathByRemovingPath(roomPath);
    KuSetRetained(sheetName, roomDictionary->stringForKey(KUSTR_sheet));
    if (!sheetName) {
        KuError("Error in '%@': imagesheet key not found.", fileName);
        return;
    }
    KuString *first, *second;
    framesOf(roomDictionary->objectForKey(KUSTR_background), &first, &second);
    if (!first) {
        KuError("Error in '%@': background key not found.", fileName);
        return;
    }
    KuImage* image = newSheetImage(sheetName, first, true);
    if (!image) {
        KuError("Error in '%@': background image not found.", fileName);
        return;
    }
    roomSize = image->sourceSize();
    roomBounds = roomDictionary->rectForKey("room_bounds", KuRect{});
    roomScale = roomDictionary->floatForKey("room_scale", 3.0f);
    if (roomBounds.first.x == 0 && roomBounds.first.y == 0 && roomBounds.second.x == 0 &&
        roomBounds.second.y == 0)
        roomBounds = KuRect{KuPoint{0, 0}, roomSize};
    if (second) {
        if (KuImage* more = newSheetImage(sheetName, second, true)) {
            continueToTheRight(image, more);
            roomSize.x += more->sourceSize().x;
            KuRelease(more);
        }
    }
    layerParallax[kBackgroundSlot] = KuPoint{1, 1};
    image->filterLinear(false);
    KuSetRetained(background, image);
    KuSetRetained(layerImages[kBackgroundSlot], image);
    KuRelease(image);

    for (int handle : {kHandleGreen, kHandleRed, kHandleBlue})
        if (handleImages[handle]) handleImages[handle]->scale(1.0f / 3);

    KuArray<KuObject*>* layers = roomDictionary->arrayForKey("layers");
    if (!layers) return;
    for (KuObject* entry : *layers) {
        if (!isDictionary(entry)) continue;
        KuDictionary* layer = static_cast<KuDictionary*>(entry);
        framesOf(layer->objectForKey(KUSTR_name), &first, &second);
        if (!first) continue;
        int zsort = layer->intForKey(KUSTR_zsort, 0);
        KuObject* factor = layer->objectForKey(KUSTR_parallax);
        KuPoint parallaxFactor;
        if (factor && factor->kindCode() == kKuTypePointObject)
            parallaxFactor = layer->pointForKey(KUSTR_parallax, KuPoint{1, 1});
        else  // a missing factor moves the layer with the background
            parallaxFactor = KuPoint{factor ? layer->floatForKey(KUSTR_parallax, 0) : 1.0f, 1};
        if (zsort == 0 || zsort < -5 || zsort > 5) continue;
        int slot = zsort + kBackgroundSlot;
        layerParallax[slot] = parallaxFactor;
        KuImage* layerImage = newLayerImage(first, second, nullptr);
        if (!layerImage) {
            Interface::warning(
                KuString::stringWithFormat("Error in '%@': parallax image '%@' not found.", fileName, first));
            continue;
        }
        layerImage->filterLinear(false);
        KuSetRetained(layerImages[slot], layerImage);
        KuRelease(layerImage);
    }
}

void GameScene::createObjects() {
    Object::removeAllMasterObjects();
    KuArray<KuObject*>* entries = roomDictionary ? roomDictionary->arrayForKey("objects") : nullptr;
    if (!entries) return;
    ToleratedErrors tolerated;
    // The master objects by name, as findObjectWithKey would find them (the first of a name), but
    // without walking the whole list for every entry of a large room.
    std::unordered_map<std::string, Object*> byName;
    for (KuObject* entry : *entries) {
        if (!isDictionary(entry)) continue;
        KuDictionary* dict = static_cast<KuDictionary*>(entry);
        KuString* name = asString(dict->objectForKey(KUSTR_name));
        if (!name) continue;
        std::string key(name->c_str(), static_cast<size_t>(name->length));
        auto found = byName.find(key);
        Object* object = found == byName.end() ? nullptr : found->second;
        if (!object) {
            object = Object::newWithDictionary(dict, sheetName);
            Object::addMasterObject(object);
            byName.emplace(std::move(key), object);
            KuRelease(object);
        }
        objects->addObject(object);
        object->createImages();
        if (object->image) {
            object->state(0, false);
            updateSortedRenderNode(object);
        }
    }
}

void GameScene::createWalkBoxes() {
    walkBoxes.loadFromArray(roomDictionary ? roomDictionary->arrayForKey("walkboxes") : nullptr);
    int unreadable = 0;
    for (auto* n = walkBoxes.walkBoxes()->begin(); n; n = n->next)
        unreadable += n->object->unreadable ? 1 : 0;
    if (unreadable > 0)
        Interface::warning(KuString::stringWithFormat("%d walkbox polygon(s) in '%@' could not be read. They "
                                                      "are not shown and are saved back unchanged.",
                                                      unreadable, KuPathByRemovingPath(roomPath)));
}

// >>saving

bool GameScene::save() {
    if (!roomPath || !isOpen()) return false;  // nothing the user could have edited
    roomDictionary->addKeyRect(text("room_bounds"), roomBounds);
    roomDictionary->addKeyPoint(text("room_size"), roomSize);

    KuArray<KuObject*>* saved = KuArray<KuObject*>::array();
    for (Object* object : *objects)
        if (KuDictionary* d = object->save()) saved->addObject(d);
    roomDictionary->addKeyObject(KUSTR_objects, saved);
    roomDictionary->addKeyObject(KUSTR_walkboxes, walkBoxes.saveToArray());

    bool written =
        !isMarkedReadOnly(roomPath) && KuSaveStringToFile(roomPath, KuJson::stringFromDict(roomDictionary));
    if (written) {
        dirty(false, true);
    } else {
        // The edits are still only in memory: say so, and keep them marked unsaved.
        Interface::warning(KuString::stringWithFormat("Could not save '%@'. Your changes are kept; make the "
                                                      "file and its folder writable and save again.",
                                                      roomPath));
    }
    return written;
}

// >>closing

void GameScene::closeScene() {
    if (currentGameScene == this) gameScene(nullptr);
    releaseRoom();
    Object::removeAllMasterObjects();
    KuSetRetained(undoObject, static_cast<Object*>(nullptr));
    undoList->removeAllObjects();
    undoPosition = 0;
    KuBaseScene::closeScene();
}

void GameScene::update(float dt) {
    _gameTime += dt;
    _frameTime = dt;
    for (Object* object : *objects)
        object->update(dt);
    KuBaseScene::update(dt);
}

// >>objects

void GameScene::deleteObject(Object* object) {
    if (!object) return;
    KuRetain(object);
    if (Interface::editPropertiesObject() == object) Interface::beginEditObject(nullptr);
    if (undoObject == object) {
        KuSetRetained(undoObject, static_cast<Object*>(nullptr));
        undoList->removeAllObjects();
        undoPosition = 0;
    }
    selectObject(nullptr, false);
    sortedRenderList.removeRenderNode(object);
    objects->removeObject(object);
    Object::deleteMasterObject(object);
    dirty(true, false);
    KuRelease(object);
}

void GameScene::selectObject(Object* object, bool add) {
    if (!object || !add) {
        selectedObject = nullptr;
        for (Object* o : *objects)
            o->selected = false;
        for (Object* o : *extraSelection)
            o->selected = false;
        extraSelection->removeAllObjects();
    }
    if (!object) return;
    if (add) {
        extraSelection->addObject(object);
    } else {
        selectedObject = object;
    }
    object->selected = true;
    if (autocenter) centerObject(object);
}

void GameScene::setCameraAt(KuPoint p) {
    camera = truncated(p);
}

void GameScene::centerObject(Object* object) {
    if (!object) return;
    KuPoint focus = object->pos;
    if (object->trigger) {
        focus = KuPoint{object->pos.x + (object->hotspotMin.x + object->hotspotMax.x) / 2,
                        object->pos.y + (object->hotspotMin.y + object->hotspotMax.y) / 2};
    } else if (object->spot) {
        focus = KuPoint{object->pos.x + object->usepos.x, object->pos.y + object->usepos.y};
    }
    setCameraAt(focus);
    panning = false;
    panOffset = KuPoint{0, 0};
}

WalkBox* GameScene::newWalkBox() {
    KuPoint centre =
        WalkBoxSet::roomPointAtViewCentre(KuScreenSize(kKuLayoutPoints), roomScale, zoom, camera);
    return walkBoxes.newWalkBox(centre);
}

// >>recent rooms

static KuArray<KuObject*>* recentRoomList = nullptr;

KuArray<KuObject*>* GameScene::recentRooms() {
    if (!recentRoomList) recentRoomList = KuArray<KuObject*>::newArray();
    return recentRoomList;
}

void GameScene::setRecentRooms(KuArray<KuObject*>* rooms) {
    KuArray<KuObject*>* copy = KuArray<KuObject*>::newArray();
    copy->initWithArray(rooms);
    KuRelease(recentRoomList);
    recentRoomList = copy;
}

void GameScene::addRecentRoom(KuString* path) {
    if (!path) return;
    KuArray<KuObject*>* rooms = recentRooms();
    auto& entries = rooms->vector();
    for (int i = rooms->count() - 1; i >= 0; i--) {
        KuObject* entry = entries[i];
        if (entry->isString() && KuStreq(static_cast<KuString*>(entry), path)) rooms->removeObjectAtIndex(i);
    }
    rooms->addObjectToFront(path);
}
