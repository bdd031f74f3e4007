#pragma once

#include <QString>

namespace qm {

enum class MessageIcon { None, Critical, Warning, Information };

// A message box the program shows under its title "Quillet mirror".
// Messages raised by the network must never block the relay; those that answer
// a user's own action may be modal.
struct UserMessage {
    QString text;
    MessageIcon icon = MessageIcon::None;
    bool fromUserAction = false;
    QString event; // the same in English, for the headless log; may be empty
};

inline const QString ProgramTitle = QStringLiteral("Quillet mirror");

} // namespace qm
