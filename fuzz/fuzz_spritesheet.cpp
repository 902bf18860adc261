// libFuzzer target: sprite-sheet control files, animation dictionaries and animations files through
// their readers, with an in-memory sheet to find frames in (no graphics needed).
#include <cstdio>
#include <cstdlib>

#include "picture_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string fault = picture_fuzz::runOnce(picture_fuzz::spriteSheetTarget, data, size);
    if (!fault.empty()) {
        fprintf(stderr, "fault: %s\n", fault.c_str());
        abort();
    }
    return 0;
}
