// vardenhal-filelist: makes, checks and plans the update manifest for server operators. The
// commands decide here; the file system comes in as operations so both platforms share them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

enum class PathKind { kMissing, kFile, kFolder, kOther };

struct FolderItem {
    std::string name;
    PathKind kind = PathKind::kOther;
    uint64_t length = 0;  // bytes, for files
};

uint64_t CurrentUnixTime();

// Paths are narrow (UTF-8 on Windows) and joined with '/'; the Windows layer turns them around.
struct FileListOperations {
    // The items of one folder, without "." and "..". A link to a folder comes back as kOther,
    // so a walk never loops.
    std::function<bool(const std::string& folder, std::vector<FolderItem>* items)> readFolder;
    std::function<PathKind(const std::string& path, uint64_t* length)> inspectPath;
    // Whole files: only for the manifest itself, which the launcher holds whole too.
    std::function<bool(const std::string& path, std::string* bytes)> readFile;
    // Writes beside `path` and renames over it, so a server never hands out half a manifest.
    std::function<bool(const std::string& path, const std::string& bytes)> replaceFile;
    // 32 lower-case hex digits, streamed block by block (onBlock gets each block's length);
    // empty when the file cannot be opened or a read fails midway.
    std::function<std::string(const std::string& path, const std::function<void(uint64_t)>& onBlock)> computeFileMd5;
    // A file's bytes in one read front to back, each block handed on as it comes; false when the
    // file cannot be opened or a read fails midway.
    std::function<bool(const std::string& path,
                       const std::function<void(const uint8_t* bytes, size_t length)>& onBytes)>
        streamFile;
    // Up to `length` bytes from `offset`: how many it read, 0 at the end or when reading fails.
    std::function<size_t(const std::string& path, uint64_t offset, uint8_t* into, size_t length)> readFileAt;
    // Signing (see signing.h): a new key file's text and public point; a signature (r then s)
    // over bytes with a key file's text; checking one against a public point.
    std::function<bool(std::string* keyFile, std::string* point)> generateKey;
    std::function<bool(const std::string& keyFile, const std::string& bytes, std::string* signature)> sign;
    std::function<bool(const std::string& point, const std::string& bytes, const std::string& signature)> verify;
    // Made readable by its owner only; never over an existing file.
    std::function<bool(const std::string& path, const std::string& bytes)> createPrivateFile;
    // Whether standard error is a terminal: only then a progress line is drawn.
    bool errorIsTerminal = false;
    // Seconds since 1970, the sequence of a signature made without one.
    std::function<uint64_t()> unixTime = CurrentUnixTime;
};

const int kExitClean = 0;
const int kExitFindings = 1;
const int kExitError = 2;

extern const char kManifestName[];
extern const char kSignatureSuffix[];  // the signature file is the manifest's name and this
extern const char kGzipSuffix[];       // and so is its gzip copy

// args excludes the program name. Manifests and reports go to `out`, messages and progress to `err`.
int RunFileListTool(const std::vector<std::string>& args,
                    const FileListOperations& operations,
                    std::ostream& out,
                    std::ostream& err);

// "412 of 1024 MiB (40%)": the progress line's text for `done` of `total` bytes.
std::string FormatProgress(uint64_t done, uint64_t total);
