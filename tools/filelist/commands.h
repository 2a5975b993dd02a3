// The tool's commands, one file each, and what they share: reading their arguments, the progress
// line, paths and the walk over a folder.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tools/filelist/file_list_tool.h"

// Each command takes its name and arguments (args[0] is the name); reports go to `out`, messages
// and progress to `err`; it returns an exit status.
using Command = int(const std::vector<std::string>& args,
                    const FileListOperations& operations,
                    std::ostream& out,
                    std::ostream& err);
Command RunMake;
Command RunCheck;
Command RunPlan;
Command RunKeygen;
Command RunSign;

// A command's arguments after its name: each option of `options` takes one value, each of `flags`
// none (its value is ""); either may come once, anywhere; every other argument is positional. An
// option without its value, one given twice, or an empty argument makes it not ok.
struct ParsedArguments {
    bool ok = true;
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    bool Has(const std::string& option) const { return options.count(option) != 0; }
};
ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::set<std::string>& options,
                               const std::set<std::string>& flags = {});

int ReportUsageError(const std::string& message, std::ostream& err);

constexpr uint64_t kMebibyte = 1024 * 1024;

// Drawn only when standard error is a terminal and the run has taken a while already, so short
// runs and redirected output stay clean.
struct ProgressLine {
    bool enabled = false;
    std::ostream* err = nullptr;
    uint64_t total = 0;
    uint64_t done = 0;
    size_t drawnLength = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn;
};
ProgressLine StartProgress(const FileListOperations& operations, std::ostream& err, uint64_t total);
void ClearProgress(ProgressLine* progress);
void AdvanceProgress(ProgressLine* progress, uint64_t bytes);
std::string ComputeMd5WithProgress(const FileListOperations& operations,
                                   const std::string& path,
                                   ProgressLine* progress);

std::string JoinPath(const std::string& folder, const std::string& relative);
std::string ParentFolder(const std::string& path);
// The manifest and its signature sit in the served folder but are not among its files.
bool IsListFile(const std::string& path);

struct WalkedFile {
    std::string path;  // relative, '/' between names
    uint64_t length = 0;
};
struct FolderWalk {
    std::vector<WalkedFile> files;
    std::vector<std::string> others;  // neither file nor folder: links to folders, devices, pipes
};
// Every file below `root`, depth first. Fails on the first folder that cannot be read, naming it.
bool WalkFolder(const FileListOperations& operations, const std::string& root, FolderWalk* walk, std::ostream& err);

bool RequireFolder(const FileListOperations& operations, const std::string& folder, std::ostream& err);
// A whole regular file: a folder or a device at the path is no file to read.
bool ReadRegularFile(const FileListOperations& operations, const std::string& path, std::string* text);
bool ReadManifest(const FileListOperations& operations, const std::string& path, std::string* text, std::ostream& err);

// The signature's sequence: the value of --sequence, or the current Unix time without one. False
// for a value out of its form, or a clock that gives none.
extern const char kSequenceUsage[];
bool ReadSequenceOption(const ParsedArguments& parsed, const FileListOperations& operations, uint64_t* sequence);

// The signature file's text for the list `bytes` and `sequence`, signed with the key in `keyPath`.
bool SignBytes(const FileListOperations& operations,
               const std::string& keyPath,
               uint64_t sequence,
               const std::string& bytes,
               std::string* signatureFile,
               std::ostream& err);
bool WriteSignatureFile(const FileListOperations& operations,
                        const std::string& manifestPath,
                        const std::string& signatureFile,
                        std::ostream& err);
