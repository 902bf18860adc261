// KuRegEx over Oniguruma, and KuString::reMatch.
#include "KuRegEx.h"

#include <oniguruma.h>

#include <cstring>
#include <mutex>

#include "KuArray.h"
#include "KuString.h"

namespace {

// POSIX extended syntax without Oniguruma's "multiline" default (which lets "." match a
// newline), and with "$" matching before every newline.
OnigSyntaxType* newlineSensitiveSyntax() {
    static OnigSyntaxType syntax;
    static std::once_flag once;
    std::call_once(once, [] {
        OnigEncoding encodings[] = {ONIG_ENCODING_UTF8};
        onig_initialize(encodings, 1);
        onig_copy_syntax(&syntax, ONIG_SYNTAX_POSIX_EXTENDED);
        onig_set_syntax_options(&syntax, onig_get_syntax_options(&syntax) &
                                             ~(ONIG_OPTION_MULTILINE | ONIG_OPTION_SINGLELINE));
    });
    return &syntax;
}

}  // namespace

KuRegEx* KuRegEx::newWithPattern(const char* pattern) {
    if (!pattern) return nullptr;
    OnigSyntaxType* syntax = newlineSensitiveSyntax();
    OnigRegex compiled = nullptr;
    OnigErrorInfo error;
    const auto* p = reinterpret_cast<const OnigUChar*>(pattern);
    int r = onig_new(&compiled, p, p + strlen(pattern), ONIG_OPTION_NEGATE_SINGLELINE, ONIG_ENCODING_UTF8,
                     syntax, &error);
    if (r != ONIG_NORMAL) return nullptr;
    KuRegEx* re = new KuRegEx;
    re->regex = compiled;
    return re;
}

KuRegEx* KuRegEx::regExWithPattern(const char* pattern) {
    return KuAutorelease(newWithPattern(pattern));
}

KuRegEx::~KuRegEx() {
    if (regex) onig_free(static_cast<OnigRegex>(regex));
}

int KuRegEx::groupCount() const {
    return regex ? onig_number_of_captures(static_cast<OnigRegex>(regex)) : 0;
}

KuArray<KuString*>* KuRegEx::match(const char* text, int length) const {
    if (!text || !regex || length < 0) return nullptr;
    OnigRegion* region = onig_region_new();
    if (!region) return nullptr;
    const auto* start = reinterpret_cast<const OnigUChar*>(text);
    const OnigUChar* end = start + length;
    int r = onig_search(static_cast<OnigRegex>(regex), start, end, start, end, region, ONIG_OPTION_NONE);
    KuArray<KuString*>* result = nullptr;
    if (r >= 0) {
        result = KuArray<KuString*>::array();
        for (int i = 0; i < region->num_regs; i++) {
            int from = region->beg[i], to = region->end[i];
            if (from < 0 || to <= from)
                result->addObject(KUSTR_EMPTY);
            else
                result->addObject(new KuString(text + from, to - from), true);
        }
    }
    onig_region_free(region, 1);
    return result;
}

KuArray<KuString*>* KuString::reMatch(KuRegEx* re) const {
    if (!cstr || !re) return nullptr;
    return re->match(cstr, length);
}

KuArray<KuString*>* KuString::reMatch(KuString* pattern) const {
    if (!cstr || !pattern || !pattern->cstr) return nullptr;
    KuRegEx* re = KuRegEx::newWithPattern(pattern->cstr);
    if (!re) return nullptr;
    KuArray<KuString*>* result = re->match(cstr, length);
    KuRelease(re);
    return result;
}
