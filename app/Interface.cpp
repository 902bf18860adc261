#include "Interface.h"

#include <utility>

#include "GameScene.h"
#include "KuLog.h"
#include "KuUserPrefs.h"
#include "Object.h"

KuString* Interface::_modalTitle = nullptr;
KuString* Interface::_modalText = nullptr;
KuString* Interface::_modalButton1 = nullptr;
KuString* Interface::_modalButton2 = nullptr;
std::function<void(int)> Interface::_modalCallback;
KuString* Interface::_error_message = nullptr;
Object* Interface::_edit_properties_object = nullptr;
bool Interface::_show_object_properties = false;
Object* Interface::_edit_animation_object = nullptr;
bool Interface::_show_animation_list = false;
Object* Interface::_delete_object = nullptr;
bool Interface::_show_object_list = false;
bool Interface::_show_cursor_position = false;
bool Interface::_show_walkbox_info = false;

// Counts the modals opened, so that pressing a button does not close a modal its callback opened.
static int modalGeneration = 0;

void Interface::init() {
    if (GameScene* scene = gameScene()) scene->autocenter = defaultPrefs->getBool("autocenterObjects", false);
}

void Interface::fatalError(KuString* message) {
    if (message) KuReleaseLog("Error: %s", message->c_str());
    KuSetRetained(_error_message, message);
}

void Interface::warning(KuString* text) {
    if (text) KuReleaseLog("Warning: %s", text->c_str());
    createModal(KuString::stringWithString("Warning"), text, KuString::stringWithString("   OK   "));
}

void Interface::createModal(KuString* title, KuString* text, KuString* button1) {
    createModal(title, text, button1, nullptr, nullptr);
}

void Interface::createModal(KuString* title, KuString* text, KuString* button1,
                            std::function<void(int)> callback) {
    createModal(title, text, button1, nullptr, std::move(callback));
}

void Interface::createModal(KuString* title, KuString* text, KuString* button1, KuString* button2,
                            std::function<void(int)> callback) {
    deleteModal();
    modalGeneration++;
    KuSetRetained(_modalTitle, title);
    KuSetRetained(_modalText, text);
    KuSetRetained(_modalButton1, button1);
    KuSetRetained(_modalButton2, button2);
    _modalCallback = std::move(callback);
}

void Interface::deleteModal() {
    KuSetRetained(_modalTitle, static_cast<KuString*>(nullptr));
    KuSetRetained(_modalText, static_cast<KuString*>(nullptr));
    KuSetRetained(_modalButton1, static_cast<KuString*>(nullptr));
    KuSetRetained(_modalButton2, static_cast<KuString*>(nullptr));
    _modalCallback = nullptr;
}

void Interface::pressModalButton(int button) {
    if (!_modalText || (button != 1 && button != 2) || (button == 2 && !_modalButton2)) return;
    // The callback may open the next modal; it must survive this one's deletion.
    std::function<void(int)> callback = std::move(_modalCallback);
    _modalCallback = nullptr;
    int generation = modalGeneration;
    if (callback) callback(button);
    if (modalGeneration == generation) deleteModal();
}

void Interface::beginEditObject(Object* object) {
    if (object && object == _edit_properties_object) return;
    if (object) {
        if (GameScene* scene = gameScene()) scene->selectObject(object, false);
        KuSetRetained(_edit_properties_object, object);
        _show_object_properties = true;
    } else {
        KuSetRetained(_edit_properties_object, static_cast<Object*>(nullptr));
        _show_object_properties = false;
    }
}

void Interface::beginDeleteObject(Object* object) {
    if (object) {
        if (GameScene* scene = gameScene()) scene->selectObject(object, false);
    }
    KuSetRetained(_edit_properties_object, static_cast<Object*>(nullptr));
    _show_object_properties = false;
    KuSetRetained(_edit_animation_object, static_cast<Object*>(nullptr));
    _show_animation_list = false;
    KuSetRetained(_delete_object, object);
}

void Interface::reset() {
    deleteModal();
    fatalError(nullptr);
    KuSetRetained(_edit_properties_object, static_cast<Object*>(nullptr));
    KuSetRetained(_edit_animation_object, static_cast<Object*>(nullptr));
    KuSetRetained(_delete_object, static_cast<Object*>(nullptr));
    _show_object_properties = _show_animation_list = false;
    _show_object_list = _show_cursor_position = _show_walkbox_info = false;
}
