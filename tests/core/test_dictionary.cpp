// KuDictionary: key order, replacement and removal with their reference counts, the reader's
// unsearched appends, copies, every typed getter and adder, and the description texts.
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "KuDictionary.h"
#include "TestSupport.h"

namespace {

class Tracked : public KuObject {
public:
    Tracked(int id, std::vector<int>* log) : id(id), log(log) {}
    ~Tracked() override {
        if (log) log->push_back(id);
    }
    int id;
    std::vector<int>* log;
};

KuNumber* I(int v) {
    return KuAutorelease(new KuNumber(v));
}
KuNumber* F(float v) {
    return KuAutorelease(new KuNumber(v));
}
KuString* NullText() {
    return KuAutorelease(new KuString(static_cast<const char*>(nullptr)));
}

std::vector<std::string> keysOf(const KuDictionary* d) {
    std::vector<std::string> keys;
    for (KuString* key : *d)
        keys.emplace_back(key->cstr, static_cast<size_t>(key->length));
    return keys;
}

// A dictionary with the single entry "k" (none when value is null).
KuDictionary* one(KuObject* value) {
    KuDictionary* d = KuDictionary::dictionary();
    if (value) d->addKeyObject("k", value);
    return d;
}

class DictionaryTest : public KuPoolTest {};

// ---- order, replacement, removal

enum class AddWay { Searched, SearchedText, Appended, Adopted };
const char* wayName(AddWay way) {
    switch (way) {
    case AddWay::Searched:
        return "addKeyObject";
    case AddWay::SearchedText:
        return "addKeyObject(text)";
    case AddWay::Appended:
        return "appendKeyObject";
    case AddWay::Adopted:
        return "addKeyObjectAdopting";
    }
    return "";
}

// Adds key -> value; the caller keeps (and later releases) its own references to both.
void add(KuDictionary* d, AddWay way, KuString* key, KuObject* value) {
    switch (way) {
    case AddWay::Searched:
        d->addKeyObject(key, value);
        break;
    case AddWay::SearchedText:
        d->addKeyObject(key->c_str(), value);
        break;
    case AddWay::Appended:
        d->appendKeyObject(key, value);
        break;
    case AddWay::Adopted:
        KuRetain(key);
        KuRetain(value);
        d->addKeyObjectAdopting(key, value);
        break;
    }
}

const AddWay kAllWays[] = {AddWay::Searched, AddWay::SearchedText, AddWay::Appended, AddWay::Adopted};

TEST_F(DictionaryTest, IteratesInAscendingUnsignedByteOrderWhateverTheArrivalOrder) {
    const std::vector<std::string> sorted = {"", "B", "Z", "a", "a b", "ab", "b", "\xc3\xa9"};
    std::mt19937 random(3);
    for (AddWay way : kAllWays) {
        for (int shuffle = 0; shuffle < 4; shuffle++) {
            std::vector<std::string> arrival = sorted;
            if (shuffle == 1) std::reverse(arrival.begin(), arrival.end());
            if (shuffle >= 2) std::shuffle(arrival.begin(), arrival.end(), random);
            SCOPED_TRACE(testing::Message() << wayName(way) << " shuffle " << shuffle);
            KuDictionary* d = KuDictionary::dictionary();
            for (const std::string& k : arrival)
                add(d, way, S(k.c_str()), S(("v" + k).c_str()));
            EXPECT_EQ(keysOf(d), sorted);
            for (int i = 0; i < d->count(); i++)
                EXPECT_EQ("v" + sorted[static_cast<size_t>(i)],
                          d->valueAtIndex(i) ? static_cast<KuString*>(d->valueAtIndex(i))->c_str() : "");
            EXPECT_EQ(d->keyAtIndex(-1), nullptr);
            EXPECT_EQ(d->keyAtIndex(d->count()), nullptr);
        }
    }
}

TEST_F(DictionaryTest, AnEqualKeyTextReplacesAndReleasesTheOldKeyAndValue) {
    for (AddWay way : kAllWays) {
        SCOPED_TRACE(wayName(way));
        std::vector<int> destroyed;
        KuString* oldKey = new KuString("k");
        KuString* newKey = new KuString("k");
        auto* oldValue = new Tracked(1, &destroyed);
        auto* newValue = new Tracked(2, &destroyed);
        KuDictionary* d = KuDictionary::newDictionary();
        add(d, way, oldKey, oldValue);
        add(d, way, newKey, newValue);
        EXPECT_EQ(d->count(), 1);
        EXPECT_EQ(d->objectForKey("k"), newValue);
        EXPECT_EQ(oldKey->refCount, 1) << "the dictionary gave the old key back";
        EXPECT_EQ(oldValue->refCount, 1);
        EXPECT_EQ(newValue->refCount, 2);
        if (way != AddWay::SearchedText) {
            EXPECT_EQ(d->keyAtIndex(0), newKey);
            EXPECT_EQ(newKey->refCount, 2);
        }
        KuRelease(d);
        for (KuObject* o : {static_cast<KuObject*>(oldKey), static_cast<KuObject*>(newKey),
                            static_cast<KuObject*>(oldValue), static_cast<KuObject*>(newValue)})
            KuRelease(o);
        EXPECT_EQ(destroyed.size(), 2u);
    }
}

TEST_F(DictionaryTest, SearchedAddsReplaceAtOnceAndUnsearchedOnesOnTheNextRead) {
    std::vector<int> destroyed;
    KuDictionary* d = KuDictionary::newDictionary();
    d->addKeyObject(S("k"), new Tracked(1, &destroyed), true);
    d->addKeyObject(S("k"), new Tracked(2, &destroyed), true);
    EXPECT_EQ(destroyed, std::vector<int>{1}) << "addKeyObject releases the replaced value at once";

    d->appendKeyObject(S("k"), new Tracked(3, &destroyed), true);
    EXPECT_EQ(destroyed, std::vector<int>{1}) << "an unsearched append waits for a read";
    EXPECT_TRUE(d->containsKey("k"));
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2})) << "the later addition wins";
    EXPECT_EQ(static_cast<Tracked*>(d->objectForKey("k"))->id, 3);
    KuRelease(d);
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
}

