// File access: whole and ranged reads, text and line reads, crash-safe writes and appends,
// dictionary files (text or binary, optionally enciphered), the XXTEA envelope, the per-user
// library folder, the build version, the device identifier and a few platform queries.
// Paths are UTF-8; relative paths are relative to the working folder.
#pragma once

#include <cstdint>
#include <cstdio>

#include "KuArray.h"
#include "KuData.h"
#include "KuDictionary.h"
#include "KuString.h"

// >>folders and identity

// Asks SDL for the per-user preference folder of (company, project), which it creates; on success
// it becomes the library folder (an absolute path ending with "/"); on failure nothing changes.
void KuSetCompanyAndProjectName(KuString* company, KuString* project);
// Autoreleased copies of the library folder, null before it is set. All four give the same
// folder; the name is not used.
KuString* KuPathForLibrary();
KuString* KuPathForCache();
KuString* KuPathForLibraryAndCreate(KuString* name);
KuString* KuPathForCacheAndCreate(KuString* name);
KuString* KuLibraryFolder();  // borrowed; null before it is set

KuString* KuBuildVersion(int major, int minor, int build);  // stores "%d.%d.%d" and build; borrowed result
KuString* KuBuildVersion();                                 // borrowed; "0.0.0" at start
int KuBuildNumber();
void KuBuildNumber(int build);

KuString* KuDeviceIdentifier();                 // made on first call (20 capital letters) and kept; borrowed
void KuDeviceIdentifier(KuString* identifier);  // replaces the kept one (retained)

// The variable's value (autoreleased), KUSTR_EMPTY when set but empty, null when unset or name null.
KuString* KuGetEnvVariable(KuString* name);
// The user's first preferred language ("fr", or "fr-CA" with a region), or KUSTR_EMPTY. Autoreleased.
KuString* KuGetSystemLanguage();
// Removes the file, the symbolic link itself, or the folder with its contents; true on success.
bool KuRemoveFileAtPath(KuString* path);

// >>reading

enum : unsigned { kKuFileKeepOpen = 1 };  // flags bit 0: keep the read handle open for later reads

// Whole file when offset is 0 and size is -1; otherwise size bytes from offset (a negative size:
// the rest of the file). With key (16 bytes) the bytes are deciphered. Autoreleased, or null with a
// warning when the file cannot be opened, stat'ed, positioned or fully read (null without a
// message when deciphering fails).
KuData* KuLoadDataFromFile(KuString* path, const unsigned char* key = nullptr, uint64_t offset = 0,
                           int size = -1, unsigned flags = 0);
// KuReplaceFileExtension(path, extension), then the above without key and flags.
KuData* KuLoadDataFromFile(KuString* path, KuString* extension, uint64_t offset, uint64_t size);
KuString* KuLoadFileAsString(KuString* path);  // autoreleased, text up to the first NUL; null when unreadable
KuArray<KuString*>* KuLoadFileAsStringArray(KuString* path);  // autoreleased lines; empty when unreadable
// The file's dictionary (text dialect, or the binary form), autoreleased; null when the file is
// missing, cannot be deciphered or its root is not a dictionary.
KuDictionary* KuLoadDictionaryFromFile(KuString* path, const unsigned char* key = nullptr);
// The same for n bytes in memory. Takes over bytes, a malloc'd buffer, in every case.
KuDictionary* KuLoadDictionaryFromData(unsigned char* bytes, int n, const unsigned char* key = nullptr);

// Plain read handles. KuFileOpen returns null when the file cannot be opened, or (when size is
// given) its status cannot be read; size receives the file's size.
FILE* KuFileOpen(KuString* path, unsigned* size);
FILE* KuFileOpen(const char* path, unsigned* size);
void KuFileClose(FILE* handle);                                           // null does nothing
int KuFileSeek(FILE* handle, unsigned offset);                            // 0, or -1
int KuFileRead(FILE* handle, void* buffer, unsigned n, unsigned* count);  // 0, or -1 for a null handle

// >>writing

// True when every byte reached the disk. The bytes go to a temporary file beside the target,
// which is flushed and then renamed over it, so a crash or failed write leaves the old file whole.
// The target keeps its permissions; a symbolic link is written through to its target. With key
// the bytes are first wrapped in the enciphered envelope. False for a null path or null bytes.
bool KuSaveBytesToFile(KuString* path, const char* bytes, int n, const unsigned char* key = nullptr);
bool KuSaveDataToFile(KuString* path, KuData* data, const unsigned char* key = nullptr);
bool KuSaveStringToFile(KuString* path, KuString* text, const unsigned char* key = nullptr);  // without NUL
// The dictionary as the binary form when binary is true, else as its dialect text.
bool KuSaveDictionaryToFile(KuString* path, KuDictionary* dict, const unsigned char* key = nullptr,
                            bool binary = false);
// Appends (creating the file); true when every byte was written.
bool KuAppendFileBytes(KuString* path, const char* bytes, int n);
bool KuAppendFileBytes(KuString* path, KuData* data);
bool KuAppendFileBytes(KuString* path, KuString* text);

// Test hook: the save path calls it before each step ("create", "write" once per chunk of at most
// kKuSaveChunkBytes, "sync", "close", "rename", "syncfolder"); returning false makes that step fail
// as the disk would. Null (the default) removes it.
constexpr int kKuSaveChunkBytes = 64 * 1024;
using KuSaveStepHook = bool (*)(const char* step);
void KuSetSaveStepHook(KuSaveStepHook hook);

// >>cipher

// The envelope: payload, uint32 LE checksum (0x06583463 + sum of the payload bytes), uint32 LE salt,
// then p + 1 bytes of value p (p = 8 - ((n + 9) mod 8)), enciphered whole with XXTEA.
// out receives a malloc'd buffer the caller frees.
// Encrypt: length = envelope size. False for null src or key.
bool KuCryptoBTEAEncrypt(const unsigned char* src, unsigned n, unsigned char*& out, int& length,
                         const unsigned char* key);
// Decrypt: out = the whole deciphered buffer, length = payload length. False when n is not a
// multiple of 8, the padding value exceeds 8, the payload is empty or the checksum differs.
bool KuCryptoBTEADecrypt(const unsigned char* src, unsigned n, unsigned char*& out, int& length,
                         const unsigned char* key);
// Autoreleased results; null on failure.
KuData* KuCryptoBTEAEncryptData(const unsigned char* bytes, unsigned n, const unsigned char* key);
KuData* KuCryptoBTEAEncryptData(KuData* data, const unsigned char* key);
KuData* KuCryptoBTEADecryptData(const unsigned char* bytes, unsigned n, const unsigned char* key);
KuData* KuCryptoBTEADecryptData(KuData* data, const unsigned char* key);
KuData* KuCryptoBTEAEncryptString(KuString* text, const unsigned char* key);  // includes the NUL
KuString* KuCryptoBTEADecryptString(KuData* data, const unsigned char* key);  // text up to the first NUL
