// Preference stores: lazy loading, the equal-value rules of the setters, what the file holds,
// sync, enciphered stores and the two global stores in the library folder.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "ChildProcess.h"
#include "KuFile.h"
#include "KuJson.h"
#include "KuLog.h"
#include "KuUserPrefs.h"
#include "TestSupport.h"

namespace {

// What a stored value is: "int 3", "float 0.5", "string x", "point", "absent", ...
std::string storedKind(KuUserPrefs* prefs, const char* key) {
    KuObject* o = prefs->getObject(key);
    if (!o) return "absent";
    if (o->isString()) return std::string("string ") + static_cast<KuString*>(o)->c_str();
    if (o->kindCode() == kKuTypeNumber) {
        KuNumber* n = static_cast<KuNumber*>(o);
        return (n->kind == KuNumber::kFloat ? "float " : "int ") + std::string(n->toString()->c_str());
    }
    return o->typeStr();
}

class WarningCollector : public KuLogHooks {
public:
    int appReceivesWarning(const char*) override { return 1; }
};

class PrefsTest : public KuPoolTest {
protected:
    TempFolder folder;
    WarningCollector quiet;  // damaged files are reported by the reader; the tests expect them
    void SetUp() override {
        KuPoolTest::SetUp();
        KuSetLogHooks(&quiet);
    }
    void TearDown() override {
        KuSetLogHooks(nullptr);
        KuPoolTest::TearDown();
    }
    // A store on its own file, holding text when given.
    KuUserPrefs* storeWith(const std::string& name, const char* text) {
        std::string path = folder / name;
        if (text) folder.write(name, text);
        return KuAutorelease(new KuUserPrefs(S(path), true));
    }
};

TEST_F(PrefsTest, SettersChangeNothingWhenTheValueAlreadyReadsTheSame) {
    using Setter = std::function<void(KuUserPrefs*)>;
    const KuColor orange{1, 0.5f, 0, 1};
    struct Row {
        const char* file;  // the stored value is under "a"
        const char* what;
        Setter set;
        bool dirty;
        const char* stored;
    } rows[] = {
        {"a = 3", "same int", [](KuUserPrefs* p) { p->setInt("a", 3); }, false, "int 3"},
        {"a = 3", "other int", [](KuUserPrefs* p) { p->set("a", 4); }, true, "int 4"},
        {"a = \"3\"", "int read from text", [](KuUserPrefs* p) { p->setInt("a", 3); }, false, "string 3"},
        {"a = { b = 1 }", "int 0 over a dictionary", [](KuUserPrefs* p) { p->setInt("a", 0); }, true,
         "int 0"},
        {"z = 1", "int on absent key", [](KuUserPrefs* p) { p->setInt("a", 0); }, true, "int 0"},
        {"a = 0.5", "same float", [](KuUserPrefs* p) { p->setFloat("a", 0.5f); }, false, "float 0.5"},
        {"a = 0.5", "other float", [](KuUserPrefs* p) { p->setFloat("a", 0.25f); }, true, "float 0.25"},
        {"a = 2", "float equal to an int", [](KuUserPrefs* p) { p->setFloat("a", 2.0f); }, false, "int 2"},
        {"a = 1", "bool true over 1", [](KuUserPrefs* p) { p->setBool("a", true); }, false, "int 1"},
        {"a = 0", "bool false over 0", [](KuUserPrefs* p) { p->setBool("a", false); }, false, "int 0"},
        {"a = YES", "bool true over YES", [](KuUserPrefs* p) { p->setBool("a", true); }, false, "int 1"},
        {"a = 1", "bool false over 1", [](KuUserPrefs* p) { p->setBool("a", false); }, true, "int 0"},
        {"a = \"yes\"", "bool true over \"yes\"", [](KuUserPrefs* p) { p->setBool("a", true); }, true,
         "int 1"},
        {"z = 1", "bool false on absent key", [](KuUserPrefs* p) { p->setBool("a", false); }, true, "int 0"},
        {"a = \"x\"", "same string", [](KuUserPrefs* p) { p->setString("a", S("x")); }, false, "string x"},
        {"a = 5", "string equal to a number's text", [](KuUserPrefs* p) { p->setString("a", S("5")); }, false,
         "int 5"},
        {"a = \"x\"", "other string", [](KuUserPrefs* p) { p->setString("a", S("y")); }, true, "string y"},
        {"a = \"{1,0.5,0,1}\"", "same colour", [&](KuUserPrefs* p) { p->setColor("a", orange); }, false,
         "string {1,0.5,0,1}"},
        {"a = \"{1,0.5,0,0.5}\"", "other colour", [&](KuUserPrefs* p) { p->setColor("a", orange); }, true,
         "string {1,0.5,0,1}"},
        {"a = (1,2)", "same point",
         [](KuUserPrefs* p) {
             p->setPoint("a", KuPoint{1, 2});
         },
         true, "KuPointObject"},
    };
    int index = 0;
    for (const Row& row : rows) {
        KuUserPrefs* prefs = storeWith("equal" + std::to_string(index++) + ".json", row.file);
        ASSERT_EQ(prefs->_lazyInit(), 0);
        ASSERT_FALSE(prefs->dirty) << row.what;
        row.set(prefs);
        EXPECT_EQ(prefs->dirty, row.dirty) << row.what;
        EXPECT_EQ(storedKind(prefs, "a"), row.stored) << row.what;
    }
}

TEST_F(PrefsTest, SetIntTwiceWritesOnce) {
    std::string path = folder / "count.json";
    KuUserPrefs* prefs = storeWith("count.json", nullptr);
    EXPECT_EQ(prefs->getInt("a", 5), 5);  // loads: no file, so an empty dirty store
    EXPECT_TRUE(prefs->dirty);
    ASSERT_TRUE(prefs->sync(false));
    EXPECT_FALSE(prefs->dirty);
    prefs->setInt("a", 3);
    EXPECT_TRUE(prefs->dirty);
    prefs->setInt("a", 3);
    ASSERT_TRUE(prefs->sync(false));
    std::filesystem::remove(path);
    EXPECT_FALSE(prefs->sync(false));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(prefs->sync(true));
    EXPECT_EQ(readFile(path), KuJson::stringFromDict(prefs->dict)->c_str());

    KuUserPrefs* reread = storeWith("count.json", nullptr);
    EXPECT_EQ(reread->getInt("a", 0), 3);
    EXPECT_FALSE(reread->dirty);
}

TEST_F(PrefsTest, FileShowsTheStoredRepresentations) {
    std::string path = folder / "shown.json";
    KuUserPrefs* prefs = storeWith("shown.json", nullptr);
    prefs->setBool("b", true);
    prefs->setColor("c", KuColor{1, 0.5f, 0, 1});
    prefs->setPoint("p", KuPoint{3, -4});
    prefs->setFloat("f", 1.5f);
    KuArray<KuString*>* recent = KuArray<KuString*>::array();
    recent->addObject(S("/rooms/a.tansy"));
    prefs->setStringArray("recent", recent);
    ASSERT_TRUE(prefs->sync());
    std::string text = readFile(path);
    EXPECT_EQ(text, KuJson::stringFromDict(prefs->dict)->c_str());
    EXPECT_NE(text.find("\"{1,0.5,0,1}\""), std::string::npos) << text;
    EXPECT_NE(text.find("(3,-4)"), std::string::npos) << text;
    EXPECT_NE(text.find("/rooms/a.tansy"), std::string::npos) << text;

    KuUserPrefs* back = storeWith("shown.json", nullptr);
    EXPECT_TRUE(back->getBool("b", false));
    EXPECT_EQ(storedKind(back, "b"), "int 1");
    EXPECT_EQ(back->getColor("c", KuColor{}), (KuColor{1, 0.5f, 0, 1}));
    EXPECT_EQ(back->getPoint("p", KuPoint{}), (KuPoint{3, -4}));
    EXPECT_EQ(back->getFloat("f", 0), 1.5f);
    ASSERT_NE(back->getStringArray("recent"), nullptr);
    EXPECT_STREQ(back->getStringArray("recent")->objectAtIndex(0)->c_str(), "/rooms/a.tansy");
}

TEST_F(PrefsTest, BooleansReadByTheirIntegerValue) {
    struct Row {
        const char* file;
        bool expected;
    } rows[] = {{"b: YES", true}, {"b: NO", false},   {"b: \"yes\"", false},
                {"b: 7", true},   {"b: \"2\"", true}, {"c: 1", true}};  // absent: the fallback
    int index = 0;
    for (const Row& row : rows) {
        KuUserPrefs* prefs = storeWith("bool" + std::to_string(index++) + ".json", row.file);
        EXPECT_EQ(prefs->getBool("b", true), row.expected) << row.file;
    }
}

TEST_F(PrefsTest, RemovalRules) {
    struct Row {
        const char* what;
        std::function<KuObject*(KuUserPrefs*)> call;
        bool dirtyWhenAbsent;
    } rows[] = {
        {"setObject null", [](KuUserPrefs* p) { return p->setObject("k", nullptr); }, true},
        {"setString null", [](KuUserPrefs* p) { return static_cast<KuObject*>(p->setString("k", nullptr)); },
         true},
        {"setStringArray null",
         [](KuUserPrefs* p) { return static_cast<KuObject*>(p->setStringArray("k", nullptr)); }, true},
        {"setDictionary null",
         [](KuUserPrefs* p) { return static_cast<KuObject*>(p->setDictionary("k", nullptr)); }, false},
        {"setData null", [](KuUserPrefs* p) { return static_cast<KuObject*>(p->setData("k", nullptr)); },
         false},
        {"remove",
         [](KuUserPrefs* p) {
             p->remove("k");
             return static_cast<KuObject*>(nullptr);
         },
         false},
    };
    int index = 0;
    for (const Row& row : rows) {
        KuUserPrefs* absent = storeWith("absent" + std::to_string(index) + ".json", "other = 1");
        EXPECT_EQ(row.call(absent), nullptr) << row.what;
        EXPECT_EQ(absent->dirty, row.dirtyWhenAbsent) << row.what;
        KuUserPrefs* present = storeWith("present" + std::to_string(index++) + ".json", "k = 1\nother = 1");
        EXPECT_EQ(row.call(present), nullptr) << row.what;
        EXPECT_TRUE(present->dirty) << row.what;
        EXPECT_FALSE(present->contains("k")) << row.what;
        EXPECT_TRUE(present->contains("other")) << row.what;
    }
}

TEST_F(PrefsTest, StringArraysMustHoldOnlyStrings) {
    KuUserPrefs* prefs = storeWith("arrays.json", "mixed = [\"a\", 2]\nwords = [\"a\", \"b\"]\nnumber = 4");
    EXPECT_EQ(prefs->getStringArray("mixed"), nullptr);
    EXPECT_EQ(prefs->getStringArray("number"), nullptr);
    ASSERT_NE(prefs->getStringArray("words"), nullptr);
    EXPECT_EQ(prefs->getStringArray("words")->count(), 2);

    KuArray<KuString*>* bad = KuArray<KuString*>::array();
    bad->addObject(S("fine"));
    reinterpret_cast<KuArray<KuObject*>*>(bad)->addObject(_KuNewNumber(12345));
    EXPECT_EQ(prefs->setStringArray("new", bad), nullptr);
    EXPECT_FALSE(prefs->contains("new"));
    EXPECT_FALSE(prefs->dirty);

    KuArray<KuString*>* good = KuArray<KuString*>::array();
    good->addObject(S("x"));
    EXPECT_EQ(prefs->setStringArray("new", good), good);
    EXPECT_EQ(prefs->getStringArray("new"), good);  // stored itself, not a copy
    EXPECT_TRUE(prefs->dirty);
}

TEST_F(PrefsTest, TypedQueriesAndStoredObjects) {
    KuUserPrefs* prefs = storeWith("typed.json", "n = 4\ns = \"four\"\nf = 2.5");
    struct Row {
        const char* key;
        bool number, string;
        const char* text;  // getCString, null when absent
    } rows[] = {{"n", true, false, "4"},
                {"s", false, true, "four"},
                {"f", true, false, "2.5"},
                {"x", false, false, nullptr}};
    for (const Row& row : rows) {
        EXPECT_EQ(prefs->isNumber(row.key), row.number) << row.key;
        EXPECT_EQ(prefs->isString(row.key), row.string) << row.key;
        const char* text = prefs->getCString(row.key);
        if (row.text) {
            ASSERT_NE(text, nullptr) << row.key;
            EXPECT_STREQ(text, row.text);
        } else {
            EXPECT_EQ(text, nullptr) << row.key;
        }
    }
    KuDictionary* d = KuDictionary::dictionary();
    KuData* data = KuData::dataWithBytes("xyz", 3);
    EXPECT_EQ(prefs->setDictionary("d", d), d);
    EXPECT_EQ(prefs->setData("data", data), data);
    EXPECT_EQ(prefs->getDictionary("d"), d);
    EXPECT_EQ(prefs->getData("data"), data);
    EXPECT_EQ(prefs->getDictionary("n", d), d);  // wrong type: the fallback
    EXPECT_EQ(prefs->get("missing", S("fb"))->c_str(), std::string("fb"));
    // A null or empty key is the empty key.
    prefs->setInt(static_cast<const char*>(nullptr), 8);
    EXPECT_EQ(prefs->getInt("", 0), 8);
    EXPECT_EQ(prefs->get(static_cast<KuString*>(nullptr), 0), 8);
    EXPECT_STREQ(prefs->typeStr(), "KuUserPrefs");
}

TEST_F(PrefsTest, DamagedFileIsReplacedByAnEmptyStoreAtTheNextSync) {
    std::string path = folder.write("damaged.json", "a: 1\nb");
    KuUserPrefs* prefs = storeWith("damaged.json", nullptr);
    EXPECT_EQ(prefs->getInt("a", 9), 9);
    EXPECT_TRUE(prefs->dirty);
    ASSERT_TRUE(prefs->sync(false));
    KuDictionary* empty = KuDictionary::dictionary();
    EXPECT_EQ(readFile(path), KuJson::stringFromDict(empty)->c_str());
}

TEST_F(PrefsTest, FailedWriteKeepsTheStoreDirtyForTheNextSync) {
    std::string sub = folder / "later";
    KuUserPrefs* prefs = KuAutorelease(new KuUserPrefs(S(sub + "/prefs.json"), true));
    prefs->setInt("a", 1);
    EXPECT_FALSE(prefs->sync(false));
    EXPECT_TRUE(prefs->dirty);
    std::filesystem::create_directory(sub);
    EXPECT_TRUE(prefs->sync(false));
    EXPECT_FALSE(prefs->dirty);
    EXPECT_EQ(KuLoadDictionaryFromFile(S(sub + "/prefs.json"))->intForKey("a", 0), 1);
}

TEST_F(PrefsTest, EncipheredStoresNeedTheirKey) {
    std::string path = folder / "secret.dat";
    unsigned char ownKey[16] = {5, 4, 3, 2, 1, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    struct Row {
        const char* what;
        const unsigned char* writeKey;
        const unsigned char* readKey;
        bool readsBack;
    } rows[] = {
        {"selector 1", reinterpret_cast<const unsigned char*>(1), reinterpret_cast<const unsigned char*>(1),
         true},
        {"selector 2", reinterpret_cast<const unsigned char*>(2), reinterpret_cast<const unsigned char*>(2),
         true},
        {"own key", ownKey, ownKey, true},
        {"selector 1 read with 2", reinterpret_cast<const unsigned char*>(1),
         reinterpret_cast<const unsigned char*>(2), false},
        {"own key read with selector 1", ownKey, reinterpret_cast<const unsigned char*>(1), false},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(path);
        KuUserPrefs* writer = KuAutorelease(new KuUserPrefs(S(path), true));
        writer->setKey(row.writeKey);
        writer->setString("seed", S("ABCDEFGHIJ"));
        ASSERT_TRUE(writer->sync()) << row.what;
        std::string onDisk = readFile(path);
        EXPECT_EQ(onDisk.size() % 8, 0u) << row.what;
        EXPECT_EQ(onDisk.find("ABCDEFGHIJ"), std::string::npos) << row.what;

        KuUserPrefs* reader = KuAutorelease(new KuUserPrefs(S(path), true));
        reader->setKey(row.readKey);
        KuString* seed = reader->getString("seed");
        EXPECT_EQ(seed != nullptr, row.readsBack) << row.what;
        EXPECT_EQ(reader->dirty, !row.readsBack) << row.what;
    }
    // The store keeps its own copy of the key.
    KuUserPrefs* writer = KuAutorelease(new KuUserPrefs(S(path), true));
    unsigned char scratch[16];
    memcpy(scratch, ownKey, 16);
    writer->setKey(scratch);
    memset(scratch, 0, 16);
    writer->recreateEmpty();
    writer->setInt("v", 2);
    ASSERT_TRUE(writer->sync());
    KuUserPrefs* reader = KuAutorelease(new KuUserPrefs(S(path), true));
    reader->setKey(ownKey);
    EXPECT_EQ(reader->getInt("v", 0), 2);
}

TEST_F(PrefsTest, InitFromDataReplacesTheContents) {
    KuUserPrefs* prefs = storeWith("data.json", "old = 1");
    const char text[] = "fresh = 2";
    unsigned char* bytes = static_cast<unsigned char*>(malloc(sizeof text - 1));
    memcpy(bytes, text, sizeof text - 1);
    EXPECT_EQ(prefs->initFromData(bytes, sizeof text - 1), 0);
    EXPECT_FALSE(prefs->dirty);
    EXPECT_EQ(prefs->getInt("fresh", 0), 2);
    EXPECT_FALSE(prefs->contains("old"));
    EXPECT_EQ(prefs->initFromData(nullptr, 3), -1);
    unsigned char* junk = static_cast<unsigned char*>(malloc(3));
    memcpy(junk, "[1]", 3);
    EXPECT_EQ(prefs->initFromData(junk, 3), -1);
    EXPECT_EQ(prefs->getInt("fresh", 0), 2);
    EXPECT_STREQ(prefs->asString()->c_str(), KuJson::stringFromDict(prefs->dict)->c_str());
}

// The global stores live in the library folder, so each run needs a fresh process.
TEST_F(PrefsTest, GlobalStoresWaitForTheLibraryFolderThenLoadLazily) {
    TempFolder root;
    std::string library = root.path() + "/Mossbank/Tansy/";
    root.write("Mossbank/Tansy/Save.dat", "slot = 4");
    ChildOutcome child = runInChild([&] {
        printf("early %d %d %d %d|", defaultPrefs->getInt("x", 5), defaultPrefs->setInt("x", 6),
               defaultPrefs->contains("x") ? 1 : 0, defaultPrefs->sync(true) ? 1 : 0);
        setenv("XDG_DATA_HOME", root.path().c_str(), 1);
        KuSetCompanyAndProjectName(S("Mossbank"), S("Tansy"));
        int x = defaultPrefs->getInt("x", 5);
        printf("late %d %d %s|", x, defaultPrefs->dirty ? 1 : 0, defaultPrefs->path->c_str());
        defaultPrefs->setInt("booted", 1234);
        bool first = defaultPrefs->sync(false);
        bool second = defaultPrefs->sync(false);
        printf("synced %d %d|", first ? 1 : 0, second ? 1 : 0);
        printf("private %d %d", privatePrefs->getInt("slot", 0), privatePrefs->dirty ? 1 : 0);
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_EQ(child.output, "early 5 6 0 0|late 5 1 " + library + "/Prefs.json|synced 1 0|private 4 0");
    KuDictionary* written = KuLoadDictionaryFromFile(S(library + "Prefs.json"));
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->intForKey("booted", 0), 1234);
    EXPECT_FALSE(written->containsKey("x"));
    EXPECT_STREQ(default_prefs_filename->c_str(), "Prefs.json");
    EXPECT_STREQ(private_prefs_filename->c_str(), "Save.dat");
}

}  // namespace
