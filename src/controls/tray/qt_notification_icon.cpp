#include "controls/tray/qt_notification_icon.h"

#include "controls/tray/tray_notification.h"

#include <QPointer>

namespace qm {

QtNotificationIcon::QtNotificationIcon(QObject* parent) : NotificationIcon(parent) {}

void QtNotificationIcon::add(const QIcon& icon, const QString& toolTip) {
    // Created even while no notification area exists: the platform adds the
    // icon once a panel appears, as when the program starts before the desktop.
    if (m_icon)
        return;
    m_icon = new QSystemTrayIcon(icon, this);
    m_icon->setToolTip(toolTip);
    connect(m_icon, &QSystemTrayIcon::activated, this, &QtNotificationIcon::onActivated);
    // Without a picture the platform refuses to show the icon; it appears once
    // a picture is given.
    if (!icon.isNull())
        m_icon->show();
}

void QtNotificationIcon::modifyIcon(const QIcon& icon) {
    if (!m_icon)
        return;
    m_icon->setIcon(icon);
    if (!icon.isNull())
        m_icon->show();
}

void QtNotificationIcon::modifyToolTip(const QString& toolTip) {
    if (m_icon)
        m_icon->setToolTip(toolTip);
}

void QtNotificationIcon::remove() {
    delete m_icon;
    m_icon = nullptr;
}

void QtNotificationIcon::onActivated(QSystemTrayIcon::ActivationReason reason) {
    // A handler of the first notification may remove the icon or end the owner.
    const QPointer<QtNotificationIcon> alive(this);
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        emit notified(TrayLeftDown, 1);
        if (alive)
            emit notified(TrayLeftUp, 0);
        break;
    case QSystemTrayIcon::DoubleClick:
        emit notified(TrayLeftDoubleClick, 0);
        break;
    case QSystemTrayIcon::MiddleClick:
        emit notified(TrayMiddleDown, 0);
        break;
    case QSystemTrayIcon::Context:
        emit notified(TrayRightDown, 2);
        if (alive)
            emit notified(TrayRightUp, 0);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

} // namespace qm
