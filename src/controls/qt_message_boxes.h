#pragma once

#include "controls/message_boxes.h"

#include <QHash>
#include <QPointer>

class QMessageBox;

namespace qm {

// Message boxes under the program's title with an OK button. One that answers
// the user's own action is modal; one raised by the network opens without
// blocking, and while a box with the same text is open no second one appears.
class QtMessageBoxes final : public MessageBoxes {
public:
    void show(QWidget* parent, const UserMessage& message) override;

private:
    QHash<QString, QPointer<QMessageBox>> m_openNetworkBoxes; // by text
};

} // namespace qm
