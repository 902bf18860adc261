// Resource lookup by name: hot-load folder, search list, absolute paths, language and scaled
// variants, and the dictionary loader's error.
#include <string>
#include <vector>

#include "KuFile.h"
#include "KuLog.h"
#include "KuPackfileManager.h"
#include "TestSupport.h"

namespace {

std::string textOf(KuData* data) {
    if (!data) return "<null>";
    return std::string(reinterpret_cast<const char*>(data->bytes), static_cast<size_t>(data->length));
}

class Reports : public KuLogHooks {
public:
    std::vector<std::string> warnings, errors;
    int appReceivesWarning(const char* m) override {
        warnings.emplace_back(m);
        return 1;
    }
    int appReceivesError(const char* m) override {
        errors.emplace_back(m);
        return 1;
    }
};

class PackfileTest : public KuPoolTest {
protected:
    Reports reports;
    TempFolder search, hot;
    void SetUp() override {
        KuPoolTest::SetUp();
        KuSetLogHooks(&reports);
        KuClearResourcePaths();
        KuAddResourcePath(search.path().c_str());
    }
    void TearDown() override {
        KuPackfileManager::setHotloadFolder(nullptr);
        KuPackfileManager::setDeviceScale(1);
        KuSetGameLanguageName(nullptr);
        KuClearResourcePaths();
        KuSetLogHooks(nullptr);
        KuPoolTest::TearDown();
    }
};

TEST_F(PackfileTest, HotloadFolderComesBeforeTheSearchList) {
    search.write("tansy-hero.json", "from search");
    search.write("tansy-only-search.json", "search only");
    hot.write("tansy-hero.json", "from hot");
    KuPackfileManager::setHotloadFolder(S(hot.path()));
    EXPECT_STREQ(KuPackfileManager::getHotloadFolder()->c_str(), hot.path().c_str());
    EXPECT_EQ(textOf(KuPackfileManager::dataFromFilename(S("tansy-hero.json"))), "from hot");
    EXPECT_EQ(textOf(KuPackfileManager::dataFromFilename(S("tansy-only-search.json"))), "search only");
    KuPackfileManager::setHotloadFolder(nullptr);
    EXPECT_EQ(textOf(KuPackfileManager::dataFromFilename(S("tansy-hero.json"))), "from search");
    EXPECT_TRUE(reports.warnings.empty());
    EXPECT_FALSE(KuPackfileManager::usingPackfiles());
}

TEST_F(PackfileTest, NamesResolveOrGiveNothing) {
    std::string absolute = search.write("sub/abs.txt", "absolute bytes");
    search.write("sub/nested.txt", "nested");
    hot.write("hot-only.txt", "hot");
    KuPackfileManager::setHotloadFolder(S(hot.path()));
    struct Row {
        std::string name;
        const char* data;  // null: not found
        const char* warning;
    } rows[] = {
        {absolute, "absolute bytes", ""},
        {"sub/nested.txt", "nested", ""},
        {"hot-only.txt", "hot", ""},
        {"tansy-nowhere.txt", nullptr, ""},
        {search / "missing.txt", nullptr, "Can't open file '%s'"},
    };
    for (const Row& row : rows) {
        reports.warnings.clear();
        KuData* data = KuPackfileManager::dataFromFilename(S(row.name));
        EXPECT_EQ(textOf(data), row.data ? row.data : "<null>") << row.name;
        EXPECT_EQ(KuPackfileManager::doesFileExists(S(row.name)), row.data != nullptr) << row.name;
        std::string warning = row.warning;
        if (!warning.empty()) warning = "Can't open file '" + row.name + "'";
        EXPECT_EQ(reports.warnings.empty() ? "" : reports.warnings.back(), warning) << row.name;
    }
    EXPECT_EQ(KuPackfileManager::dataFromFilename(nullptr), nullptr);
    EXPECT_FALSE(KuPackfileManager::doesFileExists(nullptr));
}

TEST_F(PackfileTest, LanguageVariantIsTriedFirstUnlessExact) {
    search.write("intro_en.txt", "hello");
    search.write("intro_fr.txt", "bonjour");
    search.write("outro_en.txt", "bye");
    EXPECT_STREQ(KuGameLanguageName()->c_str(), "en");
    EXPECT_EQ(textOf(KuPackfileManager::dataFromFilename(S("intro_en.txt"))), "hello");
    KuSetGameLanguageName(S("fr"));
    struct Row {
        const char* name;
        bool exact;
        const char* expected;
    } rows[] = {{"intro_en.txt", false, "bonjour"},
                {"intro_en.txt", true, "hello"},
                {"outro_en.txt", false, "bye"},  // no variant: the name itself
                {"intro_fr.txt", false, "bonjour"}};
    for (const Row& row : rows)
        EXPECT_EQ(textOf(KuPackfileManager::dataFromFilename(S(row.name), row.exact)), row.expected)
            << row.name << " exact " << row.exact;
    EXPECT_TRUE(reports.warnings.empty());
}

TEST_F(PackfileTest, BestScaledVariantFollowsTheDeviceScale) {
    struct Row {
        float deviceScale;
        std::vector<std::string> files;
        const char* name;
        const char* expected;  // null: none
        float scale;           // 7 = left unchanged
    } rows[] = {
        {2, {"hero.png", "hero@2x.png"}, "hero.png", "hero@2x.png", 2},
        {2, {"hero.png"}, "hero.png", "hero.png", 1},
        {2, {"hero.png", "hero@2x.png"}, "hero@2x.png", nullptr, 1},
        {3, {"hero.png", "hero@2x.png", "hero@4x.png"}, "hero.png", "hero@4x.png", 4},
        {3, {"hero@2x.png"}, "hero.png", "hero@2x.png", 2},
        {2, {"hero.png", "hero@4x.png"}, "hero.png", "hero.png", 1},
        {1, {"hero.png", "hero@2x.png"}, "hero.png", "hero.png", 1},
        {1, {"hero.png", "hero@1x.png"}, "hero.png", "hero@1x.png", 1},
        {1, {}, "hero.png", nullptr, 7},
    };
    for (const Row& row : rows) {
        TempFolder art;
        for (const std::string& f : row.files)
            art.write(f, f);
        KuClearResourcePaths();
        KuAddResourcePath(art.path().c_str());
        KuPackfileManager::setDeviceScale(row.deviceScale);
        float scale = 7;
        KuString* chosen = KuPackfileManager::bestScaledFilename(S(row.name), &scale);
        std::string label = std::string(row.name) + " at " + std::to_string(row.deviceScale);
        EXPECT_EQ(chosen ? chosen->c_str() : "<null>", std::string(row.expected ? row.expected : "<null>"))
            << label;
        EXPECT_EQ(scale, row.scale) << label;
    }
    // With an extension the name's own is replaced first.
    TempFolder art;
    art.write("door@2x.png", "");
    KuClearResourcePaths();
    KuAddResourcePath(art.path().c_str());
    KuPackfileManager::setDeviceScale(2);
    float scale = 0;
    KuString* chosen = KuPackfileManager::bestScaledFilename(S("door.json"), S(".png"), &scale);
    ASSERT_NE(chosen, nullptr);
    EXPECT_STREQ(chosen->c_str(), "door@2x.png");
    EXPECT_EQ(scale, 2);
    EXPECT_NE(KuPackfileManager::bestScaledFilename(S("door.json"), S(".png"), nullptr), nullptr);
}

TEST_F(PackfileTest, TextAndDictionaryLoads) {
    search.write("lines.txt", std::string("one\ntwo\0hidden", 14));
    search.write("sheet.json", "frames = 3\nname = \"hero\"");
    search.write("broken.json", "frames = 3\nname");
    search.write("list.json", "[1, 2]");
    EXPECT_STREQ(KuPackfileManager::stringFromFilename(S("lines.txt"))->c_str(), "one\ntwo");
    KuArray<KuString*>* lines = KuPackfileManager::stringArrayFromFilename(S("lines.txt"));
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(lines->count(), 2);
    EXPECT_EQ(KuPackfileManager::stringArrayFromFilename(S("tansy-none.txt")), nullptr);
    EXPECT_EQ(KuPackfileManager::stringFromFilename(S("tansy-none.txt")), nullptr);

    KuDictionary* sheet = KuPackfileManager::dictionaryFromJSONFilename(S("sheet.json"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->intForKey("frames", 0), 3);
    EXPECT_EQ(KuPackfileManager::dictionaryFromJSONFilename(S("tansy-none.json")), nullptr);
    EXPECT_TRUE(reports.errors.empty());

    for (const char* name : {"broken.json", "list.json"}) {
        reports.errors.clear();
        EXPECT_EQ(KuPackfileManager::dictionaryFromJSONFilename(S(name)), nullptr) << name;
        ASSERT_EQ(reports.errors.size(), 1u) << name;
        std::string prefix = std::string("Failed to create KuDictionary from packed file ") + name + " (";
        EXPECT_EQ(reports.errors[0].substr(0, prefix.size()), prefix) << reports.errors[0];
        EXPECT_EQ(reports.errors[0].back(), ')') << reports.errors[0];
    }
}

TEST_F(PackfileTest, HandlesOpenThroughTheSearchList) {
    search.write("handle.bin", "0123456789");
    FILE* f = nullptr;
    unsigned size = 0;
    ASSERT_EQ(KuPackfileManager::fileOpen("handle.bin", &size, &f), 0);
    EXPECT_EQ(size, 10u);
    char buffer[4] = {};
    unsigned count = 0;
    EXPECT_EQ(KuPackfileManager::fileSeek(f, 8), 0);
    EXPECT_EQ(KuPackfileManager::fileRead(f, buffer, 4, &count), 0);
    EXPECT_EQ(std::string(buffer, count), "89");
    KuPackfileManager::fileClose(f);
    EXPECT_EQ(KuPackfileManager::fileOpen("tansy-none.bin", &size, &f), -101);
    EXPECT_EQ(f, nullptr);
}

}  // namespace
