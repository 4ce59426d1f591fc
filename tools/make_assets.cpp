// make_assets: makes the game's files. They use the standard library only, so the
// bytes they write do not depend on the machine they run on.
//
//   make_assets tiles|sounds FOLDER

#include <cstdio>
#include <cstring>

#include "make_assets.h"

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "tiles") == 0)
        return makeTiles(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "sounds") == 0)
        return makeSounds(argv[2]);
    std::fprintf(stderr, "usage: make_assets tiles|sounds FOLDER\n");
    return 2;
}
