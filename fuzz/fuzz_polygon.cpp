// libFuzzer target: the polygon text form read and written, ear-clipping triangulation with the
// reversed retry, and the polygon queries on whatever was read.
#include <cstdio>
#include <cstdlib>

#include "picture_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string fault = picture_fuzz::runOnce(picture_fuzz::polygonTarget, data, size);
    if (!fault.empty()) {
        fprintf(stderr, "fault: %s\n", fault.c_str());
        abort();
    }
    return 0;
}
