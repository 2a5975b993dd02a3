// Where a download writes: the folders to create first and the temporary file beside the target.
#pragma once

#include <string>
#include <vector>

// The folders to create, outermost first, before a file is written at `localPath`: every prefix
// that ends just before a separator ('\\' or '/'), then the whole folder part (everything before
// the last separator). Empty prefixes are left out; a path without a separator needs none.
std::vector<std::wstring> FolderPrefixesToCreate(const std::wstring& localPath);

// The file a download streams into before it replaces `target`. It sits in the target's folder
// (so the replace is a rename on one volume) and ends in a character that a path from the manifest
// can never hold: manifest bytes widen to U+0000..U+007F or U+FF80..U+FFFF.
std::wstring TemporaryDownloadPath(const std::wstring& target);
