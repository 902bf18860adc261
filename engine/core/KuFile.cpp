// Sections: >>folders >>read >>dictionary files >>write >>append >>cipher >>string
#include "KuFile.h"

#include <SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "KuJson.h"
#include "KuLog.h"

// >>folders

namespace {
KuString* _libraryFolder = nullptr;
KuString* _build_version = nullptr;  // "0.0.0" (immortal) until KuBuildVersion sets one
int _build_number = 0;
KuString* _uniqueIdentifier = nullptr;
KuDictionary* _fileHandleDict = nullptr;  // path -> KuPointer(FILE*); those handles stay open

KuString* ownedString(const char* text) {
    return new KuString(text);
}
}  // namespace

void KuSetCompanyAndProjectName(KuString* company, KuString* project) {
    if (!company || !project) return;
    char* folder = SDL_GetPrefPath(company->c_str(), project->c_str());
    if (!folder) return;
    KuString* text = ownedString(folder);
    SDL_free(folder);
    KuRelease(_libraryFolder);
    _libraryFolder = text;
}

KuString* KuLibraryFolder() {
    return _libraryFolder;
}
KuString* KuPathForLibrary() {
    return _libraryFolder ? KuString::stringWithString(_libraryFolder) : nullptr;
}
KuString* KuPathForCache() {
    return KuPathForLibrary();
}
KuString* KuPathForLibraryAndCreate(KuString*) {
    return KuPathForLibrary();
}
KuString* KuPathForCacheAndCreate(KuString*) {
    return KuPathForLibrary();
}

KuString* KuBuildVersion() {
    if (!_build_version) {
        _build_version = ownedString("0.0.0");
        _build_version->makeImmortal();
    }
    return _build_version;
}

KuString* KuBuildVersion(int major, int minor, int build) {
    _build_number = build;
    std::string text = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build);
    KuString* version = ownedString(text.c_str());
    KuRelease(_build_version);
    _build_version = version;
    return _build_version;
}

int KuBuildNumber() {
    return _build_number;
}
void KuBuildNumber(int build) {
    _build_number = build;
}

KuString* KuDeviceIdentifier() {
    if (!_uniqueIdentifier) KuSetRetained(_uniqueIdentifier, KuString::stringWithRandomIdentifier(1, 20));
    return _uniqueIdentifier;
}

void KuDeviceIdentifier(KuString* identifier) {
    KuSetRetained(_uniqueIdentifier, identifier);
}

KuString* KuGetEnvVariable(KuString* name) {
    if (!name) return nullptr;
    const char* value = getenv(name->c_str());
    if (!value) return nullptr;
    if (!*value) return KUSTR_EMPTY;
    return KuString::stringWithString(value);
}

KuString* KuGetSystemLanguage() {
    SDL_Locale* locales = SDL_GetPreferredLocales();
    KuString* result = KUSTR_EMPTY;
    if (locales && locales[0].language && locales[0].language[0]) {
        std::string name = locales[0].language;
        if (locales[0].country && locales[0].country[0]) name += std::string("-") + locales[0].country;
        result = KuString::stringWithString(name.c_str());
    }
    SDL_free(locales);
    return result;
}

bool KuRemoveFileAtPath(KuString* path) {
    if (!path || !path->length) return false;
    std::error_code ec;
    std::uintmax_t removed = std::filesystem::remove_all(path->c_str(), ec);
    return !ec && removed != static_cast<std::uintmax_t>(-1) && removed > 0;
}

// >>read

FILE* KuFileOpen(const char* path, unsigned* size) {
    if (!path) return nullptr;
    FILE* f = fopen(path, "rb");
    if (!f) return nullptr;
    if (size) {
        struct stat st;
        if (fstat(fileno(f), &st) != 0) {
            fclose(f);
            return nullptr;
        }
        *size = static_cast<unsigned>(st.st_size);
    }
    return f;
}

FILE* KuFileOpen(KuString* path, unsigned* size) {
    return path ? KuFileOpen(path->c_str(), size) : nullptr;
}

void KuFileClose(FILE* handle) {
    if (handle) fclose(handle);
}

int KuFileSeek(FILE* handle, unsigned offset) {
    if (!handle) return -1;
    return fseeko(handle, static_cast<off_t>(offset), SEEK_SET) == 0 ? 0 : -1;
}

int KuFileRead(FILE* handle, void* buffer, unsigned n, unsigned* count) {
    if (!handle) return -1;
    size_t got = (buffer && n) ? fread(buffer, 1, n, handle) : 0;
    if (count) *count = static_cast<unsigned>(got);
    return 0;
}

