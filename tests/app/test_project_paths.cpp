// Project folders from a room document's path, the start-up room choice and the recent list.
#include <string>
#include <vector>

#include "GameApp.h"
#include "GameScene.h"
#include "TestSupport.h"

namespace {

std::vector<std::string> searchList() {
    std::vector<std::string> out;
    KuArray<KuString*>* list = KuResourcePathArray();
    if (list)
        for (KuString* s : *list)
            out.push_back(s->c_str());
    return out;
}

// The list without the application's own folder, which always sits at the back.
std::vector<std::string> projectFolders() {
    std::vector<std::string> all = searchList();
    if (!all.empty()) all.pop_back();
    return all;
}

class ProjectPathsTest : public KuPoolTest {
protected:
    void SetUp() override {
        KuPoolTest::SetUp();
        KuClearResourcePaths();
    }
};

TEST_F(ProjectPathsTest, RoomInSubFolderAddsThatFoldersScriptsAndRooms) {
    GameApp::setSearchPaths(KuStrf("/Games/Quest/Tansy/Harbour/Dock.tansy"));
    EXPECT_EQ(projectFolders(), (std::vector<std::string>{
                                    "/Games/Quest/Templates/",
                                    "/Games/Quest/SpriteSheets/",
                                    "/Games/Quest/_SpriteSheets/",
                                    "/Games/Quest/Tansy/Harbour",
                                    "/Games/Quest/Scripts/Harbour",
                                }));
}

TEST_F(ProjectPathsTest, RoomDirectlyInTansyAddsScriptsRoomsAndTansy) {
    GameApp::setSearchPaths(KuStrf("/Games/Quest/Tansy/Dock.tansy"));
    EXPECT_EQ(projectFolders(), (std::vector<std::string>{
                                    "/Games/Quest/Templates/",
                                    "/Games/Quest/SpriteSheets/",
                                    "/Games/Quest/_SpriteSheets/",
                                    "/Games/Quest/Tansy/",
                                    "/Games/Quest/Scripts/Rooms",
                                    "/Games/Quest/Scripts/",
                                }));
}

TEST_F(ProjectPathsTest, LowerCaseTansyFolderIsARoomSubFolder) {
    GameApp::setSearchPaths(KuStrf("/Games/Quest/Tansy/tansy/Dock.tansy"));
    std::vector<std::string> folders = projectFolders();
    ASSERT_EQ(folders.size(), 5u);
    EXPECT_EQ(folders[3], "/Games/Quest/Tansy/tansy");
    EXPECT_EQ(folders[4], "/Games/Quest/Scripts/tansy");
}

TEST_F(ProjectPathsTest, NoDocumentUsesAnEmptyProjectFolder) {
    GameApp::setSearchPaths(nullptr);
    EXPECT_EQ(projectFolders(), (std::vector<std::string>{
                                    "/Templates/",
                                    "/SpriteSheets/",
                                    "/_SpriteSheets/",
                                    "/Tansy/",
                                    "/Scripts/",
                                }));
}

TEST_F(ProjectPathsTest, BackslashSeparatorsCountAsFolders) {
    GameApp::setSearchPaths(KuStrf("C:\\Games\\Quest\\Tansy\\Dock.tansy"));
    std::vector<std::string> folders = projectFolders();
    ASSERT_EQ(folders.size(), 6u);
    EXPECT_EQ(folders[0], "C:\\Games\\Quest/Templates/");
    EXPECT_EQ(folders[4], "C:\\Games\\Quest/Scripts/Rooms");
}

TEST_F(ProjectPathsTest, SecondRoomOfSameProjectAddsNothingTwice) {
    GameApp::setSearchPaths(KuStrf("/Games/Quest/Tansy/Harbour/Dock.tansy"));
    GameApp::setSearchPaths(KuStrf("/Games/Quest/Tansy/Harbour/Pier.tansy"));
    EXPECT_EQ(projectFolders().size(), 5u);

    // A room of another sub-folder adds only that sub-folder's two folders, in front.
    GameApp::setSearchPaths(KuStrf("/Games/Quest/Tansy/Town/Square.tansy"));
    std::vector<std::string> folders = projectFolders();
    ASSERT_EQ(folders.size(), 7u);
    EXPECT_EQ(folders[0], "/Games/Quest/Tansy/Town");
    EXPECT_EQ(folders[1], "/Games/Quest/Scripts/Town");
    EXPECT_EQ(folders[2], "/Games/Quest/Templates/");
}

TEST_F(ProjectPathsTest, AnotherProjectGoesInFrontOfTheFirst) {
    GameApp::setSearchPaths(KuStrf("/Games/Quest/Tansy/Dock.tansy"));
    GameApp::setSearchPaths(KuStrf("/Games/Other/Tansy/Cave/Entry.tansy"));
    std::vector<std::string> folders = projectFolders();
    ASSERT_EQ(folders.size(), 11u);
    EXPECT_EQ(folders[0], "/Games/Other/Templates/");
    EXPECT_EQ(folders[4], "/Games/Other/Scripts/Cave");
    EXPECT_EQ(folders[5], "/Games/Quest/Templates/");
    EXPECT_EQ(folders[10], "/Games/Quest/Scripts/");
}

TEST_F(ProjectPathsTest, FilesAreFoundInTheProjectFoldersTemplatesFirst) {
    TempFolder project;
    project.write("Templates/PROPNAME.yarrow", "template");
    project.write("SpriteSheets/room.json", "{}");
    project.write("Scripts/Harbour/Dock.yarrow", "script");
    std::string room = project.write("Tansy/Harbour/Dock.tansy", "name = Dock");

    GameApp::setSearchPaths(KuStrf("%s", room.c_str()));
    KuString* found = KuPathForResource("PROPNAME.yarrow", nullptr);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->c_str(), (project.path() + "/Templates//PROPNAME.yarrow").c_str());
    found = KuPathForResource("Dock", "yarrow");
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->c_str(), (project.path() + "/Scripts/Harbour/Dock.yarrow").c_str());
    EXPECT_NE(KuPathForResource("room.json", nullptr), nullptr);
    EXPECT_EQ(KuPathForResource("missing.json", nullptr), nullptr);
}

