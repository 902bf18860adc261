// Sprite sheets: control-file formats, frame images and the sheet cache.
//
// Sections: >>frame values >>control file >>loading >>frame images >>cache
#include "KuSpriteSheet.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "KuBaseScene.h"
#include "KuLog.h"
#include "KuPackfileManager.h"

const char* const kKuAsepriteAppIdentifier = "http://www.aseprite.org/";
const char* const kKuAsepriteSecureAppIdentifier = "https://www.aseprite.org/";

namespace {
KuDictionary* sheetCache = nullptr;  // owned; sheet name to KuSpriteSheet
int sheetLogLevel = 0;
}  // namespace

KuPoint KuSpriteSheetFrame::textureSize() const {
    return KuPoint{std::fabs(textureFarCorner.x - textureOrigin.x),
                   std::fabs(textureFarCorner.y - textureOrigin.y)};
}

// >>frame values

namespace {

// Values that are not finite read as 0, so that nothing downstream computes with them.
float finite(float v) {
    return std::isfinite(v) ? v : 0.0f;
}

// "{{x,y},{w,h}}"; anything that does not give all four numbers reads as zeros.
void readRectString(const KuObject* value, float out[4]) {
    out[0] = out[1] = out[2] = out[3] = 0;
    if (!value || !value->isString()) return;
    const char* text = static_cast<const KuString*>(value)->c_str();
    float v[4];
    if (sscanf(text, "{{%g,%g},{%g,%g}}", &v[0], &v[1], &v[2], &v[3]) != 4) return;
    for (int i = 0; i < 4; i++)
        out[i] = finite(v[i]);
}

// "{a,b}", or "(a,b)" when the text begins with an opening parenthesis.
KuPoint readPointString(const KuObject* value) {
    if (!value || !value->isString()) return KuPoint{0, 0};
    const char* text = static_cast<const KuString*>(value)->c_str();
    float a = 0, b = 0;
    const char* pattern = text[0] == '(' ? "(%g,%g)" : "{%g,%g}";
    if (sscanf(text, pattern, &a, &b) != 2) return KuPoint{0, 0};
    return KuPoint{finite(a), finite(b)};
}

// An object's x, y, w, h (missing keys and other values read as 0).
void readRectObject(const KuDictionary* frame, const char* key, bool integers, float out[4]) {
    static const char* const kKeys[4] = {"x", "y", "w", "h"};
    const KuDictionary* rect = frame->dictionaryForKey(key);
    for (int i = 0; i < 4; i++) {
        if (!rect)
            out[i] = 0;
        else if (integers)
            out[i] = static_cast<float>(rect->intForKey(kKeys[i], 0));
        else
            out[i] = finite(rect->floatForKey(kKeys[i], 0));
    }
}

KuSpriteSheetFrame* newFrame(const KuDictionary* frame, int format) {
    auto* f = new KuSpriteSheetFrame;
    float rect[4] = {0, 0, 0, 0};
    switch (format) {
    case 2: {
        float colorRect[4];
        readRectString(frame->objectForKey(KUSTR_frame), rect);
        readRectString(frame->objectForKey(KUSTR_sourceColorRect), colorRect);
        f->sourceSize = readPointString(frame->objectForKey(KUSTR_sourceSize));
        f->offset = KuPoint{colorRect[0], f->sourceSize.y - colorRect[1] - std::fabs(colorRect[3])};
        f->spriteSourceRect =
            KuRect{{colorRect[0], colorRect[1]}, {colorRect[0] + colorRect[2], colorRect[1] + colorRect[3]}};
        break;
    }
    case 3: {
        readRectString(frame->objectForKey(KUSTR_textureRect), rect);
        f->sourceSize = readPointString(frame->objectForKey(KUSTR_spriteSourceSize));
        const KuPoint spriteSize = readPointString(frame->objectForKey(KUSTR_spriteSize));
        const KuPoint spriteOffset = readPointString(frame->objectForKey(KUSTR_spriteOffset));
        f->offset = KuPoint{f->sourceSize.x * 0.5f + spriteOffset.x - spriteSize.x * 0.5f,
                            f->sourceSize.y * 0.5f + spriteOffset.y - spriteSize.y * 0.5f};
        break;
    }
    case 4: {
        float trimmed[4];
        readRectObject(frame, "frame", false, rect);
        readRectObject(frame, "spriteSourceSize", false, trimmed);
        const KuDictionary* source = frame->dictionaryForKey(KUSTR_sourceSize);
        f->sourceSize =
            source ? KuPoint{finite(source->floatForKey("w", 0)), finite(source->floatForKey("h", 0))}
                   : KuPoint{0, 0};
        f->offset = KuPoint{trimmed[0], f->sourceSize.y - trimmed[1] - std::fabs(trimmed[3])};
        f->spriteSourceRect =
            KuRect{{trimmed[0], trimmed[1]}, {trimmed[0] + trimmed[2], trimmed[1] + trimmed[3]}};
        break;
    }
    default: {  // 5: frames taken to be untrimmed; the canvas is the frame itself
        float trimmed[4];
        readRectObject(frame, "frame", true, rect);
        readRectObject(frame, "spriteSourceSize", true, trimmed);
        f->sourceSize = KuPoint{rect[2], rect[3]};
        f->offset = KuPoint{trimmed[0], rect[3] - trimmed[1] - std::fabs(trimmed[3])};
        f->spriteSourceRect =
            KuRect{{trimmed[0], trimmed[1]}, {trimmed[0] + trimmed[2], trimmed[1] + trimmed[3]}};
        break;
    }
    }
    f->textureOrigin = KuPoint{rect[0], rect[1]};
    f->textureFarCorner = KuPoint{rect[0] + rect[2], rect[1] + rect[3]};
    return f;
}

// Cuts the drawn rectangle (origin, origin + size) to the atlas so that no texture coordinate
// points outside it; the offset follows a cut at the left and at the bottom. False when nothing
// of the frame is inside.
bool fitFrameToAtlas(KuSpriteSheetFrame* f, KuPoint atlas, KuString* sheet, KuString* name) {
    const KuPoint size = f->textureSize();
    const float x0 = f->textureOrigin.x, y0 = f->textureOrigin.y;
    const float x1 = x0 + size.x, y1 = y0 + size.y;
    if (x0 >= 0 && y0 >= 0 && x1 <= atlas.x && y1 <= atlas.y) return true;
    if (x0 >= atlas.x || y0 >= atlas.y || x1 <= 0 || y1 <= 0) {
        KuWarning("SpriteSheet %@.json frame %@ lies outside its %gx%g atlas; left out.", sheet, name,
                  static_cast<double>(atlas.x), static_cast<double>(atlas.y));
        return false;
    }
    const float cx0 = std::fmax(x0, 0.0f), cy0 = std::fmax(y0, 0.0f);
    const float cx1 = std::fmin(x1, atlas.x), cy1 = std::fmin(y1, atlas.y);
    KuWarning("SpriteSheet %@.json frame %@ reaches outside its %gx%g atlas; cut to it.", sheet, name,
              static_cast<double>(atlas.x), static_cast<double>(atlas.y));
    f->offset.x += cx0 - x0;
    f->offset.y += y1 - cy1;
    f->textureOrigin = KuPoint{cx0, cy0};
    f->textureFarCorner = KuPoint{cx1, cy1};
    return true;
}

}  // namespace

