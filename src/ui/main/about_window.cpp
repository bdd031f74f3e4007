#include "ui/main/about_window.h"

#include "controls/child_window.h"
#include "controls/pressable_label.h"
#include "controls/program_icon.h"
#include "controls/window_style.h"
#include "ui/main/about_pictures.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QUrl>

namespace qm {

namespace {

// Sizes in twips, as the main window's.
constexpr int WidthTwips = 4800;
constexpr int HeightTwips = 3765;
constexpr int HeaderTwips = 780;
constexpr int MarginTwips = 240;

int px(int twips) {
    return twipsToPixels(twips);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, const QFont& font,
                  const QColor& colour, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    setPaletteColour(label, QPalette::WindowText, colour);
    label->setGeometry(geometry);
    return label;
}

QFrame* makeLine(QWidget* parent, const QString& name, int top) {
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    setPaletteColour(line, QPalette::Window, QColor(170, 182, 196));
    line->setGeometry(px(MarginTwips), top, px(WidthTwips - 2 * MarginTwips), 1);
    return line;
}

} // namespace

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmDev"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Development"));
    setWindowIcon(programIcon());
    setFixedSize(px(WidthTwips), px(HeightTwips));

    const QColor ink(29, 43, 58);
    const QFont body = pixelFont(SansFamily, 12);
    const int left = px(MarginTwips);
    const int width = px(WidthTwips - 2 * MarginTwips);
    const int header = px(HeaderTwips);

    m_background = new QLabel(this);
    m_background->setObjectName(QStringLiteral("Image1"));
    m_background->setGeometry(rect());
    m_background->setPixmap(drawAboutBackground(size(), header, devicePixelRatioF()));

    m_titleLabel =
        makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Quillet Mirror v3.0b"),
                  pixelFont(SerifFamily, 21, true, true), Qt::white, QRect(left, 0, width, header));
    m_topLine = makeLine(this, QStringLiteral("Line1"), header + px(150));

    int top = header + px(300);
    const int row = px(330);
    auto addRow = [&](const QString& text) {
        QLabel* label = makeLabel(this, QStringLiteral("Label2"), text, body, ink,
                                  QRect(left, top, width, row));
        m_infoLabels.append(label);
        top += row;
    };
    addRow(QStringLiteral("Авторы: Quillet mirror team"));

    m_siteLabel = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("Сайт:"), body, ink,
                            QRect(left, top, px(600), row));
    m_siteLink = new PressableLabel(SiteAddress, this);
    m_siteLink->setObjectName(QStringLiteral("Label4"));
    m_siteLink->setFont(pixelFont(SansFamily, 12));
    setPaletteColour(m_siteLink, QPalette::WindowText, QColor(0, 0, 255));
    m_siteLink->setToolTip(SiteAddress);
    m_siteLink->setCursor(Qt::PointingHandCursor);
    m_siteLink->setGeometry(left + px(600), top, width - px(600), row);
    connect(m_siteLink, &PressableLabel::clicked, this, &AboutWindow::openSite);
    top += row;

    addRow(QStringLiteral("Email: team@quillet-mirror.example.org"));
    addRow(QStringLiteral("ICQ: 271-828-182, 314-159-265"));

    m_bottomLine = makeLine(this, QStringLiteral("Line2"), top + px(150));
    m_noticeLabel =
        makeLabel(this, QStringLiteral("Label5"),
                  QStringLiteral("Программа распространяется «как есть», без каких-либо "
                                 "гарантий. Пожелания и сообщения об ошибках присылайте "
                                 "на адрес выше."),
                  pixelFont(SansFamily, 11), QColor(70, 84, 100),
                  QRect(left, top + px(270), width, px(HeightTwips) - top - px(390)));
    m_noticeLabel->setWordWrap(true);
    m_noticeLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void AboutWindow::openSite() {
    QDesktopServices::openUrl(QUrl(SiteAddress));
}

} // namespace qm