class RoomChoiceTest : public KuPoolTest {
protected:
    TempFolder folder;
    KuArray<KuObject*>* args(std::vector<std::string> values) {
        KuArray<KuObject*>* a = KuArray<KuObject*>::array();
        for (auto& v : values)
            a->addObject(KuStrf("%s", v.c_str()));
        return a;
    }
};

TEST_F(RoomChoiceTest, Cases) {
    std::string named = folder.write("Tansy/Named.tansy", "x");
    std::string last = folder.write("Tansy/Last.tansy", "x");
    std::string missing = folder / "Tansy/Missing.tansy";

    struct Row {
        std::vector<std::string> args;
        const char* lastRoom;  // null: preference unset
        const char* expected;  // null: no document
        bool forget;
    } rows[] = {
        {{named}, last.c_str(), named.c_str(), false},
        {{named, last}, nullptr, named.c_str(), false},
        {{missing}, last.c_str(), last.c_str(), false},
        {{}, last.c_str(), last.c_str(), false},
        {{missing}, missing.c_str(), nullptr, true},
        {{}, nullptr, nullptr, true},
        {{missing}, nullptr, nullptr, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "args " << row.args.size() << " last " << (row.lastRoom ? row.lastRoom : "(unset)"));
        bool forget = false;
        KuString* lastRoom = row.lastRoom ? KuStrf("%s", row.lastRoom) : nullptr;
        KuString* chosen = GameApp::chooseRoomDocument(args(row.args), lastRoom, &forget);
        if (row.expected) {
            ASSERT_NE(chosen, nullptr);
            EXPECT_STREQ(chosen->c_str(), row.expected);
        } else {
            EXPECT_EQ(chosen, nullptr);
        }
        EXPECT_EQ(forget, row.forget);
    }
}

TEST_F(RoomChoiceTest, FirstArgumentThatIsNotAStringIsNoCandidate) {
    std::string last = folder.write("Tansy/Last.tansy", "x");
    KuArray<KuObject*>* a = KuArray<KuObject*>::array();
    a->addObject(kKuNullObject);
    bool forget = true;
    KuString* chosen = GameApp::chooseRoomDocument(a, KuStrf("%s", last.c_str()), &forget);
    ASSERT_NE(chosen, nullptr);
    EXPECT_STREQ(chosen->c_str(), last.c_str());
    EXPECT_FALSE(forget);
}

class RecentRoomsTest : public KuPoolTest {
protected:
    void SetUp() override {
        KuPoolTest::SetUp();
        GameScene::setRecentRooms(nullptr);
    }
    void TearDown() override {
        GameScene::setRecentRooms(nullptr);
        KuPoolTest::TearDown();
    }
    std::vector<std::string> texts() {
        std::vector<std::string> out;
        for (KuObject* o : *GameScene::recentRooms())
            out.push_back(o->isString() ? static_cast<KuString*>(o)->c_str() : "<other>");
        return out;
    }
};

TEST_F(RecentRoomsTest, OpeningMovesARoomToTheFrontOnce) {
    struct Row {
        std::vector<const char*> opened;
        std::vector<std::string> expected;
    } rows[] = {
        {{"/p/A.tansy"}, {"/p/A.tansy"}},
        {{"/p/A.tansy", "/p/A.tansy"}, {"/p/A.tansy"}},
        {{"/p/A.tansy", "/p/B.tansy", "/p/A.tansy"}, {"/p/A.tansy", "/p/B.tansy"}},
        {{"/p/A.tansy", "/p/B.tansy", "/p/C.tansy"}, {"/p/C.tansy", "/p/B.tansy", "/p/A.tansy"}},
        // Byte comparison: a different case is a different room.
        {{"/p/a.tansy", "/p/A.tansy"}, {"/p/A.tansy", "/p/a.tansy"}},
    };
    for (const Row& row : rows) {
        GameScene::setRecentRooms(nullptr);
        for (const char* path : row.opened)
            GameScene::addRecentRoom(KuStrf("%s", path));
        EXPECT_EQ(texts(), row.expected);
    }
}

TEST_F(RecentRoomsTest, DuplicatesFromPreferencesAllGoAndOtherEntriesStay) {
    KuArray<KuObject*>* stored = KuArray<KuObject*>::array();
    stored->addObject(KuStrf("/p/B.tansy"));
    stored->addObject(KuStrf("/p/A.tansy"));
    stored->addObject(kKuNullObject);
    stored->addObject(KuStrf("/p/A.tansy"));
    GameScene::setRecentRooms(stored);
    GameScene::addRecentRoom(KuStrf("/p/A.tansy"));
    EXPECT_EQ(texts(), (std::vector<std::string>{"/p/A.tansy", "/p/B.tansy", "<other>"}));
}

TEST_F(RecentRoomsTest, ListKeepsItsOwnReferences) {
    KuString* path = KuString::newWithString("/p/A.tansy");
    GameScene::addRecentRoom(path);
    EXPECT_EQ(path->refCount, 2);
    KuRelease(path);
    KuAutoreleasePool::drainCurrentPool();
    EXPECT_EQ(texts(), (std::vector<std::string>{"/p/A.tansy"}));
}

}  // namespace
