#pragma once

#include "controller_rig.h"
#include "settings/app_context.h"
#include "settings/frm_main.h"
#include "support/recording_message_boxes.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
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
    frmMain* open() {
        ctx = AppContext{rig.dir.path(), &rig.bans, &rig.clock, &messages, rig.controller.get()};
        window = std::make_unique<frmMain>(ctx);
        if (!window->startHidden())
            window->show();
        return window.get();
    }

    template <typename T> T* control(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QLineEdit* box(const char* name) const { return control<QLineEdit>(name); }
    QString text(const char* name) const { return control<QLabel>(name)->text(); }

    // Types the five boxes as a user would.
    void typeBoxes(const SettingBoxes& boxes) {
        const std::pair<const char*, QString> texts[] = {{"Text1", boxes.clientPort},
                                                         {"Text2", boxes.serverHost},
                                                         {"Text3", boxes.serverPort},
                                                         {"Text6", boxes.server2Host},
                                                         {"Text10", boxes.server2Port}};
        for (const auto& [name, text] : texts) {
            QLineEdit* edit = box(name);
            edit->selectAll();
            QTest::keyClicks(edit, text);
            if (text.isEmpty())
                QTest::keyClick(edit, Qt::Key_Delete);
        }
    }

    ControllerRig rig;
    RecordingMessageBoxes messages;
    AppContext ctx;
    std::unique_ptr<frmMain> window;
};

inline QColor textColour(const QLineEdit* edit) {
    return edit->palette().color(QPalette::Text);
}

} // namespace qm::test
