// Integer ids of the resources the program carries (all RT_RCDATA unless noted).
#pragma once

#define IDR_BACKGROUND_JPEG 2
#define IDR_MUSIC_MP3 3
#define IDR_YOUTUBE_PNG 4
#define IDR_INSTAGRAM_PNG 5
#define IDR_DISCORD_PNG 6
#define IDR_TIKTOK_PNG 7
#define IDI_PROGRAM 1  // icon group
