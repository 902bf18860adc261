// Reading and writing files, dictionary files, the library folder, versions and platform queries.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "KuFile.h"
#include "KuJson.h"
#include "KuLog.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

std::string bytesOf(KuData* data) {
    if (!data) return "<null>";
    return std::string(reinterpret_cast<const char*>(data->bytes), static_cast<size_t>(data->length));
}

// Takes every warning so that the test can check its text; nothing is printed.
class WarningCollector : public KuLogHooks {
public:
    std::vector<std::string> warnings;
    int appReceivesWarning(const char* m) override {
        warnings.emplace_back(m);
        return 1;
    }
};

class FileTest : public KuPoolTest {
protected:
    WarningCollector collector;
    TempFolder folder;
    void SetUp() override {
        KuPoolTest::SetUp();
        KuSetLogHooks(&collector);
    }
    void TearDown() override {
        KuSetLogHooks(nullptr);
        KuPoolTest::TearDown();
    }
    std::string lastWarning() const { return collector.warnings.empty() ? "" : collector.warnings.back(); }
};

TEST_F(FileTest, ReadsWholeFilesAndRanges) {
    std::string path = folder.write("digits.txt", "0123456789");
    struct Row {
        uint64_t offset;
        int size;
        const char* expected;  // null: the read fails
        const char* warning;   // expected warning, "" for none
    } rows[] = {
        {0, -1, "0123456789", ""},
        {2, 3, "234", ""},
        {0, 10, "0123456789", ""},
        {0, 0, "", ""},
        {7, -1, "789", ""},  // a negative size reads the rest
        {8, 5, nullptr, "KuLoadDataFromFile(%s) wanted 5 bytes, got 2 bytes."},
        {20, 1, nullptr, "KuLoadDataFromFile(%s) wanted 1 bytes, got 0 bytes."},
    };
    for (const Row& row : rows) {
        collector.warnings.clear();
        KuData* data = KuLoadDataFromFile(S(path), nullptr, row.offset, row.size, 0);
        std::string where = std::to_string(row.offset) + "/" + std::to_string(row.size);
        if (row.expected) {
            ASSERT_NE(data, nullptr) << where;
            EXPECT_EQ(bytesOf(data), row.expected) << where;
        } else {
            EXPECT_EQ(data, nullptr) << where;
        }
        std::string warning = row.warning;
        size_t mark = warning.find("%s");
        if (mark != std::string::npos) warning.replace(mark, 2, path);
        EXPECT_EQ(lastWarning(), warning) << where;
    }
}

TEST_F(FileTest, MissingFilesWarnAndGiveNothing) {
    std::string path = folder / "absent.txt";
    EXPECT_EQ(KuLoadDataFromFile(S(path)), nullptr);
    EXPECT_EQ(lastWarning(), "Can't open file '" + path + "'");
    EXPECT_EQ(KuLoadFileAsString(S(path)), nullptr);
    KuArray<KuString*>* lines = KuLoadFileAsStringArray(S(path));
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(lines->count(), 0);
    EXPECT_EQ(KuLoadDataFromFile(nullptr), nullptr);
    EXPECT_EQ(KuLoadDictionaryFromFile(S(path)), nullptr);
}

TEST_F(FileTest, KeptHandlesServeLaterReadsFromTheStart) {
    std::string path = folder.write("kept.bin", "abcdefgh");
    EXPECT_EQ(bytesOf(KuLoadDataFromFile(S(path), nullptr, 5, 2, kKuFileKeepOpen)), "fg");
    // The kept handle sits after "g" now; a whole read still starts at the beginning.
    EXPECT_EQ(bytesOf(KuLoadDataFromFile(S(path), nullptr, 0, -1, kKuFileKeepOpen)), "abcdefgh");
    // A save replaces the file: the kept handle follows the name to the new file.
    ASSERT_TRUE(KuSaveStringToFile(S(path), S("ABCDEFGH")));
    EXPECT_EQ(bytesOf(KuLoadDataFromFile(S(path), nullptr, 2, 3, kKuFileKeepOpen)), "CDE");
    // The handle stays open, so the bytes remain readable through it after the name is gone.
    std::filesystem::remove(path);
    EXPECT_EQ(bytesOf(KuLoadDataFromFile(S(path), nullptr, 1, 3, kKuFileKeepOpen)), "BCD");
    EXPECT_EQ(KuLoadDataFromFile(S(path)), nullptr);
    EXPECT_EQ(lastWarning(), "Can't open file '" + path + "'");
}

