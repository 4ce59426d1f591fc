#pragma once
// The arrays the window's procedures share: the well and the tile images.

#include <array>
#include <cstdint>

#include "platform/Platform.h"

namespace game {

// The well: columns 0 to 8, rows 0 to 8 played from the top down, and under them a
// guard row that always reads empty.
inline constexpr int kColumns = 9;
inline constexpr int kLastColumn = kColumns - 1;
inline constexpr int kBottomRow = 8;
inline constexpr int kGuardRow = kBottomRow + 1;
inline constexpr int kRows = kGuardRow + 1;

// Where the well is drawn: cell (column, row) has its top-left corner at
// (column * kCell + kWellLeft, row * kCell + kWellTop); the UFO lane is the band above.
inline constexpr int kCell = 33;
inline constexpr int kWellLeft = 32;
inline constexpr int kWellTop = 96;

// A game is fifty UFOs; a column whose numbers add up to a multiple of ten empties.
inline constexpr int kUfosPerGame = 50;
inline constexpr int kClearingSum = 10;

// The largest number a UFO may carry, as the player chooses.
inline constexpr std::int16_t kUpToFive = 5;
inline constexpr std::int16_t kUpToNine = 9;

// Cell codes; the same numbers index `tiles`.
inline constexpr std::int16_t kEmpty = 0;
inline constexpr std::int16_t kUfoClosed = 10;
inline constexpr std::int16_t kUfoOpen = 11;
inline constexpr std::int16_t kBomb = 12;
inline constexpr std::int16_t kBlast = 13;

struct modlUFO {
    // Column-fastest: (column, row) is element column + row * 9.
    std::array<std::int16_t, kColumns * kRows> board{};
    std::array<platform::PictureRef, 16> tiles{};

    std::int16_t& cell(int column, int row) { return board.at(static_cast<size_t>(column + row * kColumns)); }
    std::int16_t cell(int column, int row) const { return board.at(static_cast<size_t>(column + row * kColumns)); }
};

}  // namespace game