TEST_F(DictionaryTest, ReAddingTheSamePairKeepsTheCounts) {
    KuString* key = new KuString("k");
    auto* value = new Tracked(1, nullptr);
    KuDictionary* d = KuDictionary::newDictionary();
    d->addKeyObject(key, value);
    d->addKeyObject(key, value);
    EXPECT_EQ(key->refCount, 2);
    EXPECT_EQ(value->refCount, 2);
    KuRelease(d);
    KuRelease(key);
    KuRelease(value);
}

TEST_F(DictionaryTest, UnsearchedAppendsMatchAModelWhereTheLaterDuplicateWins) {
    std::mt19937 random(11);
    for (int adds : {0, 1, 7, 40, 600}) {
        SCOPED_TRACE(testing::Message() << adds << " adds");
        std::vector<int> destroyed;
        std::map<std::string, int> model;
        KuDictionary* d = KuDictionary::newDictionary();
        int keySpace = adds / 2 + 1;  // plenty of duplicates
        for (int i = 0; i < adds; i++) {
            std::string key = "key" + std::to_string(random() % static_cast<unsigned>(keySpace));
            model[key] = i;
            d->addKeyObjectAdopting(new KuString(key.c_str()), new Tracked(i, &destroyed));
            // Reads in the middle settle what arrived so far; later arrivals merge into it.
            if (i == adds / 3) {
                EXPECT_EQ(d->count(), static_cast<int>(model.size()));
            }
        }
        EXPECT_EQ(d->count(), static_cast<int>(model.size()));
        EXPECT_EQ(destroyed.size(), static_cast<size_t>(adds) - model.size()) << "every loser released";
        std::vector<std::string> expectedKeys;
        for (const auto& entry : model) {
            expectedKeys.push_back(entry.first);
            auto* v = static_cast<Tracked*>(d->objectForKey(entry.first.c_str()));
            ASSERT_NE(v, nullptr) << entry.first;
            EXPECT_EQ(v->id, entry.second) << entry.first;
        }
        EXPECT_EQ(keysOf(d), expectedKeys);
        EXPECT_EQ(d->objectForKey("key"), nullptr);
        EXPECT_EQ(d->objectForKey("key00"), nullptr);
        KuRelease(d);
        EXPECT_EQ(destroyed.size(), static_cast<size_t>(adds));
    }
}

