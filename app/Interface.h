// Interface: the editor's tool windows, menus and dialogs. This holds the interface's state and
// the operations the rest of the editor calls (warnings, the fatal-error window, modals, which
// windows are open, the objects being edited); drawing it arrives with the immediate-mode UI.
// Every warning and fatal error is also written to the log, so that they show without a window.
#pragma once

#include <functional>

#include "KuString.h"

class Object;

class Interface {
public:
    // Called at the end of every document opening: the scene's autocenter flag from the
    // "autocenterObjects" preference (default off).
    static void init();

    // Null clears the message. While one is set the error window is all that is drawn.
    static void fatalError(KuString* message);
    static KuString* errorMessage() { return _error_message; }  // borrowed

    // A "Warning" modal with the text and one "   OK   " button.
    static void warning(KuString* text);

    // Each closes any open modal first, so a replaced modal's callback is never called.
    static void createModal(KuString* title, KuString* text, KuString* button1);
    static void createModal(KuString* title, KuString* text, KuString* button1,
                            std::function<void(int)> callback);
    static void createModal(KuString* title, KuString* text, KuString* button1, KuString* button2,
                            std::function<void(int)> callback);
    static void deleteModal();
    // Presses a button of the open modal (1 or 2): the callback, then the modal closes. Nothing
    // without a modal or without such a button.
    static void pressModalButton(int button);

    static KuString* modalTitle() { return _modalTitle; }
    static KuString* modalText() { return _modalText; }
    static KuString* modalButton1() { return _modalButton1; }
    static KuString* modalButton2() { return _modalButton2; }

    // Null ends property editing. Otherwise the object is selected alone and shown.
    static void beginEditObject(Object* object);
    static void beginDeleteObject(Object* object);
    static Object* editPropertiesObject() { return _edit_properties_object; }
    static Object* deleteObjectPending() { return _delete_object; }
    static bool& showObjectList() { return _show_object_list; }
    static bool& showObjectProperties() { return _show_object_properties; }
    static bool& showCursorPosition() { return _show_cursor_position; }
    static bool& showWalkboxInfo() { return _show_walkbox_info; }

    // Forgets every modal, message and edited object (between tests, and at shutdown).
    static void reset();

private:
    static KuString* _modalTitle;
    static KuString* _modalText;
    static KuString* _modalButton1;
    static KuString* _modalButton2;
    static std::function<void(int)> _modalCallback;
    static KuString* _error_message;
    static Object* _edit_properties_object;
    static bool _show_object_properties;
    static Object* _edit_animation_object;
    static bool _show_animation_list;
    static Object* _delete_object;
    static bool _show_object_list;
    static bool _show_cursor_position;
    static bool _show_walkbox_info;
};
