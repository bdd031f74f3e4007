#pragma once

#include <QList>
#include <QWidget>

class QFrame;
class QLabel;

namespace qm {

class PressableLabel;

// The about window: program name, authors, site link, contacts and a notice.
// Closed through its window frame; deletes itself when closed.
class AboutWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString SiteAddress = QStringLiteral("https://quillet-mirror.example.org");

    explicit AboutWindow(QWidget* parent = nullptr);

private:
    void Label4_Click();

    QLabel* Image1;
    QLabel* Label1;
    QFrame* Line1;
    QList<QLabel*> Label2; // authors, e-mail, messenger
    QLabel* Label3;
    PressableLabel* Label4;
    QFrame* Line2;
    QLabel* Label5;
};

} // namespace qm