// >>control file

int KuSpriteSheet::controlFileFormat(KuDictionary* meta) {
    if (!meta) return 0;
    KuObject* format = meta->objectForKey(KUSTR_format);
    if (format && format->isInt() && format->intValue() != 0) return format->intValue();
    KuObject* version = meta->objectForKey(KUSTR_version);
    if (version && (version->isString() || version->kindCode() == kKuTypeNumber) &&
        version->floatValue() == 1.0f)
        return 4;
    KuString* app = meta->stringForKey("app");
    if (app && (KuStreq(app, kKuAsepriteAppIdentifier) || KuStreq(app, kKuAsepriteSecureAppIdentifier)))
        return 5;
    return 0;
}

KuDictionary* KuSpriteSheet::framesFromControlDictionary(KuDictionary* control, KuString* name,
                                                         KuPoint atlas) {
    KuDictionary* frameObjects = control ? control->dictionaryForKey(KUSTR_frames) : nullptr;
    KuObject* metaObject = nullptr;
    if (control) metaObject = control->objectForKey(KUSTR_metadata, control->objectForKey(KUSTR_meta));
    if (!frameObjects || !metaObject || metaObject->kindCode() != kKuTypeDictionary) {
        KuError("SpriteSheet %@.json is not valid.", name);
        return nullptr;
    }
    const int format = controlFileFormat(static_cast<KuDictionary*>(metaObject));
    if (format < 2 || format > 5) {
        KuError("SpriteSheet %@.json format %d is not valid.", name, format);
        return nullptr;
    }
    const bool checkAtlas = atlas.x > 0 && atlas.y > 0;
    KuDictionary* result = KuDictionary::dictionary();
    result->reserve(frameObjects->count());
    for (int i = 0; i < frameObjects->count(); i++) {
        KuString* key = frameObjects->keyAtIndex(i);
        KuObject* value = frameObjects->valueAtIndex(i);
        // A frame that is not an object reads as all zeros, as its missing keys would.
        KuDictionary* empty = nullptr;
        if (!value || value->kindCode() != kKuTypeDictionary) empty = KuDictionary::dictionary();
        KuSpriteSheetFrame* frame = newFrame(empty ? empty : static_cast<KuDictionary*>(value), format);
        if (!checkAtlas || fitFrameToAtlas(frame, atlas, name, key)) result->addKeyObject(key, frame);
        KuRelease(frame);
    }
    return result;
}

