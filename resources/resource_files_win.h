// Bringing the embedded resources out: as files in the temporary folder, or as decoded pictures.
#pragma once

#include <windows.h>

#include <string>

namespace Gdiplus {
class GpImage;
}

// Writes RCDATA resource `id` to `fileName` in the user's temporary folder, replacing any file of
// that name, and returns the file's full path. Empty when the resource does not exist or the
// temporary folder cannot be read; the path is returned even when the file could not be written.
std::wstring ExtractResourceToTemp(HMODULE module, WORD id, const std::wstring& fileName);

// Decodes RCDATA resource `id` (JPEG or PNG) into a GDI+ image that keeps its own memory stream;
// null when the resource is missing. The caller disposes of it with GdipDisposeImage.
// GDI+ must be running.
Gdiplus::GpImage* LoadImageFromResource(HMODULE module, WORD id);
