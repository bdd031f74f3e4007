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
    bool startHidden() const { return StartHidden; }

    // The close picture and the tray menu's exit: fade out, then end.
    void requestExit();

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
    void Form_Load();
    void Form_Unload();

    SettingBoxes currentBoxes() const;
    void fillBoxes(const SettingBoxes& boxes);
    void colourServerBoxes(QLineEdit* host, QLineEdit* port, bool reachable);

    void img_min_Click();
    void Label3_Click();
    void VistaButton1_Click();
    void Online_Click();
    void TrayArea1_MouseDown(int button);
    void placeBeside(QWidget* window) const;

    AppContext& m_ctx;
    bool StartHidden = false;

    QLabel* Image1 = nullptr;
    QLabel* Label5 = nullptr;
    PressableLabel* img_min = nullptr;
    PressableLabel* exit_img = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QRadioButton* Option1 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Text6 = nullptr;
    QLineEdit* Text10 = nullptr;
    QRadioButton* Option2 = nullptr;
    PressableLabel* Online = nullptr;
    VistaButton* VistaButton1 = nullptr;
    VistaButton* Label3 = nullptr;
    TrayArea* TrayArea1 = nullptr;

    WindowFade* m_fade = nullptr;
    WindowDrag* m_drag = nullptr;
    QPointer<OnlineListWindow> m_onlineList;
    QPointer<AboutWindow> m_dev;
};

} // namespace qm
