#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

namespace qm {

// The platform's side of one notification-area icon: add, change and remove it,
// and report mouse actions on it as TrayMessage numbers. Requests for an icon
// that is not present have no effect; nothing is reported back.
class NotificationIcon : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void add(const QIcon& icon, const QString& toolTip) = 0;
    virtual void modifyIcon(const QIcon& icon) = 0;
    virtual void modifyToolTip(const QString& toolTip) = 0;
    virtual void remove() = 0;

signals:
    void notified(float messageNumber, int button);
};

} // namespace qm
