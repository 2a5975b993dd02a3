// How a manifest path becomes a file under the launcher folder, an address on the update server
// and the temporary file a download streams into.
#pragma once

#include <string>
#include <vector>

// The update roots, fixed when the program is built: one or more, separated by single spaces, the
// main one first; SplitUpdateRoots takes them apart.
extern const char kUpdateServerRoot[];

// The roots in `roots`, in their order. Each is "https://" and a host (ASCII letters, digits, '.'
// and '-', beginning and ending with a letter or digit), then optionally ':' and a port from 1 to
// 65535 in at most five digits, and nothing else: no path, no trailing slash. Empty when `roots`
// is empty, begins or ends with a space, holds two spaces in a row, or any piece is not such a root.
std::vector<std::string> SplitUpdateRoots(const std::string& roots);

// The root followed by "/updater/filelist.txt".
std::string BuildManifestAddress(const std::string& serverRoot);

// The root followed by "/updater/"; a file's address is this followed by its manifest path.
std::string BuildFileBaseAddress(const std::string& serverRoot);

// One UTF-16 code unit per byte, no decoding: ASCII stays as it is, a byte above 0x7F is taken as
// a signed 8-bit value and lands in U+FF80..U+FFFF. Keeps the manifest's slashes; this is the form
// the status line shows.
std::wstring WidenManifestPath(const std::string& path);

// The launcher folder, one backslash, the wide path; then every '/' in the result becomes '\\'.
std::wstring BuildLocalPath(const std::wstring& launcherFolder, const std::wstring& widePath);

// The file base address followed by the path bytes exactly as the manifest holds them.
std::string BuildDownloadAddress(const std::string& fileBaseAddress, const std::string& path);

// False for a path that could reach outside the launcher folder or open a device instead of a
// file: empty, a leading '/' or '\\', any ':' (drive letters, alternate streams), a ".." segment,
// a NUL byte (it would cut the wide path short), or a segment naming a DOS device (CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0..COM9, LPT0..LPT9) in any case, with or without an extension.
bool IsEntryPathAllowed(const std::string& path);

// The folders to create, outermost first, before a file is written at `localPath`: every prefix
// that ends just before a separator ('\\' or '/'), then the whole folder part (everything before
// the last separator). Empty prefixes are left out; a path without a separator needs none.
std::vector<std::wstring> FolderPrefixesToCreate(const std::wstring& localPath);

// Ends the name of every temporary download of ours; no manifest path can produce it.
constexpr wchar_t kTemporaryDownloadSuffix[] = L".vhl\u2193part";

// The file a download streams into before it replaces `target`. It sits in the target's folder
// (so the replace is a rename on one volume) and ends in a character that a path from the manifest
// can never hold: manifest bytes widen to U+0000..U+007F or U+FF80..U+FFFF.
std::wstring TemporaryDownloadPath(const std::wstring& target);

// Beside a temporary download that stopped midway: what the next attempt needs to ask for the rest.
constexpr wchar_t kResumeRecordSuffix[] = L".vhl\u2193resume";
std::wstring ResumeRecordPath(const std::wstring& target);
// The same, from the temporary download's own path.
std::wstring ResumeRecordPathOfTemporary(const std::wstring& temporaryPath);

// Where the running launcher is moved when the manifest brings a new one; the new one deletes it
// at its next start.
std::wstring SupersededLauncherPath(const std::wstring& executablePath);

// A path as Windows compares paths: '/' as '\\', repeated separators as one (a UNC path keeps its
// leading pair), ASCII letters in lower case.
std::wstring PathKey(const std::wstring& path);

// Windows refuses a path of 248 characters or more (a folder) or 260 (a file) unless it carries
// the "\\?\" prefix, which also turns off the cleaning Windows does; so from 248 characters on a
// full path gets the prefix ("\\?\UNC\" for a UNC path), with one backslash between its names
// and no "." names. Shorter or relative paths come back unchanged.
std::wstring LongPathForm(const std::wstring& path);
