#include "ui/bans/ban_address_dialog.h"

#include "controls/button/vista_button.h"
#include "controls/child_window.h"
#include "controls/window_style.h"
#include "core/bans/ip_address.h"
#include "service/ban_list.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

namespace qm {

namespace {

enum class OctetText { NotANumber, OutOfRange, Valid };

// Plain digits, blanks around them allowed. A minus sign makes a number
// below 0; any other form is not a number.
OctetText classifyOctet(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^ *(-?)([0-9]+) *$"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return OctetText::NotANumber;
    if (!match.captured(1).isEmpty() || match.captured(2).toInt() > 255)
        return OctetText::OutOfRange;
    return OctetText::Valid;
}

} // namespace

BanAddressDialog::BanAddressDialog(AppContext& ctx, int n, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ctx(ctx), m_n(n),
      m_cancel(new VistaButton(QStringLiteral("Отмена"), this)),
      m_apply(new VistaButton(QStringLiteral("Приминить"), this)) {
    setObjectName(QStringLiteral("frmBanIP"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Добавить IP в бан лист"));
    setFixedSize(twipsToPixels(4095), twipsToPixels(1080));

    auto* label = new QLabel(QStringLiteral("IP Адрес:"), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setGeometry(twipsRect(180, 240, 915, 255));
    const int boxLefts[] = {1140, 1800, 2460, 3120};
    for (size_t i = 0; i < m_octetBoxes.size(); ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("IP%1").arg(i + 1));
        box->setMaxLength(3);
        box->setGeometry(twipsRect(boxLefts[i], 180, 615, 315));
        box->installEventFilter(this);
        const int k = static_cast<int>(i) + 1;
        connect(box, &QLineEdit::textChanged, this, [this, k] { checkOctet(k); });
        m_octetBoxes[i] = box;
    }
    m_cancel->setObjectName(QStringLiteral("VistaButton2"));
    m_apply->setObjectName(QStringLiteral("VistaButton1"));
    for (VistaButton* button : {m_cancel, m_apply})
        button->setFont(buttonFont());
    m_cancel->setGeometry(twipsRect(1680, 660, 1035, 315));
    m_apply->setGeometry(twipsRect(2820, 660, 1035, 315));
    setTabOrder(m_octetBoxes[0], m_octetBoxes[1]);
    setTabOrder(m_octetBoxes[1], m_octetBoxes[2]);
    setTabOrder(m_octetBoxes[2], m_octetBoxes[3]);
    setTabOrder(m_octetBoxes[3], m_apply);
    setTabOrder(m_apply, m_cancel);

    connect(m_apply, &VistaButton::Click, this, &BanAddressDialog::apply);
    connect(m_cancel, &VistaButton::Click, this, &QWidget::close);

    if (m_n >= 0 && m_n < m_ctx.bans->table().count()) {
        const QStringList octets = numberToIp(m_ctx.bans->table().at(m_n)).split(QLatin1Char('.'));
        for (size_t i = 0; i < m_octetBoxes.size(); ++i)
            m_octetBoxes[i]->setText(octets.at(static_cast<qsizetype>(i)));
    }
    m_octetBoxes[0]->setFocus();
}

void BanAddressDialog::setApplyCaption(const QString& caption) {
    m_apply->setCaption(caption);
}

int BanAddressDialog::boxNumber(const QObject* object) const {
    for (size_t i = 0; i < m_octetBoxes.size(); ++i)
        if (m_octetBoxes[i] == object)
            return static_cast<int>(i) + 1;
    return 0;
}

void BanAddressDialog::checkOctet(int k) {
    QLineEdit* box = octetBox(k);
    switch (classifyOctet(box->text())) {
    case OctetText::Valid:
        return;
    case OctetText::OutOfRange:
        tell({QStringLiteral("IP адрес может быть только 1 - 255"), MessageIcon::None, true,
              QStringLiteral("address part out of range")});
        break;
    case OctetText::NotANumber:
        break;
    }
    // Emptying an empty box raises no further change.
    box->clear();
}

void BanAddressDialog::focusAfter(int k) {
    if (k == 4) {
        m_apply->setFocus();
        return;
    }
    QLineEdit* next = octetBox(k + 1);
    next->setFocus();
    next->selectAll();
}

bool BanAddressDialog::eventFilter(QObject* watched, QEvent* event) {
    const int k = boxNumber(watched);
    if (k == 0)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->text() == QLatin1String(".")) {
        // A dot never reaches the box; it moves on to the next octet.
        if (k < 4)
            focusAfter(k);
        return true;
    }
    if (event->type() == QEvent::KeyRelease && octetBox(k)->text().size() == 3)
        focusAfter(k);
    return QWidget::eventFilter(watched, event);
}

void BanAddressDialog::apply() {
    for (QLineEdit* box : m_octetBoxes) {
        if (box->text().isEmpty()) {
            // An empty box would convert the whole address to 0.0.0.0.
            tell({QStringLiteral("Введите все четыре числа IP адреса"), MessageIcon::Information,
                  true, QStringLiteral("address incomplete")});
            box->setFocus();
            return;
        }
    }
    QStringList octets;
    for (const QLineEdit* box : m_octetBoxes)
        octets << box->text();
    const QString text = octets.join(QLatin1Char('.'));
    const qint32 number = ipToNumber(text);

    const bool appending = m_n < 0 || m_n >= m_ctx.bans->table().count();
    BanList& bans = *m_ctx.bans;
    const BanList::Outcome outcome = appending ? bans.add(number) : bans.change(m_n, number);
    switch (outcome) {
    case BanList::Outcome::Saved:
        if (appending)
            emit rowAdded(text);
        else
            emit rowChanged(m_n, text);
        break;
    case BanList::Outcome::AlreadyBanned:
        tell(bans.messageFor(outcome));
        break;
    case BanList::Outcome::NotBanned: // only a removal meets it
    case BanList::Outcome::TableFull:
    case BanList::Outcome::SaveFailed:
        // Nothing was stored: the dialog stays open with the address typed.
        tell(bans.messageFor(outcome));
        return;
    }
    close();
}

void BanAddressDialog::tell(const UserMessage& message) {
    m_ctx.messages->show(this, message);
}

} // namespace qm
