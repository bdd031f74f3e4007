#include "settings/frm_dev.h"

#include "controls/child_window.h"
#include "controls/program_icon.h"
#include "settings/about_pictures.h"
#include "settings/pressable_label.h"

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

QFont fontOf(const QString& family, int pixelSize, bool bold = false, bool italic = false) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, const QFont& font,
                  const QColor& colour, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setGeometry(geometry);
    return label;
}

QFrame* makeLine(QWidget* parent, const QString& name, int top) {
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor(170, 182, 196));
    line->setPalette(palette);
    line->setGeometry(px(MarginTwips), top, px(WidthTwips - 2 * MarginTwips), 1);
    return line;
}

} // namespace

frmDev::frmDev(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmDev"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Development"));
    setWindowIcon(programIcon());
    setFixedSize(px(WidthTwips), px(HeightTwips));

    const QColor ink(29, 43, 58);
    const QFont body = fontOf(QStringLiteral("DejaVu Sans"), 12);
    const int left = px(MarginTwips);
    const int width = px(WidthTwips - 2 * MarginTwips);
    const int header = px(HeaderTwips);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(rect());
    Image1->setPixmap(drawAboutBackground(size(), header, devicePixelRatioF()));

    Label1 = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Quillet Mirror v3.0b"),
                       fontOf(QStringLiteral("DejaVu Serif"), 21, true, true), Qt::white,
                       QRect(left, 0, width, header));
    Line1 = makeLine(this, QStringLiteral("Line1"), header + px(150));

    int top = header + px(300);
    const int row = px(330);
    auto addRow = [&](const QString& text) {
        QLabel* label = makeLabel(this, QStringLiteral("Label2"), text, body, ink,
                                  QRect(left, top, width, row));
        Label2.append(label);
        top += row;
    };
    addRow(QStringLiteral("Авторы: Quillet mirror team"));

    Label3 = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("Сайт:"), body, ink,
                       QRect(left, top, px(600), row));
    Label4 = new PressableLabel(SiteAddress, this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(fontOf(QStringLiteral("DejaVu Sans"), 12));
    QPalette link = Label4->palette();
    link.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label4->setPalette(link);
    Label4->setToolTip(SiteAddress);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->setGeometry(left + px(600), top, width - px(600), row);
    connect(Label4, &PressableLabel::clicked, this, &frmDev::Label4_Click);
    top += row;

    addRow(QStringLiteral("Email: team@quillet-mirror.example.org"));
    addRow(QStringLiteral("ICQ: 271-828-182, 314-159-265"));

    Line2 = makeLine(this, QStringLiteral("Line2"), top + px(150));
    Label5 = makeLabel(this, QStringLiteral("Label5"),
                       QStringLiteral("Программа распространяется «как есть», без каких-либо "
                                      "гарантий. Пожелания и сообщения об ошибках присылайте "
                                      "на адрес выше."),
                       fontOf(QStringLiteral("DejaVu Sans"), 11), QColor(70, 84, 100),
                       QRect(left, top + px(270), width, px(HeightTwips) - top - px(390)));
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void frmDev::Label4_Click() {
    QDesktopServices::openUrl(QUrl(SiteAddress));
}

} // namespace qm