// >>loading

KuSpriteSheet::KuSpriteSheet() : KuObject(kKuTypeObject) {}

KuSpriteSheet::~KuSpriteSheet() {
    KuRelease(imageName);
    KuRelease(sheetImage);
    KuRelease(frames);
}

bool KuSpriteSheet::loadSheetImage(KuString* name) {
    KuSetRetained(imageName, KuString::stringWithFormat("%s.png", name ? name->c_str() : ""));
    KuSetRetained(sheetImage, KuImage::imageWithName(imageName));
    if (sheetImage) return true;
    KuError("SpriteSheet image %s can't be found.", imageName->c_str());
    return false;
}

KuSpriteSheet* KuSpriteSheet::initWithControlDictionary(KuString* name, KuDictionary* control) {
    if (!name || !loadSheetImage(name)) return nullptr;
    // The atlas in pixels, as the control file counts them.
    const KuPoint atlas{sheetImage->width, sheetImage->height};
    KuDictionary* read = framesFromControlDictionary(control, name, atlas);
    if (!read) return nullptr;
    KuSetRetained(frames, read);
    return this;
}

KuSpriteSheet* KuSpriteSheet::initWithControlFile(KuString* name) {
    if (!name || !loadSheetImage(name)) return nullptr;
    KuString* file =
        KuPackfileManager::bestScaledFilename(name, KuString::stringWithString(".json"), nullptr);
    if (!file) {
        KuError("SpriteSheet file %@.json can't be found.", name);
        return nullptr;
    }
    // A file that exists but does not parse has been reported by the reader.
    KuDictionary* control = KuPackfileManager::dictionaryFromJSONFilename(file);
    if (!control) return nullptr;
    const KuPoint atlas{sheetImage->width, sheetImage->height};
    KuDictionary* read = framesFromControlDictionary(control, name, atlas);
    if (!read) return nullptr;
    KuSetRetained(frames, read);
    return this;
}

// >>frame images

KuSpriteSheetFrame* KuSpriteSheet::frameNamed(KuString* name) const {
    if (!frames || !name) return nullptr;
    KuObject* found = frames->objectForKey(name);
    return found ? static_cast<KuSpriteSheetFrame*>(found) : nullptr;
}

KuImage* KuSpriteSheet::copyImageNamed(KuString* name, bool quiet) {
    if (!frames || !name) return nullptr;
    KuSpriteSheetFrame* frame = nullptr;
    KuString* found = name;
    // Localised frames: "<stem>_en" is shown in the game language when the sheet has that variant.
    if (name->length >= 3 && strcmp(name->c_str() + name->length - 3, "_en") == 0) {
        const char* language = KuGameLanguageName() ? KuGameLanguageName()->c_str() : "en";
        KuString* localised = KuString::stringWithFormat("%.*s%.2s", static_cast<int>(name->length - 2),
                                                         name->c_str(), language);
        if ((frame = frameNamed(localised))) found = localised;
    }
    if (!frame) frame = frameNamed(name);
    if (!frame) {
        KuString* withSuffix = KuString::stringWithFormat("%@.png", name);
        if ((frame = frameNamed(withSuffix))) found = withSuffix;
    }
    if (!frame) {
        if (!quiet)
            KuError("Image %s does not exist in SpriteSheet %s.", name->c_str(),
                    imageName ? imageName->c_str() : "");
        return nullptr;
    }
    if (!sheetImage) return nullptr;
    KuImage* image = sheetImage->textureNotManaged || !sheetImage->textureName
                         ? KuImage::imageWithTexture(sheetImage->texture)
                         : KuImage::imageWithName(sheetImage->textureName);
    if (!image) return nullptr;
    KuSetRetained(image->frameName, found);
    const KuPoint size = frame->textureSize();
    image->textureOffset = frame->textureOrigin;
    image->width = size.x;
    image->height = size.y;
    image->frameOffset = KuPoint{frame->offset.x * image->pointScale, frame->offset.y * image->pointScale};
    image->halfSourceSize = KuImageHalfSize(frame->sourceSize, image->pointScale);
    image->sourceSize_ = frame->sourceSize;
    image->center(true);
    return image;
}