TEST_F(FileTest, TextReadsStopAtNulAndSplitLines) {
    std::string withNul = folder.write("nul.txt", std::string("ab\0cd", 5));
    KuString* text = KuLoadFileAsString(S(withNul));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->c_str(), "ab");
    EXPECT_STREQ(KuString::stringWithFile(S(withNul))->c_str(), "ab");

    std::string lines = folder.write("lines.txt", "one\r\ntwo\n\nthree");
    KuArray<KuString*>* array = KuLoadFileAsStringArray(S(lines));
    std::vector<std::string> got;
    for (KuString* s : *array)
        got.emplace_back(s->c_str());
    EXPECT_EQ(got, (std::vector<std::string>{"one", "two", "", "three"}));
}

TEST_F(FileTest, ExtensionFormReplacesTheExtensionBeforeReading) {
    folder.write("doc.bin", "hello");
    std::string asked = folder / "doc.txt";
    EXPECT_EQ(bytesOf(KuLoadDataFromFile(S(asked), S(".bin"), 0, static_cast<uint64_t>(-1))), "hello");
    EXPECT_EQ(bytesOf(KuLoadDataFromFile(S(asked), S(".bin"), 1, 3)), "ell");
}

TEST_F(FileTest, PlainHandlesOpenSeekAndRead) {
    std::string path = folder.write("handle.bin", "0123456789");
    unsigned size = 0;
    FILE* f = KuFileOpen(S(path), &size);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(size, 10u);
    char buffer[8] = {};
    unsigned count = 0;
    EXPECT_EQ(KuFileSeek(f, 6), 0);
    EXPECT_EQ(KuFileRead(f, buffer, 8, &count), 0);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(buffer, count), "6789");
    KuFileClose(f);

    EXPECT_EQ(KuFileOpen((folder / "none").c_str(), &size), nullptr);
    EXPECT_EQ(KuFileSeek(nullptr, 0), -1);
    EXPECT_EQ(KuFileRead(nullptr, buffer, 1, &count), -1);
    KuFileClose(nullptr);
}

TEST_F(FileTest, SavesReplaceAndAppendsExtend) {
    std::string path = folder / "out.txt";
    EXPECT_TRUE(KuSaveBytesToFile(S(path), "a longer first text", 19));
    EXPECT_TRUE(KuSaveStringToFile(S(path), S("short")));
    EXPECT_EQ(readFile(path), "short");
    EXPECT_TRUE(S("via string")->saveToFile(S(path)));
    EXPECT_EQ(readFile(path), "via string");
    EXPECT_TRUE(KuSaveDataToFile(S(path), KuData::dataWithBytes("\0\1\2", 3)));
    EXPECT_EQ(readFile(path), std::string("\0\1\2", 3));
    EXPECT_TRUE(KuSaveBytesToFile(S(path), "", 0));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);

    std::string log = folder / "log.txt";
    EXPECT_TRUE(KuAppendFileBytes(S(log), "one", 3));
    EXPECT_TRUE(KuAppendFileBytes(S(log), KuData::dataWithBytes("-two", 4)));
    EXPECT_TRUE(KuAppendFileBytes(S(log), S("-three")));
    EXPECT_TRUE(S("-four")->appendToFile(S(log)));
    EXPECT_EQ(readFile(log), "one-two-three-four");
}

TEST_F(FileTest, WritesRefuseMissingArgumentsAndMissingFolders) {
    std::string nowhere = folder / "no/such/folder/file.txt";
    struct Row {
        const char* what;
        bool result;
    } rows[] = {
        {"save null path", KuSaveBytesToFile(nullptr, "x", 1)},
        {"save null bytes", KuSaveBytesToFile(S(folder / "a"), nullptr, 1)},
        {"save negative length", KuSaveBytesToFile(S(folder / "a"), "x", -1)},
        {"save null string", KuSaveStringToFile(S(folder / "a"), nullptr)},
        {"save null data", KuSaveDataToFile(S(folder / "a"), nullptr)},
        {"save null dictionary", KuSaveDictionaryToFile(S(folder / "a"), nullptr)},
        {"save into missing folder", KuSaveBytesToFile(S(nowhere), "x", 1)},
        {"append null path", KuAppendFileBytes(nullptr, "x", 1)},
        {"append null bytes", KuAppendFileBytes(S(folder / "a"), static_cast<const char*>(nullptr), 1)},
        {"append into missing folder", KuAppendFileBytes(S(nowhere), "x", 1)},
    };
    for (const Row& row : rows)
        EXPECT_FALSE(row.result) << row.what;
    EXPECT_FALSE(std::filesystem::exists(folder / "a"));
    EXPECT_FALSE(std::filesystem::exists(folder / "no"));
}

