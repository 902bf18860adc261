// The libFuzzer entry shared by the JSON targets: warnings are silenced (every rejected input would
// print one) and a fault the target describes ends the run as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "KuLog.h"
#include "json_targets.h"

namespace kujson_fuzz {

class QuietHooks : public KuLogHooks {
public:
    int appReceivesWarning(const char*) override { return 1; }
};

inline int fuzzEntry(Target target, const uint8_t* data, size_t size) {
    static QuietHooks hooks;
    KuSetLogHooks(&hooks);
    std::string fault = runOnce(target, data, size);
    if (!fault.empty()) {
        fprintf(stderr, "fault: %s\n", fault.c_str());
        abort();
    }
    return 0;
}

}  // namespace kujson_fuzz