TEST_F(DictionaryTest, NullKeysAndValuesAddNothing) {
    std::vector<int> destroyed;
    KuDictionary* d = KuDictionary::newDictionary();
    auto* value = new Tracked(1, &destroyed);
    EXPECT_EQ(d->addKeyObject(static_cast<KuString*>(nullptr), value), nullptr);
    EXPECT_EQ(d->addKeyObject(static_cast<const char*>(nullptr), value), nullptr);
    EXPECT_EQ(d->addKeyObject(S("k"), nullptr), nullptr);
    d->appendKeyObject(nullptr, value);
    EXPECT_EQ(value->refCount, 1);
    EXPECT_EQ(d->count(), 0);

    // Ownership handed over with nothing stored is given back rather than leaked.
    d->addKeyObject(static_cast<KuString*>(nullptr), new Tracked(2, &destroyed), true);
    d->addKeyObjectAdopting(nullptr, new Tracked(3, &destroyed));
    d->addKeyObjectAdopting(new KuString("k"), nullptr);
    EXPECT_EQ(destroyed, (std::vector<int>{2, 3}));
    EXPECT_EQ(d->count(), 0);
    KuRelease(value);
    KuRelease(d);
}

TEST_F(DictionaryTest, DictionaryWithArgsStopsAtTheNullKeyAndSkipsNullValues) {
    KuDictionary* d = KuDictionary::dictionaryWithArgs(S("a"), S("1"), S("b"), nullptr, S("c"), I(3), nullptr,
                                                       S("d"), S("never"));
    EXPECT_EQ(keysOf(d), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(d->intForKey("c", 0), 3);
    EXPECT_EQ(KuAutoreleasePool::currentPool()->poolCount(d), 1);
}

TEST_F(DictionaryTest, LookupByTextOrStringAndRemoval) {
    std::vector<int> destroyed;
    KuDictionary* d = KuDictionary::newDictionary();
    d->addKeyObject(S("a"), new Tracked(1, &destroyed), true);
    d->addKeyObject(S("b"), new Tracked(2, &destroyed), true);
    KuObject* fallback = kKuNullObject;
    EXPECT_EQ(static_cast<Tracked*>(d->objectForKey(S("a")))->id, 1);
    EXPECT_EQ(static_cast<Tracked*>(d->objectForKey("b"))->id, 2);
    EXPECT_EQ(d->objectForKey("c", fallback), fallback);
    EXPECT_EQ(d->objectForKey(static_cast<const char*>(nullptr), fallback), fallback);
    EXPECT_EQ(d->objectForKey(static_cast<KuString*>(nullptr), fallback), fallback);
    // A key object that is not a string is not looked up.
    EXPECT_EQ(d->objectForKey(reinterpret_cast<KuString*>(I(1)), fallback), fallback);
    EXPECT_TRUE(d->containsKey(S("a")));
    EXPECT_FALSE(d->containsKey(S("A")));
    EXPECT_FALSE(d->containsKey(static_cast<KuString*>(nullptr)));

    d->removeObjectForKey(S("zzz"));
    d->removeObjectForKey(static_cast<const char*>(nullptr));
    EXPECT_EQ(d->count(), 2);
    d->removeObjectForKey(S("a"));
    EXPECT_EQ(destroyed, std::vector<int>{1}) << "released at once";
    EXPECT_EQ(keysOf(d), std::vector<std::string>{"b"});
    d->removeObjectForKey("b");
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2}));
    d->addKeyObject(S("c"), new Tracked(3, &destroyed), true);
    d->removeAllObjects();
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(d->count(), 0);
    KuRelease(d);
}

// ---- copies

// {"arr": [number], "sub": {"k": "v"}} with every piece also held by the fixture.
struct Nested {
    KuNumber* number = new KuNumber(1000);
    KuString* k = new KuString("k");
    KuString* v = new KuString("v");
    KuString* arrKey = new KuString("arr");
    KuString* subKey = new KuString("sub");
    KuArray<KuObject*>* arr = KuArray<KuObject*>::newArray();
    KuDictionary* sub = KuDictionary::newDictionary();
    KuDictionary* root = KuDictionary::newDictionary();
    Nested() {
        arr->addObject(number);
        sub->addKeyObject(k, v);
        root->addKeyObject(arrKey, arr);
        root->addKeyObject(subKey, sub);
    }
    std::vector<KuObject*> all() const { return {number, k, v, arrKey, subKey, arr, sub}; }
    std::vector<int> counts() const {
        std::vector<int> out;
        for (KuObject* o : all())
            out.push_back(o->refCount);
        return out;
    }
    ~Nested() {
        KuRelease(root);
        for (KuObject* o : all())
            KuRelease(o);
    }
};

