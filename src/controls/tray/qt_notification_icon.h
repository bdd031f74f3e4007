#pragma once

#include "controls/tray/notification_icon.h"

#include <QSystemTrayIcon>

namespace qm {

// The notification icon of the desktop session. Where the session has no
// notification area the requests are dropped and nothing is reported.
class QtNotificationIcon final : public NotificationIcon {
    Q_OBJECT
public:
    explicit QtNotificationIcon(QObject* parent = nullptr);

    void add(const QIcon& icon, const QString& toolTip) override;
    void modifyIcon(const QIcon& icon) override;
    void modifyToolTip(const QString& toolTip) override;
    void remove() override;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon* m_icon = nullptr; // exists while added
};

} // namespace qm