TEST_F(FileTest, DictionaryFilesRoundTripAsTextBinaryAndEnciphered) {
    KuDictionary* dict = KuDictionary::dictionary();
    dict->addKeyString(S("name"), S("Harbour"));
    dict->addKeyInt(S("count"), 3);
    dict->addKeyFloat(S("scale"), 0.5f);
    KuDictionary* inner = KuDictionary::dictionary();
    inner->addKeyPoint(S("pos"), KuPoint{4, -2});
    dict->addKeyDictionary(S("inner"), inner);
    const unsigned char key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    unsigned char wrongKey[16];
    memcpy(wrongKey, key, 16);
    wrongKey[15] ^= 0x80;

    struct Row {
        const char* what;
        const unsigned char* key;
        bool binary;
    } rows[] = {{"text", nullptr, false},
                {"binary", nullptr, true},
                {"text key", key, false},
                {"binary key", key, true}};
    for (const Row& row : rows) {
        std::string path = folder / (std::string(row.what) + ".dat");
        ASSERT_TRUE(KuSaveDictionaryToFile(S(path), dict, row.key, row.binary)) << row.what;
        std::string onDisk = readFile(path);
        if (!row.key && !row.binary) {
            EXPECT_EQ(onDisk, KuJson::stringFromDict(dict)->c_str()) << row.what;
        }
        if (!row.key && row.binary) {
            EXPECT_EQ(onDisk.substr(0, 4), std::string("\1\2\3\4", 4)) << row.what;
        }
        if (row.key) {
            EXPECT_EQ(onDisk.size() % 8, 0u) << row.what;
            EXPECT_EQ(onDisk.find("Harbour"), std::string::npos) << row.what;
            EXPECT_EQ(KuLoadDictionaryFromFile(S(path), wrongKey), nullptr) << row.what;
        }
        KuDictionary* back = KuLoadDictionaryFromFile(S(path), row.key);
        ASSERT_NE(back, nullptr) << row.what;
        EXPECT_STREQ(back->stringForKey("name")->c_str(), "Harbour") << row.what;
        EXPECT_EQ(back->intForKey("count", 0), 3) << row.what;
        EXPECT_EQ(back->floatForKey("scale", 0), 0.5f) << row.what;
        ASSERT_NE(back->dictionaryForKey("inner"), nullptr) << row.what;
        EXPECT_EQ(back->dictionaryForKey("inner")->pointForKey("pos", KuPoint{}), (KuPoint{4, -2}))
            << row.what;
    }
}

TEST_F(FileTest, DictionaryFilesThatDoNotHoldADictionaryGiveNothing) {
    struct Row {
        const char* name;
        std::string content;
    } rows[] = {{"empty", ""}, {"array", "[1, 2, 3]"}, {"broken", "a: 1\nb"}};
    for (const Row& row : rows) {
        std::string path = folder.write(row.name, row.content);
        EXPECT_EQ(KuLoadDictionaryFromFile(S(path)), nullptr) << row.name;
    }
}

TEST_F(FileTest, DictionaryFromDataTakesTheBufferAndHonoursTheKey) {
    const char text[] = "size = 7\nname = door";
    unsigned char* plain = static_cast<unsigned char*>(malloc(sizeof text - 1));
    memcpy(plain, text, sizeof text - 1);
    KuDictionary* dict = KuLoadDictionaryFromData(plain, sizeof text - 1, nullptr);
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(dict->intForKey("size", 0), 7);

    const unsigned char key[16] = {9, 9, 9, 9, 8, 8, 8, 8, 7, 7, 7, 7, 6, 6, 6, 6};
    unsigned char* sealed = nullptr;
    int length = 0;
    ASSERT_TRUE(KuCryptoBTEAEncrypt(reinterpret_cast<const unsigned char*>(text), sizeof text - 1, sealed,
                                    length, key));
    unsigned char* copy = static_cast<unsigned char*>(malloc(static_cast<size_t>(length)));
    memcpy(copy, sealed, static_cast<size_t>(length));
    KuDictionary* opened = KuLoadDictionaryFromData(sealed, length, key);
    ASSERT_NE(opened, nullptr);
    EXPECT_STREQ(opened->stringForKey("name")->c_str(), "door");
    unsigned char otherKey[16] = {};
    EXPECT_EQ(KuLoadDictionaryFromData(copy, length, otherKey), nullptr);  // taken over and freed too
    EXPECT_EQ(KuLoadDictionaryFromData(nullptr, 4, nullptr), nullptr);
}

TEST_F(FileTest, RemovesFilesLinksAndFolders) {
    std::string file = folder.write("gone.txt", "x");
    std::string tree = folder.write("tree/a/b.txt", "y");
    std::string target = folder.write("target.txt", "kept");
    std::string link = folder / "link.txt";
    std::filesystem::create_symlink(target, link);

    EXPECT_TRUE(KuRemoveFileAtPath(S(file)));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(KuRemoveFileAtPath(S(folder / "tree")));
    EXPECT_FALSE(std::filesystem::exists(folder / "tree"));
    EXPECT_TRUE(KuRemoveFileAtPath(S(link)));
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), "kept");
    EXPECT_FALSE(KuRemoveFileAtPath(S(folder / "never")));
    EXPECT_FALSE(KuRemoveFileAtPath(nullptr));
}

