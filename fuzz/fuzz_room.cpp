// libFuzzer target: room documents through the editor's object and walkbox loading and saving.
#include <cstdio>
#include <cstdlib>

#include "room_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string fault = room_fuzz::runOnce(data, size);
    if (!fault.empty()) {
        fprintf(stderr, "fault: %s\n", fault.c_str());
        abort();
    }
    return 0;
}
