#pragma once

#include "controls/message_boxes.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace qm::test {

// Remembers every message box a window asks for and answers it at once.
class RecordingMessageBoxes final : public MessageBoxes {
public:
    struct Shown {
        QPointer<QWidget> parent;
        UserMessage message;
    };

    void show(QWidget* parent, const UserMessage& message) override {
        m_shown.append({parent, message});
    }

    const QList<Shown>& shown() const { return m_shown; }
    QStringList texts() const {
        QStringList all;
        for (const Shown& box : m_shown)
            all << box.message.text;
        return all;
    }
    void clear() { m_shown.clear(); }

private:
    QList<Shown> m_shown;
};

} // namespace qm::test
