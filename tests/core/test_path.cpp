// Path names, the resource search list and resource lookup, on real files in a temporary folder.
#include <unistd.h>

#include <climits>
#include <string>

#include "KuArray.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

class PathTest : public KuPoolTest {
protected:
    void TearDown() override {
        KuClearResourcePaths();
        KuPoolTest::TearDown();
    }
};

std::string text(const KuString* s) {
    return s ? s->c_str() : "(null)";
}

struct PathRow {
    const char* path;
    const char* extension;
    const char* removingPath;
    const char* removingLastPath;
    const char* removingExtension;
};

TEST_F(PathTest, PathNameTable) {
    const PathRow rows[] = {
        // path            extension   removingPath  removingLastPath  removingExtension
        {"a/b.c/d", "", "d", "a/b.c", "a/b.c/d"},
        {"file.tar.gz", ".gz", "file.tar.gz", "file.tar.gz", "file.tar"},
        {"README", "", "README", "README", "README"},
        {"dir.old/file", "", "file", "dir.old", "dir.old/file"},
        {"/abc", "", "/abc", "/abc", "/abc"},
        {".hidden", ".hidden", ".hidden", ".hidden", ".hidden"},
        {"dir/.hidden", ".hidden", ".hidden", "dir", "dir/"},
        {"C:\\rooms\\hall.tansy", ".tansy", "hall.tansy", "C:\\rooms", "C:\\rooms\\hall"},
        {"/usr/lib/", "", "", "/usr/lib", "/usr/lib/"},
        {"a/b\\c.d", ".d", "c.d", "a/b", "a/b\\c"},
        {"name.", ".", "name.", "name.", "name"},
        {"x", "", "x", "x", "x"},
        {"/", "", "/", "/", "/"},
    };
    for (const PathRow& r : rows) {
        EXPECT_EQ(text(KuPathExtension(r.path)), r.extension) << "extension of " << r.path;
        EXPECT_EQ(text(KuPathByRemovingPath(r.path)), r.removingPath) << "removing path of " << r.path;
        EXPECT_EQ(text(KuPathByRemovingLastPath(r.path)), r.removingLastPath)
            << "removing last path of " << r.path;
        EXPECT_EQ(text(KuPathByRemovingExtention(r.path)), r.removingExtension)
            << "removing extension of " << r.path;
        // The KuString forms agree with the C-string forms.
        KuString* s = KuString::stringWithString(r.path);
        EXPECT_EQ(text(KuPathExtension(s)), r.extension) << r.path;
        EXPECT_EQ(text(KuPathByRemovingPath(s)), r.removingPath) << r.path;
        EXPECT_EQ(text(KuPathByRemovingLastPath(s)), r.removingLastPath) << r.path;
        EXPECT_EQ(text(KuPathByRemovingExtention(s)), r.removingExtension) << r.path;
    }
}

TEST_F(PathTest, NullAndEmptyArguments) {
    const char* nullText = nullptr;
    const KuString* nullString = nullptr;
    EXPECT_EQ(KuPathExtension(nullText), nullptr);
    EXPECT_EQ(KuPathByRemovingPath(nullString), nullptr);
    EXPECT_EQ(KuPathByRemovingLastPath(nullText), nullptr);
    EXPECT_EQ(KuPathByRemovingExtention(nullString), nullptr);
    EXPECT_EQ(KuReplaceFileExtension(nullptr, KUSTR_x), nullptr);
    EXPECT_EQ(KuScaledFilename(nullptr, "_hd"), nullptr);

    EXPECT_EQ(KuPathExtension(""), KUSTR_EMPTY);
    EXPECT_EQ(KuPathByRemovingPath(""), KUSTR_EMPTY);
    EXPECT_EQ(KuPathByRemovingLastPath(KUSTR_EMPTY), KUSTR_EMPTY);
    EXPECT_EQ(KuPathByRemovingExtention(""), KUSTR_EMPTY);
    EXPECT_EQ(KuReplaceFileExtension(KUSTR_EMPTY, KuString::stringWithString(".png")), KUSTR_EMPTY);
    KuString* noBuffer = KuString::stringWithString(static_cast<const char*>(nullptr));
    EXPECT_EQ(KuPathExtension(noBuffer), KUSTR_EMPTY);
    EXPECT_EQ(KuScaledFilename(noBuffer, "_hd"), KUSTR_EMPTY);

    KuString* result = KuPathByRemovingPath("dir/name");
    EXPECT_EQ(result->autoreleaseCount, 1);
}

