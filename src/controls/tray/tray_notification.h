#pragma once

namespace qm {

// Mouse notifications of the notification-area icon, by their message number.
enum TrayMessage : int {
    TrayMouseMove = 512,
    TrayLeftDown = 513,
    TrayLeftUp = 514,
    TrayLeftDoubleClick = 515,
    TrayRightDown = 516,
    TrayRightUp = 517,
    TrayRightDoubleClick = 518,
    TrayMiddleDown = 519,
};

enum class TrayEvent { None, MouseMove, MouseDown, MouseUp, DblClick, Click };

struct TrayReaction {
    TrayEvent event = TrayEvent::None;
    int button = 0;        // argument of MouseMove, MouseDown and MouseUp
    bool showMenu = false; // after the event's handlers have run
};

// What one notification raises: the first matching row only. moveButton is the
// button state carried by a mouse-move notification.
TrayReaction decodeTrayNotification(float messageNumber, int moveButton = 0);

} // namespace qm
