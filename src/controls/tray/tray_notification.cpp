#include "controls/tray/tray_notification.h"

namespace qm {

TrayReaction decodeTrayNotification(float messageNumber, int moveButton) {
    // Exact comparison on purpose: the number arrives as a float coordinate.
    const auto is = [messageNumber](TrayMessage m) { return messageNumber == float(m); };
    if (is(TrayLeftDoubleClick))
        return {TrayEvent::DblClick, 0, false};
    if (is(TrayLeftUp))
        return {TrayEvent::Click, 0, false}; // no MouseUp for the left button
    if (is(TrayLeftDown))
        return {TrayEvent::MouseDown, 1, false};
    if (is(TrayRightDoubleClick))
        return {TrayEvent::DblClick, 0, false};
    if (is(TrayMiddleDown))
        return {TrayEvent::Click, 0, false};
    if (is(TrayRightDown))
        return {TrayEvent::MouseDown, 2, true};
    if (is(TrayRightUp))
        return {TrayEvent::MouseUp, 2, false};
    if (is(TrayMouseMove))
        return {TrayEvent::MouseMove, moveButton, false};
    return {};
}

} // namespace qm
