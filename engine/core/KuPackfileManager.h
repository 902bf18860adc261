// KuPackfileManager: loads resource files by name, hiding where they come from: an absolute path,
// the optional hot-load folder, or the resource search list; picks the language variant of a name
// and the best scaled variant ("@4x", "@2x", "@1x") for the display. Pack archives are not read in
// this program: usingPackfiles() is always false.
#pragma once

#include <cstdio>

#include "KuArray.h"
#include "KuData.h"
#include "KuDictionary.h"
#include "KuString.h"

class KuPackfileManager {
public:
    // The file's bytes, autoreleased, or null. Unless exact, a name holding "_en." is first tried
    // with the game language in its place. A missing absolute path warns "Can't open file '%@'";
    // a name found nowhere else gives null without a message.
    static KuData* dataFromFilename(KuString* name, bool exact = false);
    static KuString* stringFromFilename(KuString* name);  // up to the first NUL; autoreleased
    static KuArray<KuString*>*
    stringArrayFromFilename(KuString* name);  // lines, autoreleased; null when missing
    // The file's dictionary (dialect text or binary form; symbols may be null), autoreleased. Null
    // when missing; when it holds no dictionary, also the error "Failed to create KuDictionary from
    // packed file %s (%s)" with the reader's last error.
    static KuDictionary* dictionaryFromJSONFilename(KuString* name, KuDictionary* symbols = nullptr);
    static bool doesFileExists(KuString* name);

    // The name of the best existing scaled variant and its scale, or null (scale unchanged). A name
    // holding "@" is never varied: scale 1 and null. scale may be null.
    static KuString* bestScaledFilename(KuString* name, KuString* extension, float* scale);
    static KuString* bestScaledFilename(KuString* name, float* scale);

    static void setHotloadFolder(KuString* folder);  // searched before everything else; null: none
    static KuString* getHotloadFolder();             // borrowed
    static bool usingPackfiles() { return false; }
    static void setVerbose(bool on);
    // Pixels per point of the display, kept in step by the layout (KuSetDeviceScale); 1 at start.
    static void setDeviceScale(float scale);
    static float deviceScale();

    // Plain read handles over the same lookup: the name itself when it exists, else the first
    // folder of the search list holding it. 0 on success, -101 when not found, -1 when it cannot
    // be opened.
    static int fileOpen(const char* name, unsigned* size, FILE** handle, void* unused = nullptr);
    static int fileRead(FILE* handle, void* buffer, unsigned n, unsigned* count);
    static int fileSeek(FILE* handle, unsigned offset);
    static void fileClose(FILE* handle);
};

// The game language used for "_en." variants: "en" from start-up on (borrowed).
KuString* KuGameLanguageName();
// Replaces the game language (retained); null restores "en". The editor never changes it.
void KuSetGameLanguageName(KuString* language);
