// The enciphered envelope: exact sizes, checksum, salt and padding, and failure on a wrong key or
// a damaged buffer.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../../fuzz/envelope_target.h"
#include "../../fuzz/json_targets.h"
#include "KuFile.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

const unsigned char kKey[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                                0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::vector<unsigned char> payloadOf(size_t n) {
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; i++)
        bytes[i] = static_cast<unsigned char>(i * 37 + 200);  // crosses 0x80
    return bytes;
}

struct Sealed {
    std::vector<unsigned char> bytes;
    bool ok = false;
};

Sealed seal(const std::vector<unsigned char>& plain, const unsigned char* key = kKey) {
    Sealed s;
    unsigned char* out = nullptr;
    int length = 0;
    static const unsigned char none = 0;
    s.ok = KuCryptoBTEAEncrypt(plain.empty() ? &none : plain.data(), static_cast<unsigned>(plain.size()), out,
                               length, key);
    if (s.ok) {
        s.bytes.assign(out, out + length);
        free(out);
    }
    return s;
}

// Deciphers; whole receives the entire deciphered buffer.
bool open(const std::vector<unsigned char>& sealed, std::vector<unsigned char>& whole, int& payload,
          const unsigned char* key = kKey) {
    unsigned char* out = nullptr;
    payload = -1;
    if (!KuCryptoBTEADecrypt(sealed.data(), static_cast<unsigned>(sealed.size()), out, payload, key))
        return false;
    whole.assign(out, out + sealed.size());
    free(out);
    return true;
}

class CipherTest : public KuPoolTest {};

TEST_F(CipherTest, EnvelopeSizesChecksumSaltAndPadding) {
    struct Row {
        size_t n;
        size_t total;
        unsigned padding;  // p: p + 1 bytes of value p
    } rows[] = {{1, 16, 6},  {6, 16, 1},  {7, 24, 8},    {8, 24, 7},
                {15, 32, 8}, {16, 32, 7}, {100, 112, 3}, {1000, 1016, 7}};
    for (const Row& row : rows) {
        std::vector<unsigned char> plain = payloadOf(row.n);
        Sealed first = seal(plain);
        Sealed second = seal(plain);
        ASSERT_TRUE(first.ok && second.ok) << row.n;
        EXPECT_EQ(first.bytes.size(), row.total) << row.n;
        EXPECT_NE(first.bytes, second.bytes) << row.n << ": the salt must differ between encryptions";

        std::vector<unsigned char> whole, wholeSecond;
        int payload = 0, payloadSecond = 0;
        ASSERT_TRUE(open(first.bytes, whole, payload)) << row.n;
        EXPECT_NE(first.bytes, whole) << row.n << ": the file must not hold the plain envelope";
        ASSERT_TRUE(open(second.bytes, wholeSecond, payloadSecond)) << row.n;
        EXPECT_EQ(payload, static_cast<int>(row.n));
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), whole.begin())) << row.n;
        uint32_t sum = 0x06583463;
        for (unsigned char b : plain)
            sum += b;
        EXPECT_EQ(le32(&whole[row.n]), sum) << row.n;
        EXPECT_EQ(le32(&wholeSecond[row.n + 4]), le32(&whole[row.n + 4]) + 1) << row.n;
        for (size_t i = row.n + 8; i < row.total; i++)
            EXPECT_EQ(whole[i], row.padding) << row.n << " at " << i;
        EXPECT_EQ(row.total - (row.n + 8), row.padding + 1u);
    }
}

// Envelopes enciphered by an independent XXTEA implementation with kKey; the salt was fixed there.
TEST_F(CipherTest, OpensEnvelopesSealedElsewhere) {
    struct Row {
        const char* payload;
        uint32_t salt;
        std::vector<unsigned char> sealed;
    } rows[] = {
        {"Tansy",
         0x01020304,
         {0x09, 0x71, 0xa6, 0x22, 0x58, 0xb5, 0x50, 0x4b, 0xa0, 0xb2, 0x38, 0x05, 0xbc, 0x67, 0xf0, 0x70}},
        {"The harbour at night, with fog.",
         0xA1B2C3D4,
         {0xbd, 0xfe, 0x45, 0xfa, 0x3e, 0xad, 0x14, 0xa0, 0x29, 0xa8, 0x2e, 0x0f, 0x6e, 0x12, 0xd3, 0xfa,
          0x44, 0x30, 0x6b, 0xcf, 0x00, 0x7e, 0x5e, 0xc8, 0x1f, 0x41, 0x6f, 0x65, 0x2c, 0x88, 0x9c, 0xc1,
          0x84, 0xf1, 0x30, 0xcc, 0xc6, 0x7d, 0x21, 0xc7, 0x70, 0xa6, 0x0d, 0x09, 0x76, 0x4e, 0xf9, 0xc7}},
    };
    for (const Row& row : rows) {
        std::vector<unsigned char> whole;
        int payload = 0;
        ASSERT_TRUE(open(row.sealed, whole, payload)) << row.payload;
        EXPECT_EQ(std::string(whole.begin(), whole.begin() + payload), row.payload);
        EXPECT_EQ(le32(&whole[static_cast<size_t>(payload) + 4]), row.salt) << row.payload;
    }
}

TEST_F(CipherTest, EmptyPayloadMakesSixteenBytesThatCannotBeOpened) {
    Sealed s = seal({});
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.bytes.size(), 16u);
    std::vector<unsigned char> whole;
    int payload = 0;
    EXPECT_FALSE(open(s.bytes, whole, payload));

    TempFolder folder;
    std::string path = folder / "empty.dat";
    ASSERT_TRUE(KuSaveBytesToFile(S(path), "", 0, kKey));
    EXPECT_EQ(std::filesystem::file_size(path), 16u);
    EXPECT_EQ(KuLoadDataFromFile(S(path), kKey), nullptr);
}

