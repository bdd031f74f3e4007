#include "controls/button/button_face.h"

namespace qm {

namespace {
constexpr int FirstFrame = 0;
constexpr int LastFrame = 4;
} // namespace

void ButtonFace::showState(int state, bool enabled) {
    if (state == 1)
        restCell = PcHighlighted;
    else if (state == 0)
        restCell = PcNormal;
    drawSkin(enabled ? restCell : PcDisabled);
}

void ButtonFace::drawSkin(int cell) {
    m_face = {Strip::Pc, cell};
}

void ButtonFace::press() {
    m_moveInOn = false;
    drawSkin(PcPressed);
}

void ButtonFace::moveInside(bool leftButtonAlone) {
    if (leftButtonAlone) {
        drawSkin(PcPressed);
    } else if (!mouseInside) {
        mouseInside = true;
        startAnimation(false, true, FirstFrame);
    }
}

void ButtonFace::release() {
    if (!m_moveInOn) {
        startAnimation(true, true, FirstFrame);
    } else {
        animPressed = false;
        m_moveInOn = false;
        drawSkin(PcHot);
    }
}

void ButtonFace::moveInTick() {
    m_face = {animPressed ? Strip::Downs : Strip::Moves, animFrame};
    animFrame += animForward ? 1 : -1;
    if (animFrame > LastFrame || animFrame < FirstFrame) {
        animPressed = false;
        m_moveInOn = false;
    }
}

bool ButtonFace::pointerPollTick(bool pointerOutside) {
    if (!pointerOutside)
        return false;
    m_pointerPollOn = false;
    mouseInside = false;
    // Leaving always plays the hover-out from its first frame.
    startAnimation(false, false, LastFrame);
    return true;
}

void ButtonFace::startAnimation(bool pressed, bool forward, int frame) {
    animPressed = pressed;
    animForward = forward;
    animFrame = frame;
    m_moveInOn = true;
}

} // namespace qm