int KuSpriteSheet::getImageDataFor(KuString* name, KuPoint* origin, KuPoint* size) {
    if (!origin || !size) return -1;
    KuSpriteSheetFrame* frame = frameNamed(name);
    if (!frame) {
        KuError("Image %s does not exist in SpriteSheet %s.", name ? name->c_str() : "",
                imageName ? imageName->c_str() : "");
        return -1;
    }
    *origin = frame->textureOrigin;
    *size = frame->textureSize();
    return 0;
}

// >>cache

KuDictionary* KuSpriteSheet::cache() {
    return sheetCache;
}

void KuSpriteSheet::logLevel(int level) {
    sheetLogLevel = level;
}

namespace {
KuSpriteSheet* cachedSheet(KuString* name) {
    if (!name || !sheetCache) return nullptr;
    KuObject* found = sheetCache->objectForKey(name);
    return found ? static_cast<KuSpriteSheet*>(found) : nullptr;
}

KuSpriteSheet* addToCache(KuString* name, KuSpriteSheet* sheet) {
    if (sheetLogLevel) KuLogConsole("Adding sprite sheet %@", name);
    if (!sheetCache) sheetCache = KuDictionary::newDictionary();
    sheetCache->addKeyObject(name, sheet);
    KuRelease(sheet);  // the cache holds it now
    return sheet;
}
}  // namespace

KuSpriteSheet* KuSpriteSheet::cacheSheetWithName(KuString* name) {
    if (!name) return nullptr;
    KuSpriteSheet* sheet = cachedSheet(name);
    if (!sheet) {
        auto* made = new KuSpriteSheet;
        if (!made->initWithControlFile(name)) {
            KuRelease(made);
            return nullptr;
        }
        sheet = addToCache(name, made);
    }
    sheet->lastUsed = static_cast<float>(_globalTime);
    return sheet;
}

KuSpriteSheet* KuSpriteSheet::cacheSheetWithControlDictionary(KuString* name, KuDictionary* control) {
    if (!name) return nullptr;
    KuSpriteSheet* sheet = cachedSheet(name);
    if (!sheet) {
        auto* made = new KuSpriteSheet;
        if (!made->initWithControlDictionary(name, control)) {
            KuRelease(made);
            return nullptr;
        }
        sheet = addToCache(name, made);
    }
    sheet->lastUsed = static_cast<float>(_globalTime);
    return sheet;
}

bool KuSpriteSheet::doesImageExist(KuString* sheetName, KuString* frame) {
    KuSpriteSheet* sheet = cacheSheetWithName(sheetName);
    return sheet && frame && sheet->frames && sheet->frames->containsKey(frame);
}

void KuSpriteSheet::releaseSheetWithName(KuString* name) {
    if (!name || !sheetCache) return;
    if (sheetLogLevel) KuLogConsole("Removing sprite sheet %@", name);
    sheetCache->removeObjectForKey(name);
}

void KuSpriteSheet::releaseCache() {
    if (sheetCache) sheetCache->removeAllObjects();
}

int KuSpriteSheet::expireSpriteSheets(float age, int verbose) {
    int removed = 0;
    bool again = sheetCache != nullptr;
    while (again) {
        again = false;
        for (int i = 0; i < sheetCache->count(); i++) {
            KuString* name = sheetCache->keyAtIndex(i);
            auto* sheet = static_cast<KuSpriteSheet*>(sheetCache->valueAtIndex(i));
            const double idle = _globalTime - sheet->lastUsed;
            if (verbose >= 2)
                KuLogConsole("Checking sprite sheet %@ age %g ref %d", name, idle, sheet->refCount);
            if (idle > age && (sheet->refCount == 1 || sheet->isImmortal())) {
                if (verbose) KuLogConsole("Removing sprite sheet %@ age %g", name, idle);
                sheetCache->removeObjectForKey(name);
                removed++;
                again = true;
                break;
            }
        }
    }
    textureManager.expireTextures(age);
    return removed;
}
