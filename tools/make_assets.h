#pragma once
// The makers of the files under assets/: each writes its files into `folder` and
// returns the program's exit status.

#include <filesystem>

int makeTiles(const std::filesystem::path& folder);   // the images, icons and first h-score.txt
int makeSounds(const std::filesystem::path& folder);  // the four sounds
