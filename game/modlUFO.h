#pragma once
// The arrays the window's procedures share: the well and the tile images.

#include <array>
#include <cstdint>

#include "platform/Platform.h"

namespace game {

inline constexpr int kColumns = 9;
inline constexpr int kRows = 10;  // rows 0 to 8 are played; row 9 is a guard row, always empty

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
