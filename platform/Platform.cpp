#include "platform/Platform.h"

namespace platform {

const char* controlName(Control c)
{
    switch (c) {
    case Control::picSpace: return "picSpace";
    case Control::cmdStart: return "cmdStart";
    case Control::cmdClose: return "cmdClose";
    case Control::lblScore: return "lblScore";
    case Control::lblHighScore: return "lblHighScore";
    case Control::lblUFO: return "lblUFO";
    case Control::optMax0: return "optMax(0)";
    case Control::optMax1: return "optMax(1)";
    case Control::optMode0: return "optMode(0)";
    case Control::optMode1: return "optMode(1)";
    }
    return "?";
}

}  // namespace platform
