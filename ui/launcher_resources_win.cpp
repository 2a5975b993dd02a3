#include "ui/launcher_resources_win.h"

#include <windows.h>
#include <gdiplus.h>

#include <initializer_list>

#include "resources/resource_files_win.h"
#include "resources/resource_ids.h"
#include "ui/colour.h"
#include "ui/draw_primitives_win.h"
#include "ui/main_window_paint_win.h"

void CreateLauncherResources(HMODULE module, LauncherResources& resources) {
    resources.buttonFont = CreateFontOf(L"Arial", 16, FW_BOLD);
    resources.statusFont = CreateFontOf(L"Arial", 13, FW_NORMAL);
    resources.backgroundImage = LoadImageFromResource(module, IDR_BACKGROUND_JPEG);
    resources.youtubeIcon = LoadImageFromResource(module, IDR_YOUTUBE_PNG);
    resources.instagramIcon = LoadImageFromResource(module, IDR_INSTAGRAM_PNG);
    resources.discordIcon = LoadImageFromResource(module, IDR_DISCORD_PNG);
    resources.tiktokIcon = LoadImageFromResource(module, IDR_TIKTOK_PNG);
    resources.statusBrush = CreateSolidBrush(kStatusBackgroundColour);
}

void FreeLauncherResources(LauncherResources& resources) {
    // The back buffer's DC goes first: a font still selected into a DC cannot be deleted.
    FreeBackBuffer(resources);
    FreeBackgroundCache(resources);
    for (GpImage** image : {&resources.backgroundImage, &resources.youtubeIcon, &resources.instagramIcon,
                            &resources.discordIcon, &resources.tiktokIcon}) {
        if (*image)
            Gdiplus::DllExports::GdipDisposeImage(*image);
        *image = nullptr;
    }
    for (HFONT* font : {&resources.buttonFont, &resources.statusFont}) {
        if (*font)
            DeleteObject(*font);
        *font = nullptr;
    }
    if (resources.statusBrush)
        DeleteObject(resources.statusBrush);
    resources.statusBrush = nullptr;
}
