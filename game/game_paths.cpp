#include "game/game_paths.h"

std::wstring BuildGameClientPath(const std::wstring& folder) {
    return folder + kGameClientFragment;
}

std::array<std::wstring, 4> BuildAutoLoginPaths(const std::wstring& folder) {
    std::array<std::wstring, 4> paths;
    for (size_t i = 0; i < kAutoLoginFragments.size(); ++i)
        paths[i] = folder + kAutoLoginFragments[i];
    return paths;
}
