#pragma once
// Where the game's files are: the player's own folder, which holds the best score
// and any image or sound the player put there to replace the game's own, and the
// assets installed with the program.

#include <string>

namespace platform {

struct GameFolders {
    std::string player;  // empty: the working directory
    std::string assets;  // empty: the working directory

    // The player's file of that name when there is one, else the installed one.
    std::string locate(const std::string& bareName) const;
};

// For this user, ${XDG_DATA_HOME:-~/.local/share}/zenkora (a relative XDG_DATA_HOME is
// ignored), and the assets at the installed place relative to this program. The
// player's folder stays empty when no home folder can be found.
GameFolders findGameFolders();

// Makes the player's folder, with the installed file `seedFile` (the best score's) in
// it, when there is none yet; removes what first starts killed halfway left beside it.
// False with `problem` set to what failed and where.
bool makePlayerFolder(const GameFolders& folders, const std::string& seedFile, std::string& problem);

}  // namespace platform
