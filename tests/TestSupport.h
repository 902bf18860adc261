// Shared test helpers: a fixture that drains the autorelease pool after each test, and a
// temporary folder removed with its contents at the end of the test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "KuObject.h"
#include "KuString.h"

// Drains what a test autoreleased, so the leak checker sees only real leaks.
class KuPoolTest : public ::testing::Test {
protected:
    void SetUp() override { KuAutoreleasePool::currentPool(); }
    void TearDown() override { KuAutoreleasePool::drainCurrentPool(); }
};

// An autoreleased string with the text.
inline KuString* S(const std::string& text) {
    return KuString::stringWithString(text.c_str());
}

// The whole file's bytes; "" when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The committed seed files of a fuzz target (fuzz/corpus/<folder>), sorted; empty when absent.
inline std::vector<std::string> corpusFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(TANSY_SOURCE_DIR) + "/fuzz/corpus/" + folder, ec))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// A file's bytes, for handing to a fuzz target body.
inline std::vector<uint8_t> fileBytes(const std::string& path) {
    std::string text = readFile(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tansy-test-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        if (made) path_ = made;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

    // Writes a file (creating its folders) and returns its full path.
    std::string write(const std::string& rel, const std::string& contents) const {
        std::filesystem::path p = std::filesystem::path(path_) / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << contents;
        return p.string();
    }

private:
    std::string path_;
};
