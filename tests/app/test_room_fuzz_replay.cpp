// The room fuzz target's committed seeds (the sample rooms and odd documents), replayed through the
// same target body: every object and walkbox loads and saves cleanly and what is saved reads back.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/room_targets.h"
#include "TestSupport.h"

namespace {

using RoomFuzzReplay = KuPoolTest;

TEST_F(RoomFuzzReplay, CommittedSeedsReplayCleanly) {
    const std::vector<std::string> files = corpusFiles("room");
    EXPECT_GE(files.size(), 3u);
    for (const std::string& path : files) {
        const std::vector<uint8_t> bytes = fileBytes(path);
        EXPECT_EQ(room_fuzz::runOnce(bytes.data(), bytes.size()), "") << path;
    }
}

// A broken invariant is described, so the replay can fail.
TEST_F(RoomFuzzReplay, TheTargetSeesWhatASaveMustNotLeave) {
    const std::string fine = "objects: [ { name: \"a\", pos: (1,2) } ]";
    EXPECT_EQ(room_fuzz::runOnce(reinterpret_cast<const uint8_t*>(fine.data()), fine.size()), "");
    // A dictionary whose save would not be stable is caught by the same check the target makes.
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyString(KUSTR_name, KuString::stringWithString("a"));
    EXPECT_EQ(room_fuzz::checkObject(d), "");
    EXPECT_TRUE(room_fuzz::whole(3.0f));
    EXPECT_FALSE(room_fuzz::whole(2.5f));
}

}  // namespace
