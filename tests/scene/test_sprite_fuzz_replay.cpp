// The committed seed corpora of the picture fuzz targets, replayed through the same target bodies:
// degenerate, self-intersecting and oddly numbered polygons; control files of every format with
// broken frames; animation dictionaries and animations files with gaps, odd values and tags.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/picture_targets.h"
#include "TestSupport.h"

namespace {

using SpriteFuzzReplay = KuPoolTest;

TEST_F(SpriteFuzzReplay, CommittedCorporaReplayCleanly) {
    struct Corpus {
        const char* folder;
        picture_fuzz::Target target;
    };
    const Corpus corpora[] = {{"polygon", picture_fuzz::polygonTarget},
                              {"spritesheet", picture_fuzz::spriteSheetTarget}};
    for (const Corpus& c : corpora) {
        const std::vector<std::string> files = corpusFiles(c.folder);
        EXPECT_GE(files.size(), 8u) << c.folder;
        for (const std::string& path : files) {
            const std::vector<uint8_t> bytes = fileBytes(path);
            EXPECT_EQ(picture_fuzz::runOnce(c.target, bytes.data(), bytes.size()), "") << path;
            // The last byte picks the reading mode and rates: the other choice of each bit too.
            std::vector<uint8_t> flipped = bytes;
            if (!flipped.empty()) flipped.back() ^= 0x0F;
            EXPECT_EQ(picture_fuzz::runOnce(c.target, flipped.data(), flipped.size()), "")
                << path << " (flipped)";
        }
    }
    // The targets leave no sheet and no texture behind.
    EXPECT_TRUE(!KuSpriteSheet::cache() || KuSpriteSheet::cache()->count() == 0);
    EXPECT_EQ(textureManager.count(), 0);
}

// A fault the target describes is reported, so the replay can fail.
TEST_F(SpriteFuzzReplay, TargetsDescribeBrokenInvariants) {
    const std::string fine = "(0,0);(0,10);(10,10);(10,0)";
    EXPECT_EQ(picture_fuzz::runOnce(picture_fuzz::polygonTarget,
                                    reinterpret_cast<const uint8_t*>(fine.data()), fine.size()),
              "");
    KuPolygonObject* square = KuPolygonObject::polygonWithString(KuString::stringWithString(fine.c_str()));
    EXPECT_FALSE(picture_fuzz::isCorner(square, 5, 5));
    EXPECT_TRUE(picture_fuzz::isCorner(square, 10, 0));
}

}  // namespace
