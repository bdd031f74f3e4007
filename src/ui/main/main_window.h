#pragma once

#include "core/settings/stored_settings.h"
#include "ui/app_context.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QRadioButton;

namespace qm {

class AboutWindow;
class OnlineListWindow;
class PressableLabel;
class TrayArea;
class VistaButton;
class WindowDrag;
class WindowFade;

// The settings panel: a frameless window with its own title pictures, the
// five setting boxes, the online count, the apply button and the tray icon.
// It only shows what the relay controller reports and passes the user's
// actions on; it fades in at launch and fades out before the program ends.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(AppContext& ctx, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Automatic start is on: the window stays hidden, only the tray icon shows.
    bool startHidden() const { return m_startHidden; }

    // The close picture and the tray menu's exit: fade out, then end.
    void requestExit();

    // config.ini into the boxes and ban.dat into the ban list again, then,
    // while listening, what the apply button does (a restart).
    void reload();

signals:
    // The fade-out is over and the window unloaded: the program ends now.
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildTitle();
    void buildFields();
    void buildFooter();
    void buildFrame();
    void bindController();
    void load();
    void unload();

    SettingBoxes currentBoxes() const;
    void fillBoxes(const SettingBoxes& boxes);
    void colourServerBoxes(QLineEdit* host, QLineEdit* port, bool reachable);

    void hideToTray();
    void applySettings();
    void openAboutWindow();
    void openOnlineList();
    void toggleFromTray(int button);
    void placeBeside(QWidget* window) const;

    AppContext& m_ctx;
    bool m_startHidden = false;

    QLabel* m_background = nullptr;
    QLabel* m_titleLabel = nullptr;
    PressableLabel* m_minimisePicture = nullptr;
    PressableLabel* m_closePicture = nullptr;
    QLabel* m_clientPortLabel = nullptr;
    QLineEdit* m_clientPortBox = nullptr;
    QLabel* m_server1Label = nullptr;
    QLineEdit* m_server1HostBox = nullptr;
    QLineEdit* m_server1PortBox = nullptr;
    QRadioButton* m_preferServer1Button = nullptr;
    QLabel* m_server2Label = nullptr;
    QLineEdit* m_server2HostBox = nullptr;
    QLineEdit* m_server2PortBox = nullptr;
    QRadioButton* m_preferServer2Button = nullptr;
    PressableLabel* m_onlineLabel = nullptr;
    VistaButton* m_aboutButton = nullptr;
    VistaButton* m_applyButton = nullptr;
    TrayArea* m_trayIcon = nullptr;

    WindowFade* m_fade = nullptr;
    WindowDrag* m_drag = nullptr;
    QPointer<OnlineListWindow> m_onlineList;
    QPointer<AboutWindow> m_about;
};

} // namespace qm
