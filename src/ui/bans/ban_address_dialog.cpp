#include "ui/bans/ban_address_dialog.h"

#include "controls/button/vista_button.h"
#include "controls/child_window.h"
#include "controls/window_style.h"
#include "core/bans/ip_address.h"
#include "service/ban_list.h"

#include <QClipboard>
#include <QGuiApplication>
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

// The longest IPv6 text, a mapped IPv4 tail included.
constexpr int Ipv6TextLength = 45;

// Text of box 1 that can only be the start of an IPv6 address.
bool startsIpv6(const QString& text) {
    static const QRegularExpression ipv6(QStringLiteral("^[0-9A-Fa-f:.]*[A-Fa-f:][0-9A-Fa-f:.]*$"));
    return ipv6.match(text).hasMatch();
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

    if (m_n >= 0 && m_n < m_ctx.bans->rowCount()) {
        const IpAddress address = m_ctx.bans->rowAddress(m_n);
        if (address.isIpv6) {
            setIpv6Mode(true);
            m_octetBoxes[0]->setText(ipAddressText(address));
        } else {
            const QStringList octets = numberToIp(address.ipv4).split(QLatin1Char('.'));
            for (size_t i = 0; i < m_octetBoxes.size(); ++i)
                m_octetBoxes[i]->setText(octets.at(static_cast<qsizetype>(i)));
        }
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

void BanAddressDialog::setIpv6Mode(bool on) {
    if (m_ipv6Mode == on)
        return;
    m_ipv6Mode = on;
    QLineEdit* first = m_octetBoxes[0];
    first->setMaxLength(on ? Ipv6TextLength : 3);
    // Over the four boxes' place: the dialog keeps its size.
    first->setGeometry(on ? twipsRect(1140, 180, 2595, 315) : twipsRect(1140, 180, 615, 315));
    for (size_t i = 1; i < m_octetBoxes.size(); ++i) {
        m_octetBoxes[i]->clear();
        m_octetBoxes[i]->setVisible(!on);
    }
    setTabOrder(first, on ? static_cast<QWidget*>(m_apply) : m_octetBoxes[1]);
}

bool BanAddressDialog::pasteIpv6() {
    const QString text = QGuiApplication::clipboard()->text().trimmed();
    if (!text.contains(u':') || text.size() > Ipv6TextLength)
        return false;
    setIpv6Mode(true);
    m_octetBoxes[0]->setText(text);
    m_octetBoxes[0]->setFocus();
    return true;
}

void BanAddressDialog::checkOctet(int k) {
    QLineEdit* box = octetBox(k);
    if (k == 1 && m_ipv6Mode) {
        if (box->text().isEmpty())
            setIpv6Mode(false);
        return;
    }
    if (k == 1 && startsIpv6(box->text())) {
        setIpv6Mode(true);
        return;
    }
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
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste) && pasteIpv6())
        return true;
    if (m_ipv6Mode) // one box: no octets to move between
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->text() == QLatin1String(":")) {
        // Decimal digits of a first group ran on into the next boxes: they
        // come back together in the first.
        QString typed;
        for (int i = 1; i <= k; ++i)
            typed += octetBox(i)->text();
        setIpv6Mode(true);
        m_octetBoxes[0]->setText(typed + u':');
        m_octetBoxes[0]->setFocus();
        return true;
    }
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
    IpAddress address;
    QString text; // the rows show IPv4 as typed, until the list is opened again
    if (m_ipv6Mode) {
        const std::optional<Ipv6Address> ipv6 = ipv6FromText(m_octetBoxes[0]->text());
        if (!ipv6) {
            tell({QStringLiteral("Это не IPv6 адрес"), MessageIcon::Information, true,
                  QStringLiteral("not an IPv6 address")});
            m_octetBoxes[0]->setFocus();
            return;
        }
        address = ipAddressFromText(ipv6ToText(*ipv6));
        text = ipAddressText(address);
    } else if (!readOctets(&address, &text)) {
        return;
    }
    const bool appending = m_n < 0 || m_n >= m_ctx.bans->rowCount();
    BanList& bans = *m_ctx.bans;
    const BanList::Outcome outcome =
        appending ? bans.addAddress(address) : bans.changeRow(m_n, address);
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

bool BanAddressDialog::readOctets(IpAddress* address, QString* text) {
    for (QLineEdit* box : m_octetBoxes) {
        if (box->text().isEmpty()) {
            // An empty box would convert the whole address to 0.0.0.0.
            tell({QStringLiteral("Введите все четыре числа IP адреса"), MessageIcon::Information,
                  true, QStringLiteral("address incomplete")});
            box->setFocus();
            return false;
        }
    }
    QStringList octets;
    for (const QLineEdit* box : m_octetBoxes)
        octets << box->text();
    *text = octets.join(QLatin1Char('.'));
    address->ipv4 = ipToNumber(*text);
    return true;
}

void BanAddressDialog::tell(const UserMessage& message) {
    m_ctx.messages->show(this, message);
}

} // namespace qm
