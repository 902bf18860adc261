// Saving never loses a document: a save that fails or is killed at any step leaves either the
// whole old file or the whole new one; permissions and symbolic links survive a save.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "KuFile.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

// A room-like document of about n bytes, each line naming its number so that a torn or shifted
// write cannot pass for a whole document.
std::string document(const char* tag, size_t n) {
    std::string text;
    for (int line = 0; text.size() < n; line++)
        text += std::string(tag) + " line " + std::to_string(line) + " = (1,2)\n";
    return text;
}

std::vector<std::string> stepsSeen;
int failAtStep = -1;  // index of the step that fails or is killed; -1 for none
bool killAtFailure = false;

bool stepHook(const char* step) {
    int index = static_cast<int>(stepsSeen.size());
    stepsSeen.emplace_back(step);
    if (index != failAtStep) return true;
    if (killAtFailure) raise(SIGKILL);
    return false;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

class SaveTest : public KuPoolTest {
protected:
    TempFolder folder;
    void SetUp() override {
        KuPoolTest::SetUp();
        stepsSeen.clear();
        failAtStep = -1;
        killAtFailure = false;
    }
    void TearDown() override {
        KuSetSaveStepHook(nullptr);
        KuPoolTest::TearDown();
    }
};

const std::string oldDocument = document("old", 100 * 1024);
const std::string newDocument = document("new", 150 * 1024);  // three chunked writes

TEST_F(SaveTest, StepsAreCreateWritesSyncCloseRenameAndFolderSync) {
    std::string path = folder.write("room.tansy", oldDocument);
    KuSetSaveStepHook(stepHook);
    ASSERT_TRUE(KuSaveBytesToFile(S(path), newDocument.data(), static_cast<int>(newDocument.size())));
    EXPECT_EQ(stepsSeen, (std::vector<std::string>{"create", "write", "write", "write", "sync", "close",
                                                   "rename", "syncfolder"}));
    EXPECT_EQ(readFile(path), newDocument);
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"room.tansy"});
}

TEST_F(SaveTest, FailureAtAnyStepLeavesTheOldFileAndNoTemporary) {
    std::string path = folder / "room.tansy";
    const int steps = 8;
    for (int k = 0; k < steps; k++) {
        folder.write("room.tansy", oldDocument);
        stepsSeen.clear();
        failAtStep = k;
        KuSetSaveStepHook(stepHook);
        bool saved = KuSaveBytesToFile(S(path), newDocument.data(), static_cast<int>(newDocument.size()));
        KuSetSaveStepHook(nullptr);
        ASSERT_GT(static_cast<int>(stepsSeen.size()), k);
        const std::string& step = stepsSeen[static_cast<size_t>(k)];
        EXPECT_FALSE(saved) << "failed at " << step;
        // Only the folder sync comes after the rename: the new file is in place, unconfirmed.
        const std::string& expected = step == "syncfolder" ? newDocument : oldDocument;
        EXPECT_TRUE(readFile(path) == expected) << "failed at step " << k << " (" << step << ")";
        EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"room.tansy"}) << step;
    }
}

TEST_F(SaveTest, KillAtAnyStepLeavesTheWholeOldOrTheWholeNewFile) {
    std::string path = folder / "room.tansy";
    const std::vector<std::string> steps = {"create", "write", "write",  "write",
                                            "sync",   "close", "rename", "syncfolder"};
    for (int k = 0; k <= static_cast<int>(steps.size()); k++) {
        folder.write("room.tansy", oldDocument);
        ChildOutcome child = runInChild([&] {
            failAtStep = k;
            killAtFailure = true;
            KuSetSaveStepHook(stepHook);
            bool saved = KuSaveBytesToFile(S(path), newDocument.data(), static_cast<int>(newDocument.size()));
            printf("saved %d", saved ? 1 : 0);
        });
        std::string content = readFile(path);
        if (k < static_cast<int>(steps.size())) {
            EXPECT_EQ(child.signal, SIGKILL) << "step " << k << " " << child.output;
            // Killed before the rename: the old document; at the folder sync: the new one.
            const std::string& expected =
                steps[static_cast<size_t>(k)] == "syncfolder" ? newDocument : oldDocument;
            EXPECT_TRUE(content == expected) << "killed at " << steps[static_cast<size_t>(k)] << ", "
                                             << content.size() << " bytes on disk";
        } else {
            EXPECT_TRUE(child.exited) << child.output;
            EXPECT_EQ(child.output, "saved 1");
            EXPECT_TRUE(content == newDocument);
        }
        // A killed writer may leave its hidden temporary behind; the document itself is never torn.
        for (const std::string& name : folderEntries(folder.path()))
            if (name != "room.tansy") std::filesystem::remove(folder / name);
    }
}

TEST_F(SaveTest, KeepsTheTargetsPermissions) {
    mode_t mask = umask(0);
    umask(mask);
    struct Row {
        mode_t before;  // 0: no file yet
        mode_t after;
    } rows[] = {{0640, 0640}, {0604, 0604}, {0755, 0755}, {0444, 0444}, {0, 0666 & ~mask}};
    for (const Row& row : rows) {
        std::string path = folder / ("perm" + std::to_string(row.before));
        if (row.before) {
            folder.write("perm" + std::to_string(row.before), "old");
            ASSERT_EQ(chmod(path.c_str(), row.before), 0);
        }
        ASSERT_TRUE(KuSaveBytesToFile(S(path), "new", 3)) << std::oct << row.before;
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, row.after) << std::oct << row.before;
        EXPECT_EQ(readFile(path), "new");
    }
}

TEST_F(SaveTest, WritesThroughSymbolicLinks) {
    std::string real = folder.write("real/room.tansy", "old");
    folder.write("links/.keep", "");
    struct Row {
        const char* link;
        std::string destination;
    } rows[] = {
        {"links/absolute.tansy", real},
        {"links/relative.tansy", "../real/room.tansy"},
        {"links/chain.tansy", "absolute.tansy"},
    };
    for (const Row& row : rows)
        std::filesystem::create_symlink(row.destination, folder / row.link);
    for (const Row& row : rows) {
        std::string text = std::string("through ") + row.link;
        ASSERT_TRUE(KuSaveStringToFile(S(folder / row.link), S(text))) << row.link;
        EXPECT_TRUE(std::filesystem::is_symlink(folder / row.link)) << row.link;
        EXPECT_EQ(std::filesystem::read_symlink(folder / row.link).string(), row.destination) << row.link;
        EXPECT_EQ(readFile(real), text) << row.link;
    }
    // A link whose target does not exist yet: the target is created, the link kept.
    std::filesystem::create_symlink("fresh.tansy", folder / "real/dangling.tansy");
    ASSERT_TRUE(KuSaveStringToFile(S(folder / "real/dangling.tansy"), S("made")));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "real/dangling.tansy"));
    EXPECT_EQ(readFile(folder / "real/fresh.tansy"), "made");
    // A loop cannot be followed: nothing is written.
    std::filesystem::create_symlink("loop2", folder / "real/loop1");
    std::filesystem::create_symlink("loop1", folder / "real/loop2");
    EXPECT_FALSE(KuSaveStringToFile(S(folder / "real/loop1"), S("x")));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "real/loop1"));
}

TEST_F(SaveTest, AFolderAtThePathIsNotReplaced) {
    std::string inside = folder.write("room.tansy/keep.txt", "kept");
    EXPECT_FALSE(KuSaveStringToFile(S(folder / "room.tansy"), S("text")));
    EXPECT_EQ(readFile(inside), "kept");
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"room.tansy"});
}

}  // namespace
