// Sections: >>names >>search list >>lookup
// Path names treat "/" and "\" alike. The scans for the last separator or dot stop at the
// second character: a leading "/" or "." belongs to the name ('/abc', '.hidden').
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "KuArray.h"
#include "KuString.h"

// >>names

namespace {

inline bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

KuString* pathPart(const char* text, int start, int n) {
    if (n <= 0) return KUSTR_EMPTY;
    return KuAutorelease(new KuString(text + start, n));
}

// Index of the last separator after the first character, or -1.
int lastSeparator(const char* p, int len) {
    for (int i = len - 1; i > 0; i--)
        if (isSeparator(p[i])) return i;
    return -1;
}

// Length of the path without its extension: the text before the last dot after the first
// character, when no separator follows that dot; otherwise the whole length.
int stemLength(const char* p, int len) {
    for (int i = len - 1; i > 0; i--) {
        if (isSeparator(p[i])) return len;
        if (p[i] == '.') return i;
    }
    return len;
}

}  // namespace

KuString* KuPathExtension(const char* path) {
    if (!path) return nullptr;
    int len = static_cast<int>(strlen(path));
    for (int i = len - 1; i >= 0; i--) {
        if (isSeparator(path[i])) return KUSTR_EMPTY;
        if (path[i] == '.') return pathPart(path, i, len - i);
    }
    return KUSTR_EMPTY;
}

KuString* KuPathExtension(const KuString* path) {
    return path ? KuPathExtension(path->c_str()) : nullptr;
}

KuString* KuPathByRemovingPath(const char* path) {
    if (!path) return nullptr;
    int len = static_cast<int>(strlen(path));
    int sep = lastSeparator(path, len);
    if (sep < 0) return pathPart(path, 0, len);
    return pathPart(path, sep + 1, len - sep - 1);
}

KuString* KuPathByRemovingPath(const KuString* path) {
    return path ? KuPathByRemovingPath(path->c_str()) : nullptr;
}

KuString* KuPathByRemovingLastPath(const char* path) {
    if (!path) return nullptr;
    int len = static_cast<int>(strlen(path));
    int sep = lastSeparator(path, len);
    return pathPart(path, 0, sep < 0 ? len : sep);
}

KuString* KuPathByRemovingLastPath(const KuString* path) {
    return path ? KuPathByRemovingLastPath(path->c_str()) : nullptr;
}

KuString* KuPathByRemovingExtention(const char* path) {
    if (!path) return nullptr;
    int len = static_cast<int>(strlen(path));
    return pathPart(path, 0, stemLength(path, len));
}

KuString* KuPathByRemovingExtention(const KuString* path) {
    return path ? KuPathByRemovingExtention(path->c_str()) : nullptr;
}

KuString* KuReplaceFileExtension(const KuString* path, const KuString* ext) {
    if (!path) return nullptr;
    if (KuStrlen(path) == 0) return KUSTR_EMPTY;
    KuString* stem = KuPathByRemovingExtention(path);
    if (!ext) return stem;
    return KuString::stringWithFormat("%@%@", stem, ext);
}

KuString* KuScaledFilename(KuString* path, const char* suffix) {
    if (!path) return nullptr;
    if (!suffix) return path;
    if (KuStrlen(path) == 0) return KUSTR_EMPTY;
    // The extension is what follows the stem, so a leading dot ('.hidden') stays part of the
    // name instead of being repeated as an extension.
    const char* text = path->c_str();
    int stem = stemLength(text, path->length);
    return KuString::stringWithFormat("%.*s%s%s", stem, text, suffix, text + stem);
}

// >>search list

namespace {
KuArray<KuString*>* _resourcePathArray = nullptr;
}

KuArray<KuString*>* KuResourcePathArray() {
    return _resourcePathArray;
}

void KuAddResourcePath(const char* folder) {
    if (!folder) folder = "";
    if (!_resourcePathArray) {
        _resourcePathArray = KuArray<KuString*>::newArray();
        KuAddDefaultResourcePath();
    }
    for (KuString* entry : *_resourcePathArray)
        if (KuStreq(entry, folder)) return;
    _resourcePathArray->addObjectToFront(new KuString(folder), true);
}

void KuAddResourcePath(const KuString* folder) {
    KuAddResourcePath(folder ? folder->c_str() : "");
}

void KuAddDefaultResourcePath() {
    // Without application bundles the program's resources sit beside its executable.
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        KuAddResourcePath("");
        return;
    }
    exe[n] = 0;
    KuAddResourcePath(KuPathByRemovingLastPath(exe));
}

void KuClearResourcePaths() {
    KuRelease(_resourcePathArray);
    _resourcePathArray = KuArray<KuString*>::newArray();
    KuAddDefaultResourcePath();
}

// >>lookup

bool KuDoesFileExistAtPath(const char* path) {
    struct stat info;
    return path && *path && stat(path, &info) == 0;
}

bool KuDoesFileExistAtPath(const KuString* path) {
    return path && KuDoesFileExistAtPath(path->c_str());
}

KuString* KuPathForResource(const char* name, const char* ext) {
    if (!name) return nullptr;
    if (!_resourcePathArray) {
        _resourcePathArray = KuArray<KuString*>::newArray();
        KuAddDefaultResourcePath();
    }
    KuString* candidate =
        ext ? KuString::stringWithFormat("%s.%s", name, ext) : KuString::stringWithString(name);
    if (KuDoesFileExistAtPath(candidate)) return candidate;
    for (KuString* folder : *_resourcePathArray) {
        // The empty folder is the bare candidate, tried above; joining it would search "/".
        if (KuStrlen(folder) == 0) continue;
        KuString* path = KuString::stringWithFormat("%@/%@", folder, candidate);
        if (KuDoesFileExistAtPath(path)) return path;
    }
    return nullptr;
}

KuString* KuPathForResource(const KuString* name, const KuString* ext) {
    if (!name) return nullptr;
    return KuPathForResource(name->c_str(), ext ? ext->c_str() : nullptr);
}
