// Real third-party inputs through the reader: the JSONTestSuite parsing files, and the committed fuzz
// corpora replayed through each fuzz target.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/json_targets.h"
#include "json_test_util.h"

namespace {

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') names.push_back(folder + "/" + e->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string stem(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    return name.substr(0, name.find_last_of('.'));
}

class JsonSuiteTest : public jsontest::JsonTest {};

// Standard documents whose root is a lone scalar: the dialect reads such a root as the first key of
// an outer dictionary without braces, which then lacks its "=" or ":".
bool isLoneScalar(const std::string& name) {
    return name.rfind("y_structure_lonely_", 0) == 0 || name == "y_structure_string_empty" ||
           name == "y_string_space";
}

TEST_F(JsonSuiteTest, ParsingFilesReadCleanlyAndSurviveTheRoundTrip) {
    const std::string folder = std::string(TANSY_SHARED_DATA_DIR) + "/JSONTestSuite/test_parsing";
    const std::vector<std::string> files = filesIn(folder);
    if (files.empty()) GTEST_SKIP() << "no JSONTestSuite files in " << folder;
    EXPECT_EQ(files.size(), 318u);
    int parsed = 0;
    for (const std::string& path : files) {
        const std::vector<uint8_t> bytes = contents(path);
        const std::string name = stem(path);
        KuAutoreleasePool::pushPool();
        KuObject* root = quickParseKuJson(KuData::dataWithBytes(bytes.data(), (int)bytes.size()), nullptr);
        if (root) parsed++;
        // Every standard document parses, except the lone scalars.
        if (name[0] == 'y') {
            EXPECT_EQ(root != nullptr, !isLoneScalar(name)) << name;
        }
        EXPECT_EQ(kujson_fuzz::roundTripTarget(bytes.data(), bytes.size()), "") << name;
        EXPECT_EQ(kujson_fuzz::textTarget(bytes.data(), bytes.size()), "") << name;
        EXPECT_EQ(kujson_fuzz::binaryTarget(bytes.data(), bytes.size()), "") << name;
        KuAutoreleasePool::popPool();
    }
    EXPECT_GT(parsed, 150);
}

// Standard documents without \u escapes read into the tree a standard reader gives, in the dialect's
// terms (true, false, null and exponents stay words).
TEST_F(JsonSuiteTest, StandardDocumentsReadIntoTheExpectedTree) {
    const std::string folder = std::string(TANSY_SHARED_DATA_DIR) + "/JSONTestSuite/test_parsing";
    if (filesIn(folder).empty()) GTEST_SKIP() << "no JSONTestSuite files in " << folder;
    struct Expect {
        const char* file;
        const char* tree;
    };
    const Expect cases[] = {
        {"y_array_heterogeneous", "[\"null\",1,\"1\",{}]"},
        {"y_array_with_several_null", "[1,\"null\",\"null\",\"null\",2]"},
        {"y_number_real_capital_e", "[\"1E22\"]"},
        {"y_number_minus_zero", "[0]"},
        {"y_number_negative_zero", "[0]"},
        {"y_number_simple_real", "[123.457f]"},
        {"y_object_duplicated_key", "{a:\"c\"}"},
        {"y_object_empty_key", "{:0}"},
        {"y_object_basic", "{asd:\"sdf\"}"},
        {"y_string_allowed_escapes", "[\"\"\\/bf\n\r\t\"]"},  // \b and \f stand for b and f
        {"y_string_comments", "[\"a/*b*/c/*d//e\"]"},
        {"y_string_in_array_with_leading_space", "[\"asd\"]"},
        {"y_structure_whitespace_array", "[]"},
        {"i_structure_UTF-8_BOM_empty_object", "{}"},
    };
    for (const Expect& c : cases) {
        const std::vector<uint8_t> bytes = contents(folder + "/" + c.file + ".json");
        KuObject* root = quickParseKuJson(KuData::dataWithBytes(bytes.data(), (int)bytes.size()), nullptr);
        EXPECT_EQ(jsontest::describe(root), c.tree) << c.file;
    }
}

TEST_F(JsonSuiteTest, CommittedFuzzCorporaReplayCleanly) {
    struct Corpus {
        const char* folder;
        kujson_fuzz::Target target;
    };
    const Corpus corpora[] = {{"json_text", kujson_fuzz::textTarget},
                              {"json_binary", kujson_fuzz::binaryTarget},
                              {"json_roundtrip", kujson_fuzz::roundTripTarget}};
    for (const Corpus& c : corpora) {
        const std::vector<std::string> files =
            filesIn(std::string(TANSY_SOURCE_DIR) + "/fuzz/corpus/" + c.folder);
        EXPECT_FALSE(files.empty()) << c.folder;
        for (const std::string& path : files) {
            const std::vector<uint8_t> bytes = contents(path);
            EXPECT_EQ(kujson_fuzz::runOnce(c.target, bytes.data(), bytes.size()), "") << path;
        }
    }
}

}  // namespace
