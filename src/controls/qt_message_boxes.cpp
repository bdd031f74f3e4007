#include "controls/qt_message_boxes.h"

#include <QMessageBox>

namespace qm {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void QtMessageBoxes::show(QWidget* parent, const UserMessage& message) {
    if (message.fromUserAction) {
        QMessageBox box(boxIcon(message.icon), ProgramTitle, message.text, QMessageBox::Ok, parent);
        box.exec();
        return;
    }
    // A box already answered may wait for its deletion: it no longer counts.
    if (QMessageBox* open = m_openNetworkBoxes.value(message.text); open && open->isVisible()) {
        open->raise();
        return;
    }
    m_openNetworkBoxes.removeIf(
        [](const auto& entry) { return !entry.value() || !entry.value()->isVisible(); });
    auto* box =
        new QMessageBox(boxIcon(message.icon), ProgramTitle, message.text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_openNetworkBoxes.insert(message.text, box);
    box->open();
}

} // namespace qm
