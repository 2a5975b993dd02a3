#include "resources/resource_files_win.h"

#include <windows.h>
#include <gdiplus.h>
#include <objidl.h>

#include <cstring>

#include "base/scoped_win.h"

namespace {

struct ResourceBytes {
    const void* data = nullptr;
    DWORD length = 0;
};

bool FindRcData(HMODULE module, WORD id, ResourceBytes* bytes) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!found)
        return false;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded)
        return false;
    bytes->data = LockResource(loaded);
    bytes->length = SizeofResource(module, found);
    return true;
}

}  // namespace

std::wstring ExtractResourceToTemp(HMODULE module, WORD id, const std::wstring& fileName) {
    ResourceBytes bytes;
    if (!FindRcData(module, id, &bytes))
        return std::wstring();

    wchar_t folder[MAX_PATH];
    const DWORD folderLength = GetTempPathW(MAX_PATH, folder);
    if (folderLength == 0 || folderLength >= MAX_PATH)
        return std::wstring();
    const std::wstring path = std::wstring(folder, folderLength) + fileName;

    // Windows refuses to overwrite a read-only file; Wine run as root would not, so ask first.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return path;
    // Rewritten at every start: a file left by an earlier run, even a longer one, is truncated.
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (file.IsValid()) {
        DWORD written = 0;
        WriteFile(file.Get(), bytes.data, bytes.length, &written, nullptr);
    }
    return path;
}

Gdiplus::GpImage* LoadImageFromResource(HMODULE module, WORD id) {
    ResourceBytes bytes;
    if (!FindRcData(module, id, &bytes))
        return nullptr;

    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.length);
    if (!block)
        return nullptr;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(target, bytes.data, bytes.length);
    GlobalUnlock(block);

    // The stream owns the block from here and frees it with its last reference.
    // The image takes its own reference to the stream; ours goes at the end of this call, so the
    // stream, and the block with it, live exactly as long as the image.
    ScopedComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, stream.ReceiveTyped())) || !stream.Get()) {
        GlobalFree(block);
        return nullptr;
    }
    Gdiplus::GpImage* image = nullptr;
    Gdiplus::DllExports::GdipLoadImageFromStream(stream.Get(), &image);
    return image;
}
