// How a manifest path becomes a file under the launcher folder and an address on the server.
#pragma once

#include <string>

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
