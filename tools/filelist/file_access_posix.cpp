#include "tools/filelist/file_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "tools/filelist/signing.h"
#include "update/local/digest_text.h"

namespace {

const size_t kReadBlockLength = 256 * 1024;

struct FolderCloser {
    void operator()(DIR* folder) const { closedir(folder); }
};
struct DigestContextFreer {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Closes on every path out; a descriptor is not worth a class of its own elsewhere.
struct ScopedDescriptor {
    int fd = -1;
    explicit ScopedDescriptor(int value) : fd(value) {}
    ~ScopedDescriptor() {
        if (fd >= 0)
            close(fd);
    }
    ScopedDescriptor(const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
};

PathKind KindOf(const struct stat& info) {
    if (S_ISREG(info.st_mode))
        return PathKind::kFile;
    if (S_ISDIR(info.st_mode))
        return PathKind::kFolder;
    return PathKind::kOther;
}

// Follows links to files (a server serves them) but not links to folders, which could loop.
PathKind InspectItem(const std::string& path, uint64_t* length) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return PathKind::kMissing;
    if (S_ISLNK(info.st_mode)) {
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return PathKind::kOther;
    }
    *length = static_cast<uint64_t>(info.st_size);
    return KindOf(info);
}

bool ReadFolder(const std::string& folder, std::vector<FolderItem>* items) {
    std::unique_ptr<DIR, FolderCloser> handle(opendir(folder.c_str()));
    if (!handle)
        return false;
    for (;;) {
        // readdir tells the end from an error only through errno.
        errno = 0;
        const dirent* item = readdir(handle.get());
        if (item == nullptr)
            return errno == 0;
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        FolderItem folderItem;
        folderItem.name = name;
        folderItem.kind = InspectItem(folder + "/" + name, &folderItem.length);
        items->push_back(folderItem);
    }
}

PathKind InspectPath(const std::string& path, uint64_t* length) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return PathKind::kMissing;
    *length = static_cast<uint64_t>(info.st_size);
    return KindOf(info);
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    ScopedDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0)
        return false;
    bytes->clear();
    char block[65536];
    for (;;) {
        const ssize_t count = read(file.fd, block, sizeof block);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            return true;
        bytes->append(block, static_cast<size_t>(count));
    }
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += static_cast<size_t>(count);
    }
    return true;
}

bool ReplaceFileContents(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".partial";
    {
        ScopedDescriptor file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (file.fd < 0)
            return false;
        const bool written = WriteAll(file.fd, bytes) && fsync(file.fd) == 0;
        const int fd = file.fd;
        file.fd = -1;
        // A failed close can mean lost writes, so it counts.
        if (close(fd) != 0 || !written) {
            unlink(temporary.c_str());
            return false;
        }
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool StreamFile(const std::string& path, const std::function<void(const uint8_t*, size_t)>& onBytes) {
    ScopedDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0)
        return false;
    posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::unique_ptr<uint8_t[]> block(new uint8_t[kReadBlockLength]);
    for (;;) {
        const ssize_t count = read(file.fd, block.get(), kReadBlockLength);
        if (count < 0 && errno == EINTR)
            continue;
        // A read error midway must not pass for the end of a shorter file.
        if (count < 0)
            return false;
        if (count == 0)
            return true;
        onBytes(block.get(), static_cast<size_t>(count));
    }
}

size_t ReadFileAt(const std::string& path, uint64_t offset, uint8_t* into, size_t length) {
    ScopedDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0)
        return 0;
    size_t done = 0;
    while (done < length) {
        const ssize_t count = pread(file.fd, into + done, length - done, static_cast<off_t>(offset + done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += static_cast<size_t>(count);
    }
    return done;
}

std::string ComputeFileMd5(const std::string& path, const std::function<void(uint64_t)>& onBlock) {
    std::unique_ptr<EVP_MD_CTX, DigestContextFreer> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1)
        return std::string();
    bool hashed = true;
    const bool read = StreamFile(path, [&](const uint8_t* bytes, size_t length) {
        hashed = hashed && EVP_DigestUpdate(context.get(), bytes, length) == 1;
        if (onBlock)
            onBlock(length);
    });
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int valueLength = 0;
    if (!read || !hashed || EVP_DigestFinal_ex(context.get(), value, &valueLength) != 1)
        return std::string();
    return FormatDigestHex(value, valueLength);
}

// Owner-only from the start: a key must never be readable by others, not even for a moment.
bool CreatePrivateFile(const std::string& path, const std::string& bytes) {
    bool whole = false;
    {
        ScopedDescriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (file.fd < 0)
            return false;
        whole = WriteAll(file.fd, bytes) && fsync(file.fd) == 0;
        whole = close(file.fd) == 0 && whole;
        file.fd = -1;
    }
    // A key that did not reach the disk whole is no key: leave nothing that looks like one.
    if (!whole)
        unlink(path.c_str());
    return whole;
}

}  // namespace

FileListOperations MakeFileListOperations() {
    FileListOperations operations;
    operations.readFolder = ReadFolder;
    operations.inspectPath = InspectPath;
    operations.readFile = ReadWholeFile;
    operations.replaceFile = ReplaceFileContents;
    operations.computeFileMd5 = ComputeFileMd5;
    operations.streamFile = StreamFile;
    operations.readFileAt = ReadFileAt;
    operations.generateKey = GenerateSigningKey;
    operations.sign = SignWithKeyFile;
    operations.verify = VerifySignature;
    operations.createPrivateFile = CreatePrivateFile;
    operations.errorIsTerminal = isatty(STDERR_FILENO) == 1;
    return operations;
}

std::vector<std::string> ReadArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}
