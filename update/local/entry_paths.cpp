#include "update/local/entry_paths.h"

#include <cstdint>

// The build passes the root in, so tests and the demo can point the program at a local server.
const char kUpdateServerRoot[] = VARDENHAL_UPDATE_ROOT;

namespace {

const char* const kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
const char* const kNumberedDevicePrefixes[] = {"COM", "LPT"};

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool IsSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsIgnoringCase(const std::string& text, const char* upper) {
    size_t i = 0;
    for (; i < text.size() && upper[i] != '\0'; ++i) {
        if (ToUpperAscii(text[i]) != upper[i])
            return false;
    }
    return i == text.size() && upper[i] == '\0';
}

// Windows opens the device for "con", "CON.txt" and "con .log" alike: the name before the first
// dot counts, with trailing spaces dropped.
bool IsDeviceName(const std::string& segment) {
    std::string base = segment.substr(0, segment.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (const char* name : kDeviceNames) {
        if (EqualsIgnoringCase(base, name))
            return true;
    }
    if (base.size() != 4 || base[3] < '0' || base[3] > '9')
        return false;
    for (const char* prefix : kNumberedDevicePrefixes) {
        if (EqualsIgnoringCase(base.substr(0, 3), prefix))
            return true;
    }
    return false;
}

bool IsAsciiLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsUpdateRoot(const std::string& root) {
    const std::string scheme = "https://";
    if (root.compare(0, scheme.size(), scheme) != 0)
        return false;
    const size_t colon = root.find(':', scheme.size());
    const std::string host = root.substr(scheme.size(), colon == std::string::npos ? colon : colon - scheme.size());
    if (host.empty() || !IsAsciiLetterOrDigit(host.front()) || !IsAsciiLetterOrDigit(host.back()))
        return false;
    for (char c : host) {
        if (!IsAsciiLetterOrDigit(c) && c != '.' && c != '-')
            return false;
    }
    if (colon == std::string::npos)
        return true;
    const std::string port = root.substr(colon + 1);
    if (port.empty() || port.size() > 5)
        return false;
    long value = 0;
    for (char c : port) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535;
}

}  // namespace

std::vector<std::string> SplitUpdateRoots(const std::string& roots) {
    std::vector<std::string> split;
    for (size_t start = 0;;) {
        const size_t space = roots.find(' ', start);
        const std::string piece = roots.substr(start, space == std::string::npos ? space : space - start);
        if (!IsUpdateRoot(piece))
            return {};
        split.push_back(piece);
        if (space == std::string::npos)
            return split;
        start = space + 1;
    }
}

std::string BuildManifestAddress(const std::string& serverRoot) {
    return serverRoot + "/updater/filelist.txt";
}

std::string BuildFileBaseAddress(const std::string& serverRoot) {
    return serverRoot + "/updater/";
}

std::wstring WidenManifestPath(const std::string& path) {
    std::wstring wide;
    wide.reserve(path.size());
    for (char byte : path) {
        // Through int8_t for the sign, through uint16_t so a 32-bit wchar_t holds the same unit.
        wide.push_back(static_cast<wchar_t>(static_cast<uint16_t>(static_cast<int8_t>(byte))));
    }
    return wide;
}

std::wstring BuildLocalPath(const std::wstring& launcherFolder, const std::wstring& widePath) {
    std::wstring local = launcherFolder + L"\\" + widePath;
    for (wchar_t& c : local) {
        if (c == L'/')
            c = L'\\';
    }
    return local;
}

std::string BuildDownloadAddress(const std::string& fileBaseAddress, const std::string& path) {
    return fileBaseAddress + path;
}

bool IsEntryPathAllowed(const std::string& path) {
    if (path.empty() || IsSeparator(path[0]))
        return false;
    if (path.find(':') != std::string::npos || path.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::string segment = path.substr(start, end - start);
        if (segment == ".." || IsDeviceName(segment))
            return false;
        start = end + 1;
    }
    return true;
}

std::vector<std::wstring> FolderPrefixesToCreate(const std::wstring& localPath) {
    std::vector<std::wstring> folders;
    const size_t last = localPath.find_last_of(L"\\/");
    if (last == std::wstring::npos || last == 0)
        return folders;
    const std::wstring folderPart = localPath.substr(0, last);
    for (size_t i = 0; i < folderPart.size(); ++i) {
        if (IsSeparator(folderPart[i]) && i > 0)
            folders.push_back(folderPart.substr(0, i));
    }
    folders.push_back(folderPart);
    return folders;
}

std::wstring TemporaryDownloadPath(const std::wstring& target) {
    // U+2193 DOWNWARDS ARROW: outside both ranges a manifest path can produce.
    return target + kTemporaryDownloadSuffix;
}

std::wstring ResumeRecordPath(const std::wstring& target) {
    return target + kResumeRecordSuffix;
}

std::wstring ResumeRecordPathOfTemporary(const std::wstring& temporaryPath) {
    const std::wstring suffix = kTemporaryDownloadSuffix;
    const bool ours = temporaryPath.size() >= suffix.size() &&
                      temporaryPath.compare(temporaryPath.size() - suffix.size(), suffix.size(), suffix) == 0;
    return ResumeRecordPath(ours ? temporaryPath.substr(0, temporaryPath.size() - suffix.size()) : temporaryPath);
}

std::wstring SupersededLauncherPath(const std::wstring& executablePath) {
    return executablePath + L".vhl\u2193old";
}

std::wstring PathKey(const std::wstring& path) {
    std::wstring key;
    key.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        wchar_t c = path[i] == L'/' ? L'\\' : path[i];
        if (c == L'\\' && i > 1 && !key.empty() && key.back() == L'\\')
            continue;
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        key.push_back(c);
    }
    return key;
}

std::wstring LongPathForm(const std::wstring& path) {
    constexpr size_t kShortPathLimit = 248;
    if (path.size() < kShortPathLimit || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    std::wstring form;
    size_t rest = 0;
    if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        form = L"\\\\?\\UNC";
        rest = 2;
    } else if (path.size() > 2 && path[1] == L':' && IsSeparator(path[2])) {
        form = L"\\\\?\\" + path.substr(0, 2);
        rest = 3;
    } else {
        return path;
    }
    size_t start = rest;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::wstring name = path.substr(start, end - start);
        if (!name.empty() && name != L".")
            form += L"\\" + name;
        start = end + 1;
    }
    return form;
}
