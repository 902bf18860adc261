// KuRegEx: a compiled regular expression over Oniguruma, POSIX extended syntax, newline-sensitive
// ("." does not match a newline; "^" and "$" also match at line boundaries), UTF-8 texts.
#pragma once

#include "KuObject.h"

template <typename T>
class KuArray;

class KuRegEx : public KuObject {
public:
    // Owned (count 1); null when the pattern is null or does not compile.
    static KuRegEx* newWithPattern(const char* pattern);
    // Autoreleased; null as above.
    static KuRegEx* regExWithPattern(const char* pattern);
    ~KuRegEx() override;

    const char* typeStr() const override { return "KuRegEx"; }

    // The first match in text: the whole match, then each group in order (a group that took no
    // part gives ""). Autoreleased; null when nothing matches or text is null.
    KuArray<KuString*>* match(const char* text, int length) const;
    int groupCount() const;

private:
    KuRegEx() = default;
    void* regex = nullptr;  // OnigRegex
};
