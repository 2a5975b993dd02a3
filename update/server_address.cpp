#include "update/server_address.h"

// The build passes the root in, so tests and the demo can point the program at a local server.
const char kUpdateServerRoot[] = VARDENHAL_UPDATE_ROOT;

std::string BuildManifestAddress(const std::string& serverRoot) {
    return serverRoot + "/updater/filelist.txt";
}

std::string BuildFileBaseAddress(const std::string& serverRoot) {
    return serverRoot + "/updater/";
}
