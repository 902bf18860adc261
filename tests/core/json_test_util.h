// Helpers for the JSON tests: a compact description of a document tree, a reader call that returns
// tree and error together, and a fixture that collects warnings and drains the pool.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "KuArray.h"
#include "KuDictionary.h"
#include "KuJson.h"
#include "KuLog.h"
#include "KuNumber.h"
#include "KuPointObject.h"
#include "KuString.h"

namespace jsontest {

inline std::string g(float v) {
    char t[64];
    snprintf(t, sizeof t, "%g", (double)v);
    return t;
}

// {key:value,...}, [a,b], "text" (raw), 5 (integer), 2.5f (float), NULL, (x,y), ((x1,y1),(x2,y2)).
inline std::string describe(KuObject* o) {
    if (!o) return "null";
    switch (o->kindCode()) {
    case kKuTypeString:
    case kKuTypeMutableString:
        return "\"" + std::string(static_cast<KuString*>(o)->c_str()) + "\"";
    case kKuTypeNumber: {
        auto* n = static_cast<KuNumber*>(o);
        return n->kind == KuNumber::kFloat ? g(n->asFloat()) + "f" : std::to_string(n->value);
    }
    case kKuTypeNullObject:
        return "NULL";
    case kKuTypePointObject: {
        KuPoint p = static_cast<KuPointObject*>(o)->point;
        return "(" + g(p.x) + "," + g(p.y) + ")";
    }
    case kKuTypeRectObject: {
        KuRect r = static_cast<KuRectObject*>(o)->rect;
        return "((" + g(r.first.x) + "," + g(r.first.y) + "),(" + g(r.second.x) + "," + g(r.second.y) + "))";
    }
    case kKuTypeArray: {
        std::string s = "[";
        auto* a = static_cast<KuArray<KuObject*>*>(o);
        for (int i = 0; i < a->count(); i++)
            s += (i ? "," : "") + describe(a->objectAtIndex(i));
        return s + "]";
    }
    case kKuTypeDictionary: {
        std::string s = "{";
        auto* d = static_cast<KuDictionary*>(o);
        for (int i = 0; i < d->count(); i++)
            s += (i ? "," : "") + std::string(d->keyAtIndex(i)->c_str()) + ":" + describe(d->valueAtIndex(i));
        return s + "}";
    }
    default:
        return o->typeStr();
    }
}

struct Parsed {
    KuObject* root = nullptr;
    std::string tree;   // describe(root), "null" when the parse failed
    std::string error;  // parseError(), "" when none
};

inline Parsed parseText(const std::string& text, KuDictionary* symbols = nullptr, bool lower = false) {
    KuJson reader;
    Parsed r;
    r.root = reader.parseWithSymbolDict(KuString::stringWithString(text.c_str()), symbols, lower);
    r.tree = describe(r.root);
    r.error = reader.parseError() ? reader.parseError()->c_str() : "";
    return r;
}

class WarningLog : public KuLogHooks {
public:
    std::vector<std::string> lines;
    int appReceivesWarning(const char* text) override {
        lines.push_back(text);
        return 1;
    }
    bool contains(const std::string& text) const {
        for (const std::string& l : lines)
            if (l == text) return true;
        return false;
    }
};

// Collects warnings instead of printing them; drains the pool after each test so that leaks of
// references show up under the leak checker.
class JsonTest : public ::testing::Test {
protected:
    WarningLog warnings;
    void SetUp() override {
        KuSetLogHooks(&warnings);
        KuAutoreleasePool::currentPool();  // the bottom pool, so that the pushed one can be popped
        KuAutoreleasePool::pushPool();
    }
    void TearDown() override {
        KuAutoreleasePool::popPool();
        KuSetLogHooks(nullptr);
    }
};

}  // namespace jsontest
