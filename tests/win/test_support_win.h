// Helpers shared by the tests that run under Wine.
#pragma once

#include <string>

// Value of an environment variable, or empty.
std::string EnvironmentValue(const char* name);

// A Unix path as Wine sees it (drive Z: is the Unix root).
std::wstring WinePathFromUnix(const std::string& unixPath);

// Address of the local HTTPS update server ("https://localhost:PORT"), from VARDENHAL_TEST_SERVER,
// and the folder it serves under /updater/, from VARDENHAL_TEST_SERVER_DIR. Empty when not set.
std::string TestServerRoot();
std::wstring TestServerFolder();

// A fresh, empty folder under the temporary folder, removed with its content by the destructor.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
// Whole content of a file; `ok` false when it cannot be read.
std::string ReadBytes(const std::wstring& path, bool* ok = nullptr);
bool PathExists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
void RemoveTree(const std::wstring& path);
std::wstring Widen(const std::string& ascii);
