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

std::vector<std::string> seeds() {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(TANSY_SOURCE_DIR) + "/fuzz/corpus/room", ec))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

using RoomFuzzReplay = KuPoolTest;

TEST_F(RoomFuzzReplay, CommittedSeedsReplayCleanly) {
    const std::vector<std::string> files = seeds();
    EXPECT_GE(files.size(), 3u);
    for (const std::string& path : files) {
        const std::vector<uint8_t> bytes = contents(path);
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