TEST_F(FileTest, LibraryFolderComesFromTheCompanyAndProject) {
    TempFolder root;
    ChildOutcome child = runInChild([&] {
        printf("before %s\n", KuPathForLibrary() ? "set" : "null");
        setenv("XDG_DATA_HOME", root.path().c_str(), 1);
        KuSetCompanyAndProjectName(S("Mossbank"), S("Tansy"));
        KuString* first = KuPathForLibrary();
        KuString* second = KuPathForLibrary();
        printf("library %s\n", first->c_str());
        printf("copies %s\n", first != second && first != KuLibraryFolder() ? "distinct" : "shared");
        printf("same %d%d%d\n", KuStreq(KuPathForCache(), first),
               KuStreq(KuPathForLibraryAndCreate(S("x")), first),
               KuStreq(KuPathForCacheAndCreate(nullptr), first));
        // A folder that cannot be made leaves the earlier one in place.
        std::string blocker = root / "blocker";
        std::ofstream(blocker) << "a file, not a folder";
        setenv("XDG_DATA_HOME", blocker.c_str(), 1);
        KuSetCompanyAndProjectName(S("Mossbank"), S("Other"));
        printf("after failure %s\n", KuPathForLibrary()->c_str());
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 0);
    std::string expected = root.path() + "/Mossbank/Tansy/";
    EXPECT_EQ(child.output, "before null\nlibrary " + expected +
                                "\ncopies distinct\nsame 111\nafter failure " + expected + "\n");
    EXPECT_TRUE(std::filesystem::is_directory(expected));
}

TEST_F(FileTest, BuildVersionAndNumber) {
    ChildOutcome child = runInChild([] {
        printf("%s %d|", KuBuildVersion()->c_str(), KuBuildNumber());
        KuString* made = KuBuildVersion(2, 0, 1);
        printf("%s %s %d|", made->c_str(), KuBuildVersion()->c_str(), KuBuildNumber());
        KuBuildNumber(77);
        printf("%d|", KuBuildNumber());
        KuString* negative = KuBuildVersion(10, 12, -3);
        printf("%s %d", negative->c_str(), KuBuildNumber());
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.output, "0.0.0 0|2.0.1 2.0.1 1|77|10.12.-3 -3");
}

// The identifier is made on the first call of the process, so that call runs in a fresh child.
TEST_F(FileTest, DeviceIdentifierIsMadeOnceAndCanBeReplaced) {
    ChildOutcome child = runInChild([] {
        std::string first = KuDeviceIdentifier()->c_str();
        KuAutoreleasePool::drainCurrentPool();  // the kept identifier must not depend on the pool
        printf("%s %s|", first.c_str(), KuDeviceIdentifier()->c_str());
        KuDeviceIdentifier(S("SEEDFROMSTORE"));
        KuAutoreleasePool::drainCurrentPool();
        printf("%s", KuDeviceIdentifier()->c_str());
    });
    ASSERT_TRUE(child.exited);
    std::string first = child.output.substr(0, 20);
    EXPECT_EQ(first.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << child.output;
    EXPECT_EQ(child.output, first + " " + first + "|SEEDFROMSTORE");
}

TEST_F(FileTest, EnvironmentVariables) {
    setenv("TANSY_TEST_SET", "value 1", 1);
    setenv("TANSY_TEST_EMPTY", "", 1);
    unsetenv("TANSY_TEST_UNSET");
    EXPECT_STREQ(KuGetEnvVariable(S("TANSY_TEST_SET"))->c_str(), "value 1");
    EXPECT_EQ(KuGetEnvVariable(S("TANSY_TEST_EMPTY")), KUSTR_EMPTY);
    EXPECT_EQ(KuGetEnvVariable(S("TANSY_TEST_UNSET")), nullptr);
    EXPECT_EQ(KuGetEnvVariable(nullptr), nullptr);
    unsetenv("TANSY_TEST_SET");
    unsetenv("TANSY_TEST_EMPTY");
}

TEST_F(FileTest, SystemLanguageFollowsTheUsersLocale) {
    struct Row {
        const char* lang;  // null: unset
        const char* expected;
    } rows[] = {{"fr_CA.UTF-8", "fr-CA"}, {"de", "de"}, {nullptr, ""}};
    ChildOutcome child = runInChild([&] {
        unsetenv("LANGUAGE");
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        for (const Row& row : rows) {
            if (row.lang)
                setenv("LANG", row.lang, 1);
            else
                unsetenv("LANG");
            KuString* language = KuGetSystemLanguage();
            printf("[%s]", language ? language->c_str() : "null");
        }
    });
    std::string expected;
    for (const Row& row : rows)
        expected += std::string("[") + row.expected + "]";
    EXPECT_EQ(child.output, expected);
}

}  // namespace
