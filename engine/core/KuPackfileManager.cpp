// Sections: >>state >>lookup >>scaled variants >>handles
#include "KuPackfileManager.h"

#include <cstring>
#include <string>

#include "KuFile.h"
#include "KuJson.h"
#include "KuLog.h"

// >>state

namespace {
KuString* hotloadFolder = nullptr;
bool verboseFlag = false;
float displayScale = 1;
KuString* gameLanguage = nullptr;  // null means the default "en"

KuString* defaultLanguage() {
    static KuString* en = [] {
        KuString* s = new KuString("en");
        s->makeImmortal();
        return s;
    }();
    return en;
}

bool isAbsoluteName(const KuString* name) {
    const char* text = name->c_str();
    return name->length > 1 && (text[0] == '/' || text[1] == ':');
}

KuString* inHotloadFolder(const KuString* name) {
    if (!hotloadFolder) return nullptr;
    KuString* path = KuString::stringWithFormat("%@/%@", hotloadFolder, name);
    return KuDoesFileExistAtPath(path) ? path : nullptr;
}

// "_en." replaced by "_<language>."; null when the name has no "_en." or the variant is the name.
KuString* languageVariant(KuString* name) {
    KuString* language = KuGameLanguageName();
    if (!language || !language->length || name->findString("_en.") < 0) return nullptr;
    if (strcmp(language->c_str(), "en") == 0) return nullptr;
    KuMutableString* variant = KuMutableString::stringWithString(name);
    std::string replacement = std::string("_") + language->c_str() + ".";
    variant->replaceOccurrencesOfString("_en.", replacement.c_str());
    return variant;
}
}  // namespace

KuString* KuGameLanguageName() {
    return gameLanguage ? gameLanguage : defaultLanguage();
}
void KuSetGameLanguageName(KuString* language) {
    KuSetRetained(gameLanguage, language);
}

void KuPackfileManager::setHotloadFolder(KuString* folder) {
    KuSetRetained(hotloadFolder, folder);
}
KuString* KuPackfileManager::getHotloadFolder() {
    return hotloadFolder;
}
void KuPackfileManager::setVerbose(bool on) {
    verboseFlag = on;
}
void KuPackfileManager::setDeviceScale(float scale) {
    displayScale = scale;
}
float KuPackfileManager::deviceScale() {
    return displayScale;
}

// >>lookup

KuData* KuPackfileManager::dataFromFilename(KuString* name, bool exact) {
    if (!name) return nullptr;
    if (!exact) {
        KuString* variant = languageVariant(name);
        // Only an existing variant is read, so a missing one does not warn.
        if (variant && doesFileExists(variant)) {
            KuData* data = dataFromFilename(variant, true);
            if (data) return data;
        }
    }
    if (isAbsoluteName(name)) return KuLoadDataFromFile(name);
    if (KuString* hot = inHotloadFolder(name)) {
        KuData* data = KuLoadDataFromFile(hot);
        if (data) return data;
    }
    KuString* path = KuPathForResource(name, nullptr);
    return path ? KuLoadDataFromFile(path) : nullptr;
}

KuString* KuPackfileManager::stringFromFilename(KuString* name) {
    KuData* data = dataFromFilename(name);
    return data ? KuAutorelease(new KuString(data)) : nullptr;
}

KuArray<KuString*>* KuPackfileManager::stringArrayFromFilename(KuString* name) {
    KuString* text = stringFromFilename(name);
    return text ? text->arraySeparatedByNewlines() : nullptr;
}

KuDictionary* KuPackfileManager::dictionaryFromJSONFilename(KuString* name, KuDictionary* symbols) {
    KuData* data = dataFromFilename(name);
    if (!data) return nullptr;
    KuObject* root = quickParseKuJson(data, symbols);
    if (root && root->kindCode() == kKuTypeDictionary) return static_cast<KuDictionary*>(root);
    KuString* error = KuBJsonError();
    KuError("Failed to create KuDictionary from packed file %s (%s)", name->c_str(),
            error ? error->c_str() : "");
    return nullptr;
}

bool KuPackfileManager::doesFileExists(KuString* name) {
    if (!name) return false;
    if (inHotloadFolder(name)) return true;
    return KuPathForResource(name, nullptr) != nullptr;
}

// >>scaled variants

KuString* KuPackfileManager::bestScaledFilename(KuString* name, KuString* extension, float* scale) {
    if (!name) return nullptr;
    return bestScaledFilename(extension ? KuReplaceFileExtension(name, extension) : name, scale);
}

KuString* KuPackfileManager::bestScaledFilename(KuString* name, float* scale) {
    if (!name) return nullptr;
    if (name->findCharacter('@') >= 0) {
        if (scale) *scale = 1;
        return nullptr;
    }
    struct Choice {
        float above;  // the device scale must exceed this
        const char* suffix;
        float scale;
    } choices[] = {{2, "@4x", 4}, {1, "@2x", 2}, {-1, "@1x", 1}};
    for (const Choice& choice : choices) {
        if (!(displayScale > choice.above)) continue;
        KuString* variant = KuScaledFilename(name, choice.suffix);
        if (doesFileExists(variant)) {
            if (scale) *scale = choice.scale;
            return variant;
        }
    }
    if (doesFileExists(name)) {
        if (scale) *scale = 1;
        return name;
    }
    return nullptr;
}

// >>handles

int KuPackfileManager::fileOpen(const char* name, unsigned* size, FILE** handle, void*) {
    if (handle) *handle = nullptr;
    if (!name || !handle) return -101;
    KuString* path = KuPathForResource(name, nullptr);
    if (!path) return -101;
    FILE* f = KuFileOpen(path, size);
    if (!f) return -1;
    *handle = f;
    return 0;
}

int KuPackfileManager::fileRead(FILE* handle, void* buffer, unsigned n, unsigned* count) {
    return KuFileRead(handle, buffer, n, count);
}

int KuPackfileManager::fileSeek(FILE* handle, unsigned offset) {
    return KuFileSeek(handle, offset);
}
void KuPackfileManager::fileClose(FILE* handle) {
    KuFileClose(handle);
}
