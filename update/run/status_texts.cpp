#include "update/run/status_texts.h"

const wchar_t kStatusChecking[] = L"Checking for updates...";
const wchar_t kStatusCannotConnect[] = L"Error: Cannot connect to update server.";
const wchar_t kStatusNoFiles[] = L"No files to download.";
const wchar_t kStatusCancelled[] = L"Update cancelled.";
const wchar_t kStatusDownloadingPrefix[] = L"Downloading: ";
const wchar_t kStatusDownloadFailedPrefix[] = L"Error downloading: ";
const wchar_t kStatusComplete[] = L"Update complete! Press GAME START to play.";
const wchar_t kStatusNotSigned[] = L"Error: The update list is not signed.";
const wchar_t kStatusNoRoomPrefix[] = L"Error: Not enough disk space: ";
const wchar_t kStatusInUsePrefix[] = L"Error: File in use: ";
const wchar_t kStatusCannotWritePrefix[] = L"Error: Cannot write: ";
const wchar_t kStatusListOlder[] = L"Error: The update list is older than the one installed.";
