#pragma once
// A playfield that draws nothing, for programs that run the rules or the sound layer
// without a window.

#include "platform/Platform.h"

namespace fake {

struct NullSurface : platform::Surface {
    void setPixelUnits() override {}
    void setPersistent(bool) override {}
    void paintPicture(const platform::Picture&, int, int) override {}
    void fillBlack(int, int, int, int) override {}
    void present() override {}
};

}  // namespace fake
