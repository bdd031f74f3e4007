#include "controls/tray/tray_area.h"

#include "controls/tray/notification_icon.h"
#include "controls/tray/property_bag.h"
#include "controls/tray/qt_notification_icon.h"
#include "controls/tray/tray_notification.h"

#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QWidget>

namespace qm {

namespace {

QString platformToolTip(const QString& toolTip) {
    return toolTip.left(TrayArea::PlatformToolTipLength);
}

} // namespace

TrayArea::TrayArea(QObject* parent) : TrayArea(std::make_unique<QtNotificationIcon>(), parent) {}

TrayArea::TrayArea(std::unique_ptr<NotificationIcon> platformIcon, QObject* parent)
    : QObject(parent), m_platform(std::move(platformIcon)), m_menu(std::make_unique<QMenu>()) {
    connect(m_platform.get(), &NotificationIcon::notified, this, &TrayArea::notify);

    QAction* unfoldItem = m_menu->addAction(QStringLiteral("Развернуть"));
    unfoldItem->setObjectName(QStringLiteral("Unfold"));
    connect(unfoldItem, &QAction::triggered, this, &TrayArea::unfold);
    m_menu->addSeparator()->setObjectName(QStringLiteral("u"));
    QAction* closeItem = m_menu->addAction(QStringLiteral("ВЫХОД"));
    closeItem->setObjectName(QStringLiteral("Close"));
    connect(closeItem, &QAction::triggered, this, &TrayArea::ExitProg);
}

TrayArea::~TrayArea() {
    m_platform->remove();
}

void TrayArea::setIcon(const QIcon& icon) {
    m_icon = icon;
    if (icon.isNull())
        setVisible(false);
    else if (m_visible)
        m_platform->modifyIcon(icon);
    emit PropertyChanged(QStringLiteral("Icon"));
}

void TrayArea::setToolTip(const QString& toolTip) {
    m_toolTip = toolTip.trimmed();
    m_platform->modifyToolTip(platformToolTip(m_toolTip));
    emit PropertyChanged(QStringLiteral("ToolTip"));
}

void TrayArea::setVisible(bool visible) {
    if (visible == m_visible)
        return;
    m_visible = visible;
    if (visible)
        addIcon();
    else
        m_platform->remove();
    emit PropertyChanged(QStringLiteral("Visible"));
}

QMenu* TrayArea::menu() const {
    return m_menu.get();
}

void TrayArea::addIcon() {
    m_platform->add(m_icon, platformToolTip(m_toolTip));
}

void TrayArea::unfold() {
    if (!m_mainWindow)
        return;
    m_mainWindow->setWindowState(m_mainWindow->windowState() & ~Qt::WindowMinimized);
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
    m_mainWindow->setFocus(Qt::OtherFocusReason);
}

void TrayArea::readProperties(const PropertyBag& bag) {
    m_icon = bag.read(QStringLiteral("Icon"), QVariant()).value<QIcon>();
    m_toolTip = bag.read(QStringLiteral("ToolTip"), QString()).toString();
    m_visible = bag.read(QStringLiteral("Visible"), false).toBool();
}

void TrayArea::writeProperties(PropertyBag& bag) const {
    bag.write(QStringLiteral("Icon"), m_icon.isNull() ? QVariant() : QVariant(m_icon), QVariant());
    bag.write(QStringLiteral("ToolTip"), m_toolTip, QString());
    bag.write(QStringLiteral("Visible"), m_visible, false);
}

void TrayArea::notify(float messageNumber, int button) {
    const TrayReaction reaction = decodeTrayNotification(messageNumber, button);
    const QPointer<TrayArea> alive(this); // a handler may end the program's window
    switch (reaction.event) {
    case TrayEvent::None:
        return;
    case TrayEvent::MouseMove:
        emit MouseMove(reaction.button, messageNumber);
        break;
    case TrayEvent::MouseDown:
        emit MouseDown(reaction.button, messageNumber);
        break;
    case TrayEvent::MouseUp:
        emit MouseUp(reaction.button, messageNumber);
        break;
    case TrayEvent::DblClick:
        emit DblClick();
        break;
    case TrayEvent::Click:
        emit Click();
        break;
    }
    if (alive && reaction.showMenu)
        m_menu->popup(QCursor::pos());
}

} // namespace qm
