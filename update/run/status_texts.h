// The texts a run shows in the status line, each exactly as the player reads it.
#pragma once

extern const wchar_t kStatusChecking[];
extern const wchar_t kStatusCannotConnect[];
extern const wchar_t kStatusNoFiles[];
extern const wchar_t kStatusCancelled[];
extern const wchar_t kStatusDownloadingPrefix[];
extern const wchar_t kStatusDownloadFailedPrefix[];
extern const wchar_t kStatusComplete[];
extern const wchar_t kStatusNotSigned[];
extern const wchar_t kStatusNoRoomPrefix[];
extern const wchar_t kStatusInUsePrefix[];
extern const wchar_t kStatusCannotWritePrefix[];
extern const wchar_t kStatusListOlder[];
