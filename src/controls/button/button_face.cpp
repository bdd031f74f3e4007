#include "controls/button/button_face.h"

namespace qm {

namespace {
constexpr int FirstFrame = 0;
constexpr int LastFrame = 4;
} // namespace

void ButtonFace::ShowState(int state, bool enabled) {
    if (state == 1)
        RestCell = PcHighlighted;
    else if (state == 0)
        RestCell = PcNormal;
    DrawSkin(enabled ? RestCell : PcDisabled);
}

void ButtonFace::DrawSkin(int cell) {
    m_face = {Strip::Pc, cell};
}

void ButtonFace::press() {
    m_moveInOn = false;
    DrawSkin(PcPressed);
}

void ButtonFace::moveInside(bool leftButtonAlone) {
    if (leftButtonAlone) {
        DrawSkin(PcPressed);
    } else if (!MouseInside) {
        MouseInside = true;
        startAnimation(false, true, FirstFrame);
    }
}

void ButtonFace::release() {
    if (!m_moveInOn) {
        startAnimation(true, true, FirstFrame);
    } else {
        AnimPressed = false;
        m_moveInOn = false;
        DrawSkin(PcHot);
    }
}

void ButtonFace::MoveInTick() {
    m_face = {AnimPressed ? Strip::Downs : Strip::Moves, AnimFrame};
    AnimFrame += AnimForward ? 1 : -1;
    if (AnimFrame > LastFrame || AnimFrame < FirstFrame) {
        AnimPressed = false;
        m_moveInOn = false;
    }
}

bool ButtonFace::pointerPollTick(bool pointerOutside) {
    if (!pointerOutside)
        return false;
    m_pointerPollOn = false;
    MouseInside = false;
    // Leaving always plays the hover-out from its first frame.
    startAnimation(false, false, LastFrame);
    return true;
}

void ButtonFace::startAnimation(bool pressed, bool forward, int frame) {
    AnimPressed = pressed;
    AnimForward = forward;
    AnimFrame = frame;
    m_moveInOn = true;
}

} // namespace qm