// A kept handle is reused until the name leads to another file: saves replace files by renaming,
// and a handle on the replaced file would go on reading the old bytes.
static FILE* keptHandle(KuString* path) {
    if (!_fileHandleDict) _fileHandleDict = KuDictionary::newDictionary();
    KuObject* held = _fileHandleDict->objectForKey(path);
    if (held) {
        FILE* kept = static_cast<FILE*>(static_cast<KuPointer*>(held)->pointer);
        struct stat named, open;
        if (stat(path->c_str(), &named) != 0 || fstat(fileno(kept), &open) != 0 ||
            (named.st_dev == open.st_dev && named.st_ino == open.st_ino))
            return kept;
        fclose(kept);
        _fileHandleDict->removeObjectForKey(path);
    }
    FILE* f = fopen(path->c_str(), "rb");
    if (f) _fileHandleDict->addKeyObject(path, new KuPointer(f), true);
    return f;
}

KuData* KuLoadDataFromFile(KuString* path, const unsigned char* key, uint64_t offset, int size,
                           unsigned flags) {
    if (!path) return nullptr;
    bool keep = (flags & kKuFileKeepOpen) != 0;
    FILE* f = keep ? keptHandle(path) : fopen(path->c_str(), "rb");
    if (!f) {
        KuWarning("Can't open file '%@'", path);
        return nullptr;
    }
    auto done = [&](KuData* result) {
        if (!keep) fclose(f);
        return result;
    };

    int64_t want = size;
    if (size < 0) {
        // The whole file, or the rest of it after offset.
        struct stat st;
        if (fstat(fileno(f), &st) != 0) {
            KuWarning("Can't stat (%d) file '%@'", errno, path);
            return done(nullptr);
        }
        want = static_cast<int64_t>(st.st_size) - static_cast<int64_t>(offset);
        if (want < 0) want = 0;
    }
    if (want > INT32_MAX - 1) {
        KuWarning("Can't stat (%d) file '%@'", EFBIG, path);
        return done(nullptr);
    }
    // A kept handle may sit anywhere after an earlier read, so even a whole read seeks.
    if (offset > static_cast<uint64_t>(INT64_MAX) || fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) {
        KuWarning("Can't seek (%d) file '%@'", errno, path);
        return done(nullptr);
    }

    unsigned char* buffer = static_cast<unsigned char*>(malloc(want > 0 ? static_cast<size_t>(want) : 1));
    if (!buffer) return done(nullptr);
    size_t got = want > 0 ? fread(buffer, 1, static_cast<size_t>(want), f) : 0;
    if (!keep) fclose(f);
    if (static_cast<int64_t>(got) < want) {
        KuWarning("KuLoadDataFromFile(%s) wanted %d bytes, got %d bytes.", path->c_str(),
                  static_cast<int>(want), static_cast<int>(got));
        free(buffer);
        return nullptr;
    }
    if (key) {
        KuData* plain = KuCryptoBTEADecryptData(buffer, static_cast<unsigned>(got), key);
        free(buffer);
        return plain;
    }
    if (got == 0) {
        free(buffer);
        return KuAutorelease(new KuData);
    }
    return KuData::dataWithBytesNoCopy(buffer, static_cast<int>(got));
}

KuData* KuLoadDataFromFile(KuString* path, KuString* extension, uint64_t offset, uint64_t size) {
    if (!path) return nullptr;
    int wanted = size > static_cast<uint64_t>(INT32_MAX) ? -1 : static_cast<int>(size);
    return KuLoadDataFromFile(KuReplaceFileExtension(path, extension), nullptr, offset, wanted, 0);
}

KuString* KuLoadFileAsString(KuString* path) {
    KuData* data = KuLoadDataFromFile(path);
    if (!data) return nullptr;
    return KuAutorelease(new KuString(data));
}

KuArray<KuString*>* KuLoadFileAsStringArray(KuString* path) {
    KuString* text = KuLoadFileAsString(path);
    if (!text) return KuArray<KuString*>::array();
    return text->arraySeparatedByNewlines();
}

// >>dictionary files

// Parses in a pool of its own so the reader's temporaries go at once; the result moves to the
// caller's pool.
static KuDictionary* dictionaryFromData(KuData* data) {
    if (!data || data->length <= 0) return nullptr;
    KuAutoreleasePool::currentPool();
    bool pushed = KuAutoreleasePool::stackDepth() < KuAutoreleasePool::kMaxPools;
    if (pushed) KuAutoreleasePool::pushPool();
    KuDictionary* result = nullptr;
    KuObject* root = quickParseKuJson(data, static_cast<KuDictionary*>(nullptr));
    if (root && root->kindCode() == kKuTypeDictionary) {
        result = static_cast<KuDictionary*>(root);
        KuRetain(result);
    }
    if (pushed) KuAutoreleasePool::popPool();
    return KuAutorelease(result);
}

