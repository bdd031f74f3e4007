#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QMenu;
class QWidget;

namespace qm {

class NotificationIcon;
class PropertyBag;

// One icon in the notification area with its picture and tooltip; mouse actions
// on it become the events below, and a right press opens the menu
// "Развернуть" / "ВЫХОД". Without a notification area the properties are kept
// and nothing is raised.
class TrayArea : public QObject {
    Q_OBJECT
public:
    static constexpr int PlatformToolTipLength = 64;

    explicit TrayArea(QObject* parent = nullptr);
    // For tests and other platforms: the icon requests go to platformIcon.
    explicit TrayArea(std::unique_ptr<NotificationIcon> platformIcon, QObject* parent = nullptr);
    ~TrayArea() override; // removes the icon

    QIcon icon() const { return m_icon; }
    // A null icon counts as absent and hides the icon (Visible becomes false).
    void setIcon(const QIcon& icon);

    QString toolTip() const { return m_toolTip; }
    // Stored trimmed and whole; the platform receives at most 64 characters.
    void setToolTip(const QString& toolTip);

    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);

    // The window "Развернуть" shows and focuses.
    void setMainWindow(QWidget* window) { m_mainWindow = window; }
    QMenu* menu() const;

    // Stored properties: no request reaches the platform while loading.
    void readProperties(const PropertyBag& bag);
    void writeProperties(PropertyBag& bag) const;

    // A mouse notification with its message number, as the platform reports it.
    void notify(float messageNumber, int button = 0);

signals:
    void MouseMove(int button, float x);
    void MouseDown(int button, float x);
    void MouseUp(int button, float x);
    void ExitProg();
    void DblClick();
    void Click();
    void PropertyChanged(const QString& name);

private:
    void addIcon();
    void unfold();

    std::unique_ptr<NotificationIcon> m_platform;
    std::unique_ptr<QMenu> m_menu;
    QPointer<QWidget> m_mainWindow;
    QIcon m_icon;
    QString m_toolTip;
    bool m_visible = false;
};

} // namespace qm
