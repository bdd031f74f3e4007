#pragma once

#include "support/controller_rig.h"
#include "support/recording_message_boxes.h"
#include "ui/app_context.h"
#include "ui/main/main_window.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <iterator>
#include <memory>

namespace qm::test {

// The main window over a real relay controller in a temporary program folder,
// with message boxes recorded instead of shown.
class MainWindowRig {
public:
    explicit MainWindowRig(int probeTimeoutMs = 1000) : rig(probeTimeoutMs) {}
    ~MainWindowRig() { window.reset(); }

    void writeConfig(const QByteArray& text) {
        QFile file(rig.configPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    // Loads the window as the entry routine does: shown unless started hidden.
    MainWindow* open() {
        ctx = AppContext{&rig.bans, &rig.clock, &messages, rig.controller.get()};
        window = std::make_unique<MainWindow>(ctx);
        if (!window->startHidden())
            window->show();
        return window.get();
    }

    template <typename T> T* control(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QLineEdit* box(const char* name) const { return control<QLineEdit>(name); }
    QString text(const char* name) const { return control<QLabel>(name)->text(); }

    // The five setting boxes, in the order of SettingBoxes' fields.
    static constexpr const char* BoxNames[] = {"Text1", "Text2", "Text3", "Text6", "Text10"};

    QStringList boxTexts() const {
        QStringList texts;
        for (const char* name : BoxNames)
            texts << box(name)->text();
        return texts;
    }

    // Types the five boxes as a user would.
    void typeBoxes(const SettingBoxes& boxes) {
        const QString texts[] = {boxes.clientPort, boxes.serverHost, boxes.serverPort,
                                 boxes.server2Host, boxes.server2Port};
        for (size_t i = 0; i < std::size(BoxNames); ++i) {
            QLineEdit* edit = box(BoxNames[i]);
            edit->selectAll();
            QTest::keyClicks(edit, texts[i]);
            if (texts[i].isEmpty())
                QTest::keyClick(edit, Qt::Key_Delete);
        }
    }

    ControllerRig rig;
    RecordingMessageBoxes messages;
    AppContext ctx;
    std::unique_ptr<MainWindow> window;
};

inline QColor textColour(const QLineEdit* edit) {
    return edit->palette().color(QPalette::Text);
}

} // namespace qm::test