KuDictionary* KuLoadDictionaryFromFile(KuString* path, const unsigned char* key) {
    if (!path) return nullptr;
    KuAutoreleasePool::currentPool();
    bool pushed = KuAutoreleasePool::stackDepth() < KuAutoreleasePool::kMaxPools;
    if (pushed) KuAutoreleasePool::pushPool();
    KuDictionary* result = dictionaryFromData(KuLoadDataFromFile(path, key));
    KuRetain(result);
    if (pushed) KuAutoreleasePool::popPool();
    return KuAutorelease(result);
}

KuDictionary* KuLoadDictionaryFromData(unsigned char* bytes, int n, const unsigned char* key) {
    if (!bytes) return nullptr;
    if (n <= 0) {
        free(bytes);
        return nullptr;
    }
    KuData* data = KuData::dataWithBytesNoCopy(bytes, n);
    if (key) data = KuCryptoBTEADecryptData(data, key);
    return dictionaryFromData(data);
}

// >>write

namespace {
std::atomic<KuSaveStepHook> saveStepHook{nullptr};
std::atomic<unsigned> tempCounter{0};

bool stepAllowed(const char* step) {
    KuSaveStepHook hook = saveStepHook.load();
    if (hook && !hook(step)) {
        errno = EIO;
        return false;
    }
    return true;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Follows symbolic links on the last component, so the rename replaces the file a link points to
// rather than the link. False when the chain cannot be followed (a loop, an unreadable link).
bool resolveWriteTarget(const std::string& path, std::string& target) {
    target = path;
    for (int hops = 0; hops < 40; hops++) {
        struct stat st;
        if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::vector<char> link(PATH_MAX + 1);
        ssize_t n = readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return false;
        std::string destination(link.data(), static_cast<size_t>(n));
        target = destination[0] == '/' ? destination : folderOf(target) + "/" + destination;
    }
    return false;
}

int createTemporaryBeside(const std::string& target, std::string& tempPath) {
    std::string folder = folderOf(target);
    size_t slash = target.find_last_of('/');
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.size() > 64) base.resize(64);  // keeps the temporary name within NAME_MAX
    for (int attempt = 0; attempt < 100; attempt++) {
        tempPath =
            folder + "/." + base + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(tempCounter++);
        int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool writeAll(int fd, const char* bytes, size_t n) {
    size_t done = 0;
    while (done < n) {
        size_t chunk = n - done < static_cast<size_t>(kKuSaveChunkBytes) ? n - done : kKuSaveChunkBytes;
        if (!stepAllowed("write")) return false;
        ssize_t written = write(fd, bytes + done, chunk);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

bool syncFolder(const std::string& folder) {
    if (!stepAllowed("syncfolder")) return false;
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
    close(fd);
    return ok;
}

bool replaceFileAtomically(const char* path, const char* bytes, size_t n) {
    std::string target;
    if (!resolveWriteTarget(path, target)) return false;
    struct stat old;
    bool existed = stat(target.c_str(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) return false;

    if (!stepAllowed("create")) return false;
    std::string temp;
    int fd = createTemporaryBeside(target, temp);
    if (fd < 0) return false;
    bool ok = true;
    if (existed) {
        ok = fchmod(fd, old.st_mode & 07777) == 0;
        // Only a privileged writer can hand the file back to its owner; others keep their own.
        if (ok && (old.st_uid != geteuid() || old.st_gid != getegid())) {
            int ignored = fchown(fd, old.st_uid, old.st_gid);
            (void)ignored;
        }
    }
    ok = ok && writeAll(fd, bytes, n);
    ok = ok && stepAllowed("sync") && fsync(fd) == 0;
    ok = ok && stepAllowed("close");
    if (close(fd) != 0) ok = false;
    ok = ok && stepAllowed("rename") && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        int saved = errno;
        unlink(temp.c_str());
        errno = saved;
        return false;
    }
    return syncFolder(folderOf(target));
}
}  // namespace

void KuSetSaveStepHook(KuSaveStepHook hook) {
    saveStepHook.store(hook);
}

bool KuSaveBytesToFile(KuString* path, const char* bytes, int n, const unsigned char* key) {
    if (!path || !path->length || !bytes || n < 0) return false;
    if (!key) return replaceFileAtomically(path->c_str(), bytes, static_cast<size_t>(n));
    unsigned char* envelope = nullptr;
    int length = 0;
    if (!KuCryptoBTEAEncrypt(reinterpret_cast<const unsigned char*>(bytes), static_cast<unsigned>(n),
                             envelope, length, key))
        return false;
    bool ok = replaceFileAtomically(path->c_str(), reinterpret_cast<const char*>(envelope),
                                    static_cast<size_t>(length));
    free(envelope);
    return ok;
}

bool KuSaveDataToFile(KuString* path, KuData* data, const unsigned char* key) {
    if (!data) return false;
    static const char empty = 0;
    const char* bytes = data->bytes ? reinterpret_cast<const char*>(data->bytes) : &empty;
    return KuSaveBytesToFile(path, bytes, data->length, key);
}

bool KuSaveStringToFile(KuString* path, KuString* text, const unsigned char* key) {
    if (!text) return false;
    return KuSaveBytesToFile(path, text->c_str(), text->cstr ? text->length : 0, key);
}

bool KuSaveDictionaryToFile(KuString* path, KuDictionary* dict, const unsigned char* key, bool binary) {
    if (!path || !dict) return false;
    if (binary) return KuSaveDataToFile(path, KuJson::emitBJson(dict, 500000), key);
    return KuSaveStringToFile(path, KuJson::stringFromDict(dict), key);
}

// >>append

bool KuAppendFileBytes(KuString* path, const char* bytes, int n) {
    if (!path || !path->length || !bytes || n < 0) return false;
    FILE* f = fopen(path->c_str(), "ab");
    if (!f) return false;
    size_t written = n > 0 ? fwrite(bytes, 1, static_cast<size_t>(n), f) : 0;
    bool closed = fclose(f) == 0;
    return closed && written == static_cast<size_t>(n);
}

bool KuAppendFileBytes(KuString* path, KuData* data) {
    if (!data) return false;
    static const char empty = 0;
    const char* bytes = data->bytes ? reinterpret_cast<const char*>(data->bytes) : &empty;
    return KuAppendFileBytes(path, bytes, data->length);
}

bool KuAppendFileBytes(KuString* path, KuString* text) {
    if (!text) return false;
    return KuAppendFileBytes(path, text->c_str(), text->cstr ? text->length : 0);
}

// >>cipher

namespace {
constexpr uint32_t kChecksumBase = 0x06583463;
constexpr uint32_t kDelta = 0x9E3779B9;
uint32_t cipherSalt = 0;
bool cipherSaltSeeded = false;

uint32_t readLE(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void writeLE(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

uint32_t mix(uint32_t y, uint32_t z, uint32_t sum, unsigned p, unsigned e, const uint32_t k[4]) {
    return (((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4))) ^ ((sum ^ y) + (k[(p & 3) ^ e] ^ z));
}

// Corrected Block TEA over bytes (a multiple of 8, at least 8) as little-endian words.
void xxtea(unsigned char* bytes, unsigned n, const unsigned char* key, bool encipher) {
    unsigned w = n / 4;
    std::vector<uint32_t> v(w);
    for (unsigned i = 0; i < w; i++)
        v[i] = readLE(bytes + 4 * i);
    uint32_t k[4];
    for (int i = 0; i < 4; i++)
        k[i] = readLE(key + 4 * i);
    unsigned rounds = 6 + 52 / w;
    uint32_t y, z, sum;
    unsigned p, e;
    if (encipher) {
        sum = 0;
        z = v[w - 1];
        do {
            sum += kDelta;
            e = (sum >> 2) & 3;
            for (p = 0; p < w - 1; p++) {
                y = v[p + 1];
                z = v[p] += mix(y, z, sum, p, e, k);
            }
            y = v[0];
            z = v[w - 1] += mix(y, z, sum, p, e, k);
        } while (--rounds);
    } else {
        sum = rounds * kDelta;
        y = v[0];
        do {
            e = (sum >> 2) & 3;
            for (p = w - 1; p > 0; p--) {
                z = v[p - 1];
                y = v[p] -= mix(y, z, sum, p, e, k);
            }
            z = v[w - 1];
            y = v[0] -= mix(y, z, sum, p, e, k);
            sum -= kDelta;
        } while (--rounds);
    }
    for (unsigned i = 0; i < w; i++)
        writeLE(bytes + 4 * i, v[i]);
}

uint32_t payloadChecksum(const unsigned char* bytes, unsigned n) {
    uint32_t sum = kChecksumBase;
    for (unsigned i = 0; i < n; i++)
        sum += bytes[i];
    return sum;
}
}  // namespace

bool KuCryptoBTEAEncrypt(const unsigned char* src, unsigned n, unsigned char*& out, int& length,
                         const unsigned char* key) {
    if (!src || !key || n > static_cast<unsigned>(INT32_MAX) - 32) return false;
    unsigned p = 8 - ((n + 9) % 8);
    unsigned total = n + 9 + p;
    unsigned char* buffer = static_cast<unsigned char*>(malloc(total));
    if (!buffer) return false;
    if (n) memcpy(buffer, src, n);
    if (!cipherSaltSeeded) {
        cipherSalt = static_cast<uint32_t>(time(nullptr));
        cipherSaltSeeded = true;
    }
    cipherSalt++;
    writeLE(buffer + n, payloadChecksum(src, n));
    writeLE(buffer + n + 4, cipherSalt);
    memset(buffer + n + 8, static_cast<int>(p), p + 1);
    xxtea(buffer, total, key, true);
    out = buffer;
    length = static_cast<int>(total);
    return true;
}

bool KuCryptoBTEADecrypt(const unsigned char* src, unsigned n, unsigned char*& out, int& length,
                         const unsigned char* key) {
    if (!src || !key || n % 8 != 0 || n < 8 || n > static_cast<unsigned>(INT32_MAX) - 1) return false;
    unsigned char* buffer = static_cast<unsigned char*>(malloc(n + 1));
    if (!buffer) return false;
    memcpy(buffer, src, n);
    buffer[n] = 0;
    xxtea(buffer, n, key, false);
    unsigned p = buffer[n - 1];
    int64_t payload = static_cast<int64_t>(n) - p - 9;
    if (p > 8 || payload <= 0 ||
        readLE(buffer + payload) != payloadChecksum(buffer, static_cast<unsigned>(payload))) {
        free(buffer);
        return false;
    }
    out = buffer;
    length = static_cast<int>(payload);
    return true;
}

KuData* KuCryptoBTEAEncryptData(const unsigned char* bytes, unsigned n, const unsigned char* key) {
    unsigned char* out = nullptr;
    int length = 0;
    if (!KuCryptoBTEAEncrypt(bytes, n, out, length, key)) return nullptr;
    return KuData::dataWithBytesNoCopy(out, length);
}

KuData* KuCryptoBTEAEncryptData(KuData* data, const unsigned char* key) {
    if (!data) return nullptr;
    static const unsigned char empty = 0;
    return KuCryptoBTEAEncryptData(data->bytes ? data->bytes : &empty, static_cast<unsigned>(data->length),
                                   key);
}

KuData* KuCryptoBTEADecryptData(const unsigned char* bytes, unsigned n, const unsigned char* key) {
    unsigned char* out = nullptr;
    int length = 0;
    if (!KuCryptoBTEADecrypt(bytes, n, out, length, key)) return nullptr;
    KuData* plain = KuData::dataWithBytes(out, length);
    free(out);
    return plain;
}

KuData* KuCryptoBTEADecryptData(KuData* data, const unsigned char* key) {
    if (!data || !data->bytes) return nullptr;
    return KuCryptoBTEADecryptData(data->bytes, static_cast<unsigned>(data->length), key);
}

KuData* KuCryptoBTEAEncryptString(KuString* text, const unsigned char* key) {
    if (!text) return nullptr;
    const char* bytes = text->c_str();
    unsigned n = static_cast<unsigned>(text->cstr ? text->length : 0) + 1;
    return KuCryptoBTEAEncryptData(reinterpret_cast<const unsigned char*>(bytes), n, key);
}

KuString* KuCryptoBTEADecryptString(KuData* data, const unsigned char* key) {
    if (!data || !data->bytes) return nullptr;
    unsigned char* out = nullptr;
    int length = 0;
    if (!KuCryptoBTEADecrypt(data->bytes, static_cast<unsigned>(data->length), out, length, key))
        return nullptr;
    std::string text(reinterpret_cast<const char*>(out), strnlen(reinterpret_cast<const char*>(out), length));
    free(out);
    return KuString::stringWithString(text.c_str());
}

// >>string

KuString* KuString::stringWithFile(KuString* path) {
    return KuLoadFileAsString(path);
}
bool KuString::saveToFile(KuString* path) {
    return KuSaveStringToFile(path, this, nullptr);
}
bool KuString::appendToFile(KuString* path) {
    return KuAppendFileBytes(path, this);
}