TEST_F(DictionaryTest, ACopyOwnsExactlyWhatItHolds) {
    struct Row {
        const char* name;
        std::function<KuDictionary*(const KuDictionary*)> copy;  // an owned copy
    } rows[] = {
        {"dictionaryWithDictionary",
         [](const KuDictionary* src) {
             KuDictionary* c = KuDictionary::dictionaryWithDictionary(src);
             EXPECT_EQ(KuAutoreleasePool::currentPool()->poolCount(c), 1);
             KuRetain(c);
             return c;
         }},
        {"initWithDictionary",
         [](const KuDictionary* src) {
             KuDictionary* c = KuDictionary::newDictionary();
             c->addKeyObject(S("old"), S("gone"));
             c->initWithDictionary(src);
             return c;
         }},
        {"assignment",
         [](const KuDictionary* src) {
             KuDictionary* c = KuDictionary::newDictionary();
             *c = *src;
             return c;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Nested n;
        KuAutoreleasePool::drainCurrentPool();
        const std::vector<int> before = n.counts();
        KuDictionary* copy = row.copy(n.root);
        EXPECT_EQ(keysOf(copy), (std::vector<std::string>{"arr", "sub"}));
        EXPECT_EQ(copy->objectForKey("arr"), n.arr);
        EXPECT_EQ(copy->objectForKey("sub"), n.sub);
        EXPECT_EQ(n.arr->refCount, before[5] + 1);
        EXPECT_EQ(n.arrKey->refCount, before[3] + 1);
        EXPECT_EQ(n.number->refCount, before[0]) << "nested objects gain nothing";
        EXPECT_EQ(n.v->refCount, before[2]);
        KuAutoreleasePool::drainCurrentPool();
        KuRelease(copy);
        EXPECT_EQ(n.counts(), before);
    }
}

TEST_F(DictionaryTest, CopyingFromItselfFromNullOrFromADictionaryItHolds) {
    KuDictionary* d = KuDictionary::newDictionary();
    d->addKeyObject(S("a"), S("1"));
    d->initWithDictionary(d);
    *d = *d;
    EXPECT_EQ(keysOf(d), std::vector<std::string>{"a"});

    KuDictionary* holder = KuDictionary::newDictionary();
    holder->addKeyObject(S("inner"), d, true);  // holder has the only reference to d
    holder->initWithDictionary(d);
    EXPECT_EQ(keysOf(holder), std::vector<std::string>{"a"});
    holder->initWithDictionary(nullptr);
    EXPECT_EQ(holder->count(), 0);
    KuRelease(holder);
}

TEST_F(DictionaryTest, RetainAllObjectsReachesEveryKeyValueAndNestedObjectWhenCalled) {
    Nested n;
    const std::vector<int> before = n.counts();
    n.root->retainAllObjects();
    std::vector<int> after = n.counts();
    for (size_t i = 0; i < after.size(); i++)
        EXPECT_EQ(after[i], before[i] + 1) << "object " << i;
    for (KuObject* o : n.all())
        KuRelease(o);
}

// ---- getters

struct ColorRow {
    KuObject* value;
    KuColor expected;
};

void expectColor(KuColor got, KuColor want) {
    EXPECT_NEAR(got.red, want.red, 1e-6);
    EXPECT_NEAR(got.green, want.green, 1e-6);
    EXPECT_NEAR(got.blue, want.blue, 1e-6);
    EXPECT_NEAR(got.alpha, want.alpha, 1e-6);
}

// Runs a getter through both key forms and checks they agree (value results only).
template <typename Get>
auto both(KuObject* value, Get get) {
    KuDictionary* d = one(value);
    auto byText = get(d, "k");
    auto byString = get(d, S("k"));
    EXPECT_TRUE(std::memcmp(&byText, &byString, sizeof byText) == 0) << "both key forms agree";
    return byText;
}

TEST_F(DictionaryTest, IntUnsignedFloatAndTimeGetters) {
    KuObject* dict = KuDictionary::dictionary();
    struct IntRow {
        KuObject* value;
        int expected;  // fallback 5
    } ints[] = {
        {I(12), 12},
        {F(2.9f), 2},
        {F(-2.9f), -2},
        {S("12"), 12},
        {S("x"), 0},
        {S(" 7 apples"), 7},
        {NullText(), 0},
        {dict, 5},
        {kKuNullObject, 5},
        {nullptr, 5},
        {KuPointObject::pointWithPoint({3, 4}), 5},
    };
    for (const IntRow& row : ints) {
        SCOPED_TRACE(row.value ? row.value->toString()->c_str() : "missing");
        EXPECT_EQ(both(row.value, [](KuDictionary* d, auto key) { return d->intForKey(key, 5); }),
                  row.expected);
    }

    struct UnsignedRow {
        KuObject* value;
        unsigned expected;  // fallback 9
    } unsigneds[] = {
        {S("4000000000"), 4000000000u}, {I(-1), 0xFFFFFFFFu}, {I(7), 7u}, {dict, 9u}, {nullptr, 9u}};
    for (const UnsignedRow& row : unsigneds)
        EXPECT_EQ(both(row.value, [](KuDictionary* d, auto key) { return d->unsignedIntForKey(key, 9); }),
                  row.expected);

    struct FloatRow {
        KuObject* value;
        float expected;  // fallback 7.5
    } floats[] = {{I(3), 3.0f},      {S("2.5"), 2.5f}, {S("x"), 0},
                  {F(0.25f), 0.25f}, {dict, 7.5f},     {nullptr, 7.5f}};
    for (const FloatRow& row : floats)
        EXPECT_FLOAT_EQ(both(row.value, [](KuDictionary* d, auto key) { return d->floatForKey(key, 7.5f); }),
                        row.expected);

    const long big = 1L << 40;
    struct TimeRow {
        KuObject* value;
        long expected;  // fallback 2^40
    } times[] = {{I(5), 5}, {I(-1), 4294967295L}, {S("123"), 123}, {dict, big}, {nullptr, big}};
    for (const TimeRow& row : times)
        EXPECT_EQ(both(row.value, [big](KuDictionary* d, auto key) { return d->timeForKey(key, big); }),
                  row.expected);
}

TEST_F(DictionaryTest, NumberGettersSubstituteSymbols) {
    KuDictionary* symbols = KuDictionary::dictionary();
    symbols->addKeyObject("DIR_BACK", _KuNewNumber(8));
    symbols->addKeyObject("SEVEN", S("7"));
    symbols->addKeyObject("HALF", F(0.5f));
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyObject("usedir", S("DIR_BACK"));
    d->addKeyObject("s", S("SEVEN"));
    d->addKeyObject("h", S("HALF"));
    d->addKeyObject("plain", S("12"));
    d->addKeyObject("unknown", S("NOPE"));
    d->addKeyObject("number", I(4));
    EXPECT_EQ(d->intForKey("usedir", -1), 0) << "without symbols the text itself is read";
    int before = symbols->refCount;
    d->symbolDict(symbols);
    EXPECT_EQ(symbols->refCount, before + 1);
    EXPECT_EQ(d->symbolDict(), symbols);

    struct Row {
        const char* key;
        int asInt;
        unsigned asUnsigned;
        float asFloat;
    } rows[] = {
        {"usedir", 8, 8, 8},   {"s", 7, 7, 7},       {"h", 0, 0, 0.5f},
        {"plain", 12, 12, 12}, {"unknown", 0, 0, 0}, {"number", 4, 4, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(d->intForKey(row.key, -1), row.asInt);
        EXPECT_EQ(d->unsignedIntForKey(row.key, 99), row.asUnsigned);
        EXPECT_FLOAT_EQ(d->floatForKey(row.key, -1), row.asFloat);
    }
    EXPECT_EQ(d->stringForKey("usedir"), d->objectForKey("usedir")) << "only the number getters substitute";
}

TEST_F(DictionaryTest, BoolGetter) {
    KuObject* dict = KuDictionary::dictionary();
    struct Row {
        KuObject* value;
        bool fallback;
        bool expected;
    } rows[] = {
        {S("TRUE"), false, true}, {S("true"), false, true},  {S("YES"), false, true},
        {S("yes"), false, true},  {S("FALSE"), true, false}, {S("false"), true, false},
        {S("NO"), true, false},   {S("no"), true, false},    {S("Yes"), true, false},
        {S("True"), true, false}, {S("1"), false, true},     {S("0"), true, false},
        {S("2"), false, true},    {I(2), false, true},       {I(0), true, false},
        {F(0.5f), true, false},   {NullText(), true, false}, {dict, true, true},
        {dict, false, false},     {nullptr, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value ? row.value->toString()->c_str() : "missing");
        bool fallback = row.fallback;
        EXPECT_EQ(
            both(row.value, [fallback](KuDictionary* d, auto key) { return d->boolForKey(key, fallback); }),
            row.expected);
    }
}

TEST_F(DictionaryTest, PercentGetter) {
    struct Row {
        KuObject* value;
        float expected;  // fallback 9
    } rows[] = {
        {S("50%"), 0.5f},
        {S("12.5%"), 0.125f},
        {S("30"), 30},
        {S("%"), 0},
        {F(0.25f), 0.25f},
        {I(2), 2},
        {KuDictionary::dictionary(), 0},  // present but not a number or text: 0, not the fallback
        {nullptr, 9},
    };
    for (const Row& row : rows)
        EXPECT_FLOAT_EQ(both(row.value, [](KuDictionary* d, auto key) { return d->percentForKey(key, 9); }),
                        row.expected);
}

TEST_F(DictionaryTest, StringGetterGivesTextsAndNumberTexts) {
    KuString* text = S("abc");
    KuString* fallback = S("fallback");
    struct Row {
        KuObject* value;
        const char* expected;
    } rows[] = {{text, "abc"},
                {I(12), "12"},
                {I(-3), "-3"},
                {F(2.5f), "2.5"},
                {F(1e-7f), "1e-07"},
                {F(100000.0f), "100000"},
                {KuDictionary::dictionary(), "fallback"},
                {nullptr, "fallback"}};
    for (const Row& row : rows) {
        KuDictionary* d = one(row.value);
        for (KuString* got : {d->stringForKey("k", fallback), d->stringForKey(S("k"), fallback)}) {
            ASSERT_NE(got, nullptr);
            EXPECT_STREQ(got->c_str(), row.expected);
        }
    }
    EXPECT_EQ(one(text)->stringForKey("k"), text) << "a string value is returned itself";
}

TEST_F(DictionaryTest, PointAndRectGetters) {
    const KuPoint pf{-1, -1};
    struct PointRow {
        KuObject* value;
        KuPoint expected;
    } points[] = {
        {KuPointObject::pointWithPoint({1.5f, 2}), {1.5f, 2}},
        {S("(1,2)"), {1, 2}},
        {S("{3,4.5}"), {3, 4.5f}},
        {S("junk"), pf},
        {I(3), pf},
        {nullptr, pf},
    };
    for (const PointRow& row : points) {
        KuPoint got = both(row.value, [pf](KuDictionary* d, auto key) { return d->pointForKey(key, pf); });
        EXPECT_EQ(got, row.expected) << (row.value ? row.value->toString()->c_str() : "missing");
    }

    const KuRect rf{{-1, -1}, {-2, -2}};
    const KuRect zero{};
    struct RectRow {
        KuObject* value;
        KuRect expected;
    } rects[] = {
        {KuRectObject::rectWithRect({{1, 2}, {3, 4}}), {{1, 2}, {3, 4}}},
        {S("((1,2),(3,4.5))"), {{1, 2}, {3, 4.5f}}},
        {S("{{5,6},{7,8}}"), {{5, 6}, {7, 8}}},
        {S("(1,2)"), zero},  // readable as a point, not as a rectangle: zero, not the fallback
        {S("junk"), zero},
        {NullText(), zero},
        {I(1), rf},
        {nullptr, rf},
    };
    for (const RectRow& row : rects) {
        KuRect got = both(row.value, [rf](KuDictionary* d, auto key) { return d->rectForKey(key, rf); });
        EXPECT_TRUE(got == row.expected)
            << (row.value ? row.value->toString()->c_str() : "missing") << " gave (" << got.first.x << ","
            << got.first.y << "),(" << got.second.x << "," << got.second.y << ")";
    }
}

TEST_F(DictionaryTest, ColorGetter) {
    const KuColor fb{0.1f, 0.2f, 0.3f, 0.4f};
    const KuColor black{0, 0, 0, 1};
    ColorRow rows[] = {
        {S("#FF8000"), {1, 128 / 255.0f, 0, 1}},
        {S("#0000ff"), {0, 0, 1, 1}},
        {S("{1,0,0,0.5}"), {1, 0, 0, 0.5f}},
        {S("red"), black},
        {S("#zz"), black},
        {S("{1,0,0}"), black},
        {NullText(), black},
        {I(static_cast<int>(0x80FF0000u)), {1, 0, 0, 128 / 255.0f}},
        {I(0x00010203), {1 / 255.0f, 2 / 255.0f, 3 / 255.0f, 0}},
        {KuDictionary::dictionary(), fb},
        {nullptr, fb},
    };
    for (const ColorRow& row : rows) {
        SCOPED_TRACE(row.value ? row.value->toString()->c_str() : "missing");
        expectColor(both(row.value, [fb](KuDictionary* d, auto key) { return d->colorForKey(key, fb); }),
                    row.expected);
    }
}

TEST_F(DictionaryTest, TypedObjectGettersCheckTheTypeCodeOnly) {
    KuDictionary* dict = KuDictionary::dictionary();
    KuArray<KuObject*>* numbers = KuArray<KuObject*>::array();
    numbers->addObject(_KuNewNumber(1));  // not strings, not points: the array getters do not look
    KuData* data = KuData::dataWithBytes("x", 1);
    KuString* text = S("t");
    auto* fbDict = KuDictionary::dictionary();
    auto* fbStrings = KuArray<KuString*>::array();
    auto* fbPoints = KuArray<KuPointObject*>::array();
    auto* fbData = KuData::dataWithBytes("y", 1);
    struct Row {
        KuObject* value;
        KuObject* dictionary;
        KuObject* strings;
        KuObject* points;
        KuObject* bytes;
    } rows[] = {
        {dict, dict, fbStrings, fbPoints, fbData},      {numbers, fbDict, numbers, numbers, fbData},
        {data, fbDict, fbStrings, fbPoints, data},      {text, fbDict, fbStrings, fbPoints, fbData},
        {nullptr, fbDict, fbStrings, fbPoints, fbData},
    };
    for (const Row& row : rows) {
        KuDictionary* d = one(row.value);
        EXPECT_EQ(d->dictionaryForKey("k", fbDict), row.dictionary);
        EXPECT_EQ(d->dictionaryForKey(S("k"), fbDict), row.dictionary);
        EXPECT_EQ(d->stringArrayForKey("k", fbStrings), row.strings);
        EXPECT_EQ(d->stringArrayForKey(S("k"), fbStrings), row.strings);
        EXPECT_EQ(d->pointArrayForKey("k", fbPoints), row.points);
        EXPECT_EQ(d->pointArrayForKey(S("k"), fbPoints), row.points);
        EXPECT_EQ(d->dataForKey("k", fbData), row.bytes);
        EXPECT_EQ(d->dataForKey(S("k"), fbData), row.bytes);
    }
}

TEST_F(DictionaryTest, PointSizeAndRectValuesFromXYWH) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyObject("x", I(1));
    d->addKeyObject("y", S("2"));
    d->addKeyObject("w", I(3));
    d->addKeyObject("h", F(4.9f));  // read as an int
    EXPECT_EQ(d->pointValue({9, 9}), (KuPoint{1, 2}));
    EXPECT_EQ(d->sizeValue(), (KuPoint{3, 4}));
    EXPECT_TRUE(d->rectValue() == (KuRect{{1, 2}, {4, 6}}));
    EXPECT_EQ(KuDictionary::dictionary()->pointValue({9, 9}), (KuPoint{0, 0}));
}

// ---- typed adders

TEST_F(DictionaryTest, NumberAddersStoreNewUnsharedNumbers) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyInt(S("i"), 1);
    d->addKeyUnsignedInt(S("u"), 0xFFFFFFFFu);
    d->addKeyTime(S("t"), 0x100000005L);
    d->addKeyFloat(S("f"), 2.0f);
    d->addKeyInt(nullptr, 3);
    struct Row {
        const char* key;
        bool isInt;
        int intValue;
    } rows[] = {{"i", true, 1}, {"u", true, -1}, {"t", true, 5}, {"f", false, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        KuObject* v = d->objectForKey(row.key);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->isInt(), row.isInt);
        EXPECT_EQ(v->isFloat(), !row.isInt);
        EXPECT_EQ(v->intValue(), row.intValue);
        EXPECT_EQ(v->refCount, 1) << "a new number held only by the dictionary";
    }
    EXPECT_NE(d->objectForKey("i"), kKuNumberInt1);
    EXPECT_EQ(d->unsignedIntForKey("u", 0), 0xFFFFFFFFu);
    EXPECT_EQ(d->timeForKey("t", 0), 5);
    EXPECT_EQ(d->count(), 4);
}

TEST_F(DictionaryTest, ObjectAddersRetain) {
    KuDictionary* d = KuDictionary::dictionary();
    KuString* text = S("t");
    KuDictionary* sub = KuDictionary::dictionary();
    KuData* data = KuData::dataWithBytes("ab", 2);
    d->addKeyString(S("s"), text);
    d->addKeyDictionary(S("d"), sub);
    d->addKeyData(S("b"), data);
    d->addKeyString(S("n"), nullptr);
    EXPECT_EQ(text->refCount, 2);
    EXPECT_EQ(sub->refCount, 2);
    EXPECT_EQ(data->refCount, 2);
    EXPECT_EQ(keysOf(d), (std::vector<std::string>{"b", "d", "s"}));
}

TEST_F(DictionaryTest, GeometryAndColorAddersRoundTrip) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyPoint(S("p"), {1.5f, -2});
    d->addKeyRect(S("r"), {{1, 2}, {3.5f, 4}});
    EXPECT_EQ(d->objectForKey("p")->kindCode(), kKuTypePointObject);
    EXPECT_EQ(d->objectForKey("r")->kindCode(), kKuTypeRectObject);
    EXPECT_EQ(d->pointForKey("p", {}), (KuPoint{1.5f, -2}));
    EXPECT_TRUE(d->rectForKey("r", {}) == (KuRect{{1, 2}, {3.5f, 4}}));

    struct Row {
        KuColor color;
        const char* text;
    } rows[] = {
        {{1, 0.5f, 0.25f, 1}, "{1,0.5,0.25,1}"},
        {{0, 0, 0, 0}, "{0,0,0,0}"},
        {{0.123456789f, 0.333333343f, 1, 0.75f}, "{0.123457,0.333333,1,0.75}"},
    };
    for (const Row& row : rows) {
        d->addKeyColor(S("c"), row.color);
        EXPECT_STREQ(d->stringForKey("c")->c_str(), row.text);
        KuColor back = d->colorForKey("c", {});
        // "%g" keeps six significant digits.
        EXPECT_NEAR(back.red, row.color.red, 1e-6);
        EXPECT_NEAR(back.green, row.color.green, 1e-6);
        EXPECT_NEAR(back.blue, row.color.blue, 1e-6);
        EXPECT_NEAR(back.alpha, row.color.alpha, 1e-6);
    }
}