TEST_F(PathTest, ReplaceExtensionAndScaledNames) {
    auto s = [](const char* t) { return KuString::stringWithString(t); };
    struct {
        const char* path;
        const char* ext;
        const char* expected;
    } replaced[] = {{"room.tansy", ".png", "room.png"},
                    {"a/b.c/d", ".txt", "a/b.c/d.txt"},
                    {"noext", ".json", "noext.json"},
                    {"room.tansy", nullptr, "room"},
                    {"room.tansy", "", "room"}};
    for (auto& r : replaced)
        EXPECT_EQ(text(KuReplaceFileExtension(s(r.path), r.ext ? s(r.ext) : nullptr)), r.expected) << r.path;

    struct {
        const char* path;
        const char* suffix;
        const char* expected;
    } scaled[] = {{"hero.png", "_hd", "hero_hd.png"}, {"sprites/hero.png", "@2x", "sprites/hero@2x.png"},
                  {"noext", "_hd", "noext_hd"},       {"dir.v2/file", "_hd", "dir.v2/file_hd"},
                  {".hidden", "_hd", ".hidden_hd"},   {"a.b.c", "", "a.b.c"}};
    for (auto& r : scaled)
        EXPECT_EQ(text(KuScaledFilename(s(r.path), r.suffix)), r.expected) << r.path;

    KuString* path = s("hero.png");
    EXPECT_EQ(KuScaledFilename(path, nullptr), path);
}

TEST_F(PathTest, FileExistence) {
    TempFolder tmp;
    ASSERT_FALSE(tmp.path().empty());
    std::string file = tmp.write("a.txt", "x");
    EXPECT_TRUE(KuDoesFileExistAtPath(file.c_str()));
    EXPECT_TRUE(KuDoesFileExistAtPath(tmp.path().c_str()));  // folders count
    EXPECT_TRUE(KuDoesFileExistAtPath(KuString::stringWithString(file.c_str())));
    EXPECT_FALSE(KuDoesFileExistAtPath((tmp / "missing.txt").c_str()));
    EXPECT_FALSE(KuDoesFileExistAtPath(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(KuDoesFileExistAtPath(static_cast<const KuString*>(nullptr)));
    EXPECT_FALSE(KuDoesFileExistAtPath(""));
}

TEST_F(PathTest, DefaultResourceFolderIsTheExecutablesFolder) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    std::string folder(exe);
    folder = folder.substr(0, folder.rfind('/'));

    KuClearResourcePaths();
    KuArray<KuString*>* list = KuResourcePathArray();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(text(list->objectAtIndex(0)), folder);
}

TEST_F(PathTest, SearchListKeepsOneEntryPerFolderAndSearchesTheLastAddedFirst) {
    TempFolder tmp;
    std::string first = tmp / "first", second = tmp / "second";
    std::string inFirst = tmp.write("first/hero.png", "1");
    std::string inSecond = tmp.write("second/hero.png", "2");
    tmp.write("first/only.json", "{}");

    KuClearResourcePaths();
    KuAddResourcePath(first.c_str());
    KuAddResourcePath(KuString::stringWithString(second.c_str()));
    KuAddResourcePath(first.c_str());  // already listed: nothing changes
    KuArray<KuString*>* list = KuResourcePathArray();
    ASSERT_EQ(list->count(), 3);  // the two folders and the default folder
    EXPECT_EQ(text(list->objectAtIndex(0)), second);
    EXPECT_EQ(text(list->objectAtIndex(1)), first);

    EXPECT_EQ(text(KuPathForResource("hero", "png")), inSecond);
    EXPECT_EQ(text(KuPathForResource("hero.png", nullptr)), inSecond);
    EXPECT_EQ(text(KuPathForResource("only", "json")), tmp / "first/only.json");
    EXPECT_EQ(KuPathForResource("missing", "png"), nullptr);
    EXPECT_EQ(KuPathForResource(static_cast<const char*>(nullptr), "png"), nullptr);
    EXPECT_EQ(text(KuPathForResource(KuString::stringWithString("hero"), KuString::stringWithString("png"))),
              inSecond);

    // A candidate that exists as given wins over every folder.
    EXPECT_EQ(text(KuPathForResource(inFirst.c_str(), nullptr)), inFirst);
    std::string stem = inFirst.substr(0, inFirst.size() - 4);
    EXPECT_EQ(text(KuPathForResource(stem.c_str(), "png")), inFirst);
}

TEST_F(PathTest, EmptyFolderIsAddedOnceAndNeverSearchedAsRoot) {
    KuClearResourcePaths();
    KuAddResourcePath(static_cast<const char*>(nullptr));
    KuAddResourcePath("");
    KuAddResourcePath(static_cast<const KuString*>(nullptr));
    KuArray<KuString*>* list = KuResourcePathArray();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(text(list->objectAtIndex(0)), "");
    // "tmp" exists under "/", but the empty folder must not turn "tmp" into "/tmp".
    EXPECT_EQ(KuPathForResource("tmp", nullptr), nullptr);
}

}  // namespace
