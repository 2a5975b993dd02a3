// Where the update server keeps the manifest and the files.
#pragma once

#include <string>

// Scheme and host of the update server, without a trailing slash; fixed when the program is built.
extern const char kUpdateServerRoot[];

// The root followed by "/updater/filelist.txt".
std::string BuildManifestAddress(const std::string& serverRoot);

// The root followed by "/updater/"; a file's address is this followed by its manifest path.
std::string BuildFileBaseAddress(const std::string& serverRoot);