// ---- texts

TEST_F(DictionaryTest, DumpAndDebugTexts) {
    KuDictionary* d = KuDictionary::dictionary();
    EXPECT_STREQ(d->dump(0)->c_str(), "{\n}\n");
    d->addKeyObject("b", S("x"));
    d->addKeyObject("a", I(1));
    d->addKeyPoint(S("p"), {1, 2});
    KuDictionary* sub = KuDictionary::dictionary();
    sub->addKeyObject("z", F(0.5f));
    d->addKeyObject("c", sub);
    EXPECT_STREQ(d->dump(2)->c_str(), "{\n\ta = 1\n\tb = \"x\"\n\tc = {\n\tz = 0.5\n}\n\n\tp = (1,2)\n}\n");
    EXPECT_STREQ(d->toDebugString()->c_str(), "KuDictionary with 4 keys.");
}

TEST_F(DictionaryTest, BoxedGeometryTexts) {
    struct Row {
        KuObject* object;
        const char* text;
    } rows[] = {
        {KuPointObject::pointWithPoint({1.5f, -2}), "(1.5,-2)"},
        {KuPointObject::pointWithPoint({0.1f, 1e6f}), "(0.1,1e+06)"},
        {KuRectObject::rectWithRect({{1, 2}, {3.5f, 4}}), "((1,2),(3.5,4))"},
    };
    for (const Row& row : rows) {
        EXPECT_STREQ(row.object->toString()->c_str(), row.text);
        EXPECT_STREQ(row.object->dump(0)->c_str(), row.text);
        EXPECT_STREQ(row.object->toDebugString()->c_str(), row.text);
    }
}

}  // namespace
