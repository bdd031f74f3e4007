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
    void openSite();

    QLabel* m_background;
    QLabel* m_titleLabel;
    QFrame* m_topLine;
    QList<QLabel*> m_infoLabels; // authors, e-mail, messenger
    QLabel* m_siteLabel;
    PressableLabel* m_siteLink;
    QFrame* m_bottomLine;
    QLabel* m_noticeLabel;
};

} // namespace qm
