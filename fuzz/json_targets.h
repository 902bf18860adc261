// The JSON fuzz targets' bodies and the document-tree comparison they share with the unit tests.
// Header-only so that the libFuzzer binaries and the corpus replay test compile the same code.
// Each target returns an empty text when the input behaved, else a description of the fault.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "KuArray.h"
#include "KuData.h"
#include "KuDictionary.h"
#include "KuJson.h"
#include "KuNumber.h"
#include "KuPointObject.h"
#include "KuString.h"

namespace kujson_fuzz {

// Floats are compared by the six significant digits the dialect keeps ("%g" text), so that a value
// read back from written text counts as the same value.
inline std::string sixDigits(float v) {
    char text[64];
    snprintf(text, sizeof text, "%g", (double)v);
    return text;
}

inline bool sameNumber(const KuNumber* a, const KuNumber* b) {
    if (a->kind == KuNumber::kInteger && b->kind == KuNumber::kInteger) return a->value == b->value;
    return sixDigits(a->floatValue()) == sixDigits(b->floatValue());
}

inline bool samePoint(KuPoint a, KuPoint b) {
    return sixDigits(a.x) == sixDigits(b.x) && sixDigits(a.y) == sixDigits(b.y);
}

// True when both trees hold the same keys in the same order with the same values; otherwise false,
// with the path of the first difference in *why.
inline bool treesEqual(KuObject* a, KuObject* b, std::string* why, const std::string& path = "") {
    auto differ = [&](const char* what) {
        if (why) *why = (path.empty() ? std::string("root") : path) + ": " + what;
        return false;
    };
    if (!a || !b) return a == b ? true : differ("one side missing");
    const int kind = a->kindCode() == kKuTypeMutableString ? kKuTypeString : a->kindCode();
    const int otherKind = b->kindCode() == kKuTypeMutableString ? kKuTypeString : b->kindCode();
    if (kind != otherKind) return differ("types differ");
    switch (kind) {
    case kKuTypeString:
        return KuStreq(static_cast<KuString*>(a), static_cast<KuString*>(b)) ? true
                                                                             : differ("strings differ");
    case kKuTypeNumber:
        return sameNumber(static_cast<KuNumber*>(a), static_cast<KuNumber*>(b)) ? true
                                                                                : differ("numbers differ");
    case kKuTypeNullObject:
        return true;
    case kKuTypePointObject:
        return samePoint(static_cast<KuPointObject*>(a)->point, static_cast<KuPointObject*>(b)->point)
                   ? true
                   : differ("points differ");
    case kKuTypeRectObject: {
        const KuRect& r = static_cast<KuRectObject*>(a)->rect;
        const KuRect& s = static_cast<KuRectObject*>(b)->rect;
        return samePoint(r.first, s.first) && samePoint(r.second, s.second) ? true
                                                                            : differ("rectangles differ");
    }
    case kKuTypeArray: {
        auto* x = static_cast<KuArray<KuObject*>*>(a);
        auto* y = static_cast<KuArray<KuObject*>*>(b);
        if (x->count() != y->count()) return differ("array lengths differ");
        for (int i = 0; i < x->count(); i++)
            if (!treesEqual(x->objectAtIndex(i), y->objectAtIndex(i), why,
                            path + "[" + std::to_string(i) + "]"))
                return false;
        return true;
    }
    case kKuTypeDictionary: {
        auto* x = static_cast<KuDictionary*>(a);
        auto* y = static_cast<KuDictionary*>(b);
        if (x->count() != y->count()) return differ("dictionary sizes differ");
        for (int i = 0; i < x->count(); i++) {
            KuString* key = x->keyAtIndex(i);
            if (!KuStreq(key, y->keyAtIndex(i))) return differ("keys differ");
            if (!treesEqual(x->valueAtIndex(i), y->valueAtIndex(i), why, path + "." + key->c_str()))
                return false;
        }
        return true;
    }
    default:
        return a == b ? true : differ("unexpected value type");
    }
}

// The writer takes a dictionary; a root array travels under one key.
inline KuDictionary* asDocument(KuObject* root) {
    if (root && root->kindCode() == kKuTypeDictionary) return static_cast<KuDictionary*>(root);
    KuDictionary* doc = KuDictionary::dictionary();
    doc->addKeyObject("root", root);
    return doc;
}

inline KuString* textOf(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    return KuString::stringWithString(text.c_str());  // ends at the first NUL, as file text does
}

// Text reader on any bytes, with and without lower-cased keys and a symbol table; whatever parses
// is also written in both forms.
inline std::string textTarget(const uint8_t* data, size_t size) {
    KuString* text = textOf(data, size);
    KuDictionary* symbols = KuDictionary::dictionary();
    symbols->addKeyObject("DIR", KuString::stringWithString("8"));
    symbols->addKeyInt(KuString::stringWithString("ONE"), 1);
    const bool lower = size > 0 && (data[0] & 1);
    KuJson reader;
    KuObject* root = reader.parseWithSymbolDict(text, lower ? symbols : nullptr, lower);
    if (!root) return reader.parseError() ? "" : "null result without an error";
    if (root->kindCode() != kKuTypeDictionary && root->kindCode() != kKuTypeArray)
        return "root is not a container";
    KuDictionary* doc = asDocument(root);
    if (!KuJson::stringFromDict(doc)) return "writer gave no text";
    if (!KuJson::emitBJson(doc, 64)) return "binary writer gave no data";
    return "";
}

// Binary reader on any bytes; whatever parses must survive emitting and reading again.
inline std::string binaryTarget(const uint8_t* data, size_t size) {
    KuData* bytes = KuData::dataWithBytes(data, (int)size);
    KuObject* root = quickParseKuBJsonWithSymbolDict(bytes, nullptr);
    if (!root) return KuBJsonError() ? "" : "null result without an error";
    KuDictionary* doc = asDocument(root);
    KuData* again = KuJson::emitBJson(doc, 64);
    KuObject* back = again ? quickParseKuBJsonWithSymbolDict(again, nullptr) : nullptr;
    std::string why;
    if (!treesEqual(doc, back, &why)) return "binary round trip: " + why;
    return "";
}

// parse -> write -> parse gives the same tree, through the text form and through the binary form.
inline std::string roundTripTarget(const uint8_t* data, size_t size) {
    KuObject* root = quickParseKuJson(textOf(data, size));
    if (!root) return "";
    KuDictionary* doc = asDocument(root);
    KuMutableString* text = KuJson::stringFromDict(doc);
    if (!text) return "writer gave no text";
    KuJson reader;
    KuObject* back = reader.parse(text, false);
    std::string why;
    if (!treesEqual(doc, back, &why))
        return "text round trip: " + why +
               (reader.parseError() ? " (" + std::string(reader.parseError()->c_str()) + ")" : "");
    KuData* binary = KuJson::emitBJson(doc, 64);
    KuObject* fromBinary = binary ? quickParseKuBJsonWithSymbolDict(binary, nullptr) : nullptr;
    if (!treesEqual(doc, fromBinary, &why)) return "binary round trip: " + why;
    return "";
}

}  // namespace kujson_fuzz

namespace kujson_fuzz {

using Target = std::string (*)(const uint8_t*, size_t);

// One input through a target inside its own pool; the pool is drained and the string cache emptied
// afterwards so that nothing accumulates from one input to the next.
inline std::string runOnce(Target target, const uint8_t* data, size_t size) {
    KuAutoreleasePool::currentPool();  // the bottom pool, so that the pushed one can be popped
    KuAutoreleasePool::pushPool();
    std::string result = target(data, size);
    KuAutoreleasePool::popPool();
    releaseKuStringCache(nullptr);
    return result;
}

}  // namespace kujson_fuzz
