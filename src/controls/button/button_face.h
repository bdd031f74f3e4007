#pragma once

namespace qm {

// The picture strips a button face comes from.
enum class Strip { Pc, Moves, Downs };

// Cells of the Pc strip.
enum PcCell : int { PcNormal = 0, PcPressed = 1, PcDisabled = 2, PcHot = 3, PcHighlighted = 4 };

struct Face {
    Strip strip = Strip::Pc;
    int cell = PcNormal;
    bool operator==(const Face&) const = default;
};

// Which face an animated button shows and how its two timers run, without
// widgets: MoveIn steps the animation every 100 ms, the pointer poll looks for
// the pointer every 10 ms until it is outside. The caller runs the timers as the flags say
// and repaints the face after each call.
class ButtonFace {
public:
    static constexpr int MoveInIntervalMs = 100;
    static constexpr int PointerPollIntervalMs = 10;

    // The resting face: State 1 highlighted, 0 normal, others keep the last one.
    void showState(int state, bool enabled);
    void drawSkin(int cell);

    void press();
    // Every move starts the poll first; a move inside then animates.
    void pointerMoved() { m_pointerPollOn = true; }
    void moveInside(bool leftButtonAlone);
    void release();
    void focusIn() { drawSkin(PcHighlighted); }
    void focusOut() { drawSkin(PcNormal); }

    void moveInTick();
    // Returns true when the pointer was found outside: the caller raises MouseOut.
    bool pointerPollTick(bool pointerOutside);

    Face face() const { return m_face; }
    bool moveInOn() const { return m_moveInOn; }
    bool pointerPollOn() const { return m_pointerPollOn; }

    int restCell = PcNormal;
    int animFrame = 0;
    bool animForward = false;
    bool animPressed = false;
    bool mouseInside = false;

private:
    void startAnimation(bool pressed, bool forward, int frame);

    Face m_face;
    bool m_moveInOn = false;
    bool m_pointerPollOn = false;
};

} // namespace qm