TEST_F(CipherTest, WrongKeysAndDamagedBuffersFail) {
    for (size_t n : {1u, 7u, 8u, 64u, 999u}) {
        Sealed s = seal(payloadOf(n));
        ASSERT_TRUE(s.ok);
        std::vector<unsigned char> whole;
        int payload = 0;
        for (int bit = 0; bit < 128; bit += 31) {
            unsigned char wrong[16];
            memcpy(wrong, kKey, 16);
            wrong[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
            EXPECT_FALSE(open(s.bytes, whole, payload, wrong)) << n << " bytes, key bit " << bit;
        }
        std::vector<unsigned char> damaged = s.bytes;
        damaged[damaged.size() / 2] ^= 0x01;
        EXPECT_FALSE(open(damaged, whole, payload)) << n;
        std::vector<unsigned char> cut(s.bytes.begin(), s.bytes.end() - 1);
        EXPECT_FALSE(open(cut, whole, payload)) << n << ": not a multiple of 8";
    }
}

TEST_F(CipherTest, RefusesMissingArguments) {
    unsigned char* out = nullptr;
    int length = 0;
    const unsigned char eight[8] = {};
    EXPECT_FALSE(KuCryptoBTEAEncrypt(nullptr, 4, out, length, kKey));
    EXPECT_FALSE(KuCryptoBTEAEncrypt(eight, 8, out, length, nullptr));
    EXPECT_FALSE(KuCryptoBTEADecrypt(nullptr, 8, out, length, kKey));
    EXPECT_FALSE(KuCryptoBTEADecrypt(eight, 8, out, length, nullptr));
    EXPECT_FALSE(KuCryptoBTEADecrypt(eight, 0, out, length, kKey));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(KuCryptoBTEAEncryptData(static_cast<KuData*>(nullptr), kKey), nullptr);
    EXPECT_EQ(KuCryptoBTEADecryptData(static_cast<KuData*>(nullptr), kKey), nullptr);
    EXPECT_EQ(KuCryptoBTEAEncryptString(nullptr, kKey), nullptr);
    EXPECT_EQ(KuCryptoBTEADecryptString(nullptr, kKey), nullptr);
}

TEST_F(CipherTest, DataAndStringFormsRoundTrip) {
    KuData* sealed = KuCryptoBTEAEncryptData(KuData::dataWithBytes("binary\0data", 11), kKey);
    ASSERT_NE(sealed, nullptr);
    EXPECT_EQ(sealed->length, 24);
    KuData* plain = KuCryptoBTEADecryptData(sealed, kKey);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(plain->bytes), static_cast<size_t>(plain->length)),
              std::string("binary\0data", 11));

    // The string form carries its terminating NUL: 13 + 1 payload bytes.
    KuData* sealedText = KuCryptoBTEAEncryptString(S("Harbour scene"), kKey);
    ASSERT_NE(sealedText, nullptr);
    EXPECT_EQ(sealedText->length, 24);
    KuData* opened = KuCryptoBTEADecryptData(sealedText, kKey);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->length, 14);
    EXPECT_EQ(opened->bytes[13], 0);
    KuString* text = KuCryptoBTEADecryptString(sealedText, kKey);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->c_str(), "Harbour scene");

    // Without a NUL in the payload the text ends with the payload, not in the envelope behind it.
    KuString* bare =
        KuCryptoBTEADecryptString(KuCryptoBTEAEncryptData(KuData::dataWithBytes("abc", 3), kKey), kKey);
    ASSERT_NE(bare, nullptr);
    EXPECT_STREQ(bare->c_str(), "abc");
}

TEST_F(CipherTest, EncipheredFilesHoldTheEnvelopeUnchanged) {
    TempFolder folder;
    std::string path = folder / "save.dat";
    const char text[] = "score = 12";
    ASSERT_TRUE(KuSaveBytesToFile(S(path), text, 10, kKey));
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> onDisk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(onDisk.size(), 24u);
    std::vector<unsigned char> whole;
    int payload = 0;
    ASSERT_TRUE(open(onDisk, whole, payload));
    EXPECT_EQ(std::string(whole.begin(), whole.begin() + payload), "score = 12");
    KuData* loaded = KuLoadDataFromFile(S(path), kKey);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(loaded->bytes), static_cast<size_t>(loaded->length)),
              "score = 12");
}

// The committed fuzz seeds go through the fuzz target's body, so a regression found once stays caught.
TEST_F(CipherTest, FuzzCorpusReplaysCleanly) {
    std::string folder = std::string(TANSY_SOURCE_DIR) + "/fuzz/corpus/envelope";
    int replayed = 0, opened = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        EXPECT_EQ(kujson_fuzz::runOnce(envelope_fuzz::envelopeTarget, bytes.data(), bytes.size()), "")
            << entry.path();
        unsigned char* out = nullptr;
        int payload = 0;
        if (KuCryptoBTEADecrypt(bytes.data(), static_cast<unsigned>(bytes.size()), out, payload,
                                envelope_fuzz::kFuzzKey)) {
            opened++;
            free(out);
        }
        replayed++;
    }
    EXPECT_GE(replayed, 6);
    EXPECT_GE(opened, 3);  // the seeds reach past the checksum test
}

}  // namespace
