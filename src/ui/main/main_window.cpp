#include "ui/main/main_window.h"

#include "controls/button/vista_button.h"
#include "controls/child_window.h"
#include "controls/pressable_label.h"
#include "controls/program_icon.h"
#include "controls/tray/tray_area.h"
#include "controls/window_drag.h"
#include "controls/window_fade.h"
#include "controls/window_style.h"
#include "ui/main/about_window.h"
#include "ui/main/main_window_pictures.h"
#include "ui/online/online_list_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSystemTrayIcon>

namespace qm {

namespace {

constexpr int WidthTwips = 4605;
constexpr int HeightTwips = 2970;

const QColor ReachableText(31, 65, 16);
const QColor UnreachableText(162, 19, 51);
const QColor OnlinePressedBack(107, 107, 107);

void setWhiteOnBlack(QWidget* widget) {
    setPaletteColour(widget, QPalette::Base, Qt::black);
    setPaletteColour(widget, QPalette::Text, Qt::white);
}

QLabel* captionLabel(QWidget* parent, const QString& name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(pixelFont(SansFamily, 11));
    setPaletteColour(label, QPalette::WindowText, Qt::white);
    label->setGeometry(geometry);
    return label;
}

QLineEdit* settingBox(QWidget* parent, const QString& name, const QString& text, QRect geometry) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(name);
    box->setFont(pixelFont(SansFamily, 11));
    box->setTextMargins(1, 0, 1, 0);
    setWhiteOnBlack(box);
    box->setGeometry(geometry);
    return box;
}

QRadioButton* preferenceButton(QWidget* parent, const QString& name, QRect geometry) {
    auto* button = new QRadioButton(parent);
    button->setObjectName(name);
    setWhiteOnBlack(button);
    button->setGeometry(geometry);
    return button;
}

// A title picture that shows its pressed look while any button is held on it.
PressableLabel* titlePicture(QWidget* parent, const QString& name, QRect geometry, TitleGlyph glyph,
                             const QString& toolTip) {
    const qreal ratio = parent->devicePixelRatioF();
    const QPixmap released = drawTitlePicture(glyph, TitleLook::Released, geometry.size(), ratio);
    const QPixmap pressed = drawTitlePicture(glyph, TitleLook::Pressed, geometry.size(), ratio);
    auto* picture = new PressableLabel(parent);
    picture->setObjectName(name);
    picture->setGeometry(geometry);
    picture->setPixmap(released);
    picture->setToolTip(toolTip);
    QObject::connect(picture, &PressableLabel::pressed, picture,
                     [picture, pressed] { picture->setPixmap(pressed); });
    QObject::connect(picture, &PressableLabel::released, picture,
                     [picture, released] { picture->setPixmap(released); });
    return picture;
}

} // namespace

MainWindow::MainWindow(AppContext& ctx, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_ctx(ctx) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(ProgramTitle);
    setWindowIcon(programIcon());
    buildControls();
    bindController();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    load();
}

MainWindow::~MainWindow() {
    delete m_onlineList;
    delete m_about;
}

void MainWindow::buildControls() {
    buildTitle();
    buildFields();
    buildFooter();
    buildFrame();
}

void MainWindow::buildTitle() {
    // The window is exactly as large as its background picture.
    setFixedSize(twipsToPixels(WidthTwips), twipsToPixels(HeightTwips));
    m_background = new QLabel(this);
    m_background->setObjectName(QStringLiteral("Image1"));
    m_background->setGeometry(rect());
    m_background->setPixmap(drawMainBackground(size(), devicePixelRatioF()));

    m_titleLabel =
        captionLabel(this, QStringLiteral("Label5"), QStringLiteral("Quillet mirror v3.0b"),
                     twipsRect(120, 120, 3390, 495));
    m_titleLabel->setFont(pixelFont(SerifFamily, 20, true, true));

    m_minimisePicture =
        titlePicture(this, QStringLiteral("img_min"), twipsRect(3840, 120, 270, 270),
                     TitleGlyph::Minimise, QStringLiteral("В трей"));
    connect(m_minimisePicture, &PressableLabel::clicked, this, &MainWindow::hideToTray);
    m_closePicture = titlePicture(this, QStringLiteral("exit_img"), twipsRect(4200, 120, 270, 270),
                                  TitleGlyph::Close, QStringLiteral("Закрыть"));
    connect(m_closePicture, &PressableLabel::clicked, this, &MainWindow::requestExit);
}

void MainWindow::buildFields() {
    const SettingBoxes defaults;
    m_clientPortLabel =
        captionLabel(this, QStringLiteral("Label1"), QStringLiteral("Порт клиентов:"),
                     twipsRect(240, 720, 1395, 195));
    m_clientPortBox = settingBox(this, QStringLiteral("Text1"), defaults.clientPort,
                                 twipsRect(3480, 720, 735, 255));
    m_server1Label =
        captionLabel(this, QStringLiteral("Label2"), QStringLiteral("IP и порт сервера:"),
                     twipsRect(240, 1080, 1680, 195));
    m_server1HostBox = settingBox(this, QStringLiteral("Text2"), defaults.serverHost,
                                  twipsRect(2160, 1080, 1215, 285));
    m_server1PortBox = settingBox(this, QStringLiteral("Text3"), defaults.serverPort,
                                  twipsRect(3480, 1080, 735, 285));
    m_preferServer1Button =
        preferenceButton(this, QStringLiteral("Option1"), twipsRect(4320, 1155, 255, 195));
    m_server2Label =
        captionLabel(this, QStringLiteral("Label4"), QStringLiteral("IP и порт сервера 2:"),
                     twipsRect(240, 1440, 1845, 195));
    m_server2HostBox = settingBox(this, QStringLiteral("Text6"), defaults.server2Host,
                                  twipsRect(2160, 1440, 1215, 285));
    m_server2PortBox = settingBox(this, QStringLiteral("Text10"), defaults.server2Port,
                                  twipsRect(3480, 1440, 735, 285));
    m_preferServer2Button =
        preferenceButton(this, QStringLiteral("Option2"), twipsRect(4320, 1515, 255, 195));
    m_preferServer1Button->setChecked(true);
}

void MainWindow::buildFooter() {
    m_onlineLabel = new PressableLabel(m_ctx.controller->onlineCaption(), this);
    m_onlineLabel->setObjectName(QStringLiteral("Online"));
    m_onlineLabel->setGeometry(twipsRect(120, 1870, 4335, 255));
    m_onlineLabel->setFont(pixelFont(SansFamily, 12, true));
    m_onlineLabel->setIndent(twipsToPixels(120));
    QPalette online = m_onlineLabel->palette();
    online.setColor(QPalette::WindowText, Qt::white);
    online.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 142, 158));
    online.setColor(QPalette::Window, OnlinePressedBack);
    m_onlineLabel->setPalette(online);
    m_onlineLabel->setCursor(Qt::PointingHandCursor);
    // The grey shows only while a button is held on the label.
    connect(m_onlineLabel, &PressableLabel::pressed, this,
            [this] { m_onlineLabel->setAutoFillBackground(true); });
    connect(m_onlineLabel, &PressableLabel::released, this,
            [this] { m_onlineLabel->setAutoFillBackground(false); });
    connect(m_onlineLabel, &PressableLabel::clicked, this, &MainWindow::openOnlineList);

    m_aboutButton = new VistaButton(this);
    m_aboutButton->setObjectName(QStringLiteral("VistaButton1"));
    m_aboutButton->setFont(buttonFont());
    m_aboutButton->setGeometry(twipsRect(240, 2520, 1995, 315));
    m_aboutButton->setCaption(QStringLiteral("Development"));
    connect(m_aboutButton, &VistaButton::Click, this, &MainWindow::openAboutWindow);

    m_applyButton = new VistaButton(this);
    m_applyButton->setObjectName(QStringLiteral("Label3"));
    m_applyButton->setFont(buttonFont());
    m_applyButton->setGeometry(twipsRect(2280, 2520, 2115, 315));
    m_applyButton->setCaption(m_ctx.controller->applyCaption());
    connect(m_applyButton, &VistaButton::Click, this, &MainWindow::applySettings);
}

void MainWindow::buildFrame() {
    m_drag = new WindowDrag(this);
    for (QWidget* surface :
         {static_cast<QWidget*>(m_background), static_cast<QWidget*>(m_titleLabel),
          static_cast<QWidget*>(m_clientPortLabel), static_cast<QWidget*>(m_server1Label),
          static_cast<QWidget*>(m_server2Label)})
        m_drag->addSurface(surface);

    m_trayIcon = new TrayArea(this);
    m_trayIcon->setObjectName(QStringLiteral("TrayArea1"));
    m_trayIcon->setIcon(programIcon());
    m_trayIcon->setMainWindow(this);
    connect(m_trayIcon, &TrayArea::MouseDown, this,
            [this](int button, float) { toggleFromTray(button); });
    connect(m_trayIcon, &TrayArea::ExitProg, this, &MainWindow::requestExit);

    m_fade = new WindowFade(this);
    connect(m_fade, &WindowFade::alphaChanged, this, [this](int alpha) {
        setWindowOpacity(alpha / 255.0);
        // The X11 connection sends the new opacity only with its next flush; a
        // repaint flushes it, otherwise the last steps wait for some later event.
        update();
    });
    connect(m_fade, &WindowFade::fadeOutFinished, this, [this] {
        unload();
        hide();
        emit programEnded();
    });
}

void MainWindow::bindController() {
    RelayController* controller = m_ctx.controller;
    m_onlineLabel->setEnabled(controller->onlineLabelEnabled());
    m_applyButton->setEnabled(controller->applyEnabled());
    m_trayIcon->setToolTip(controller->trayToolTip());

    connect(controller, &RelayController::onlineCaptionChanged, m_onlineLabel, &QLabel::setText);
    connect(controller, &RelayController::trayToolTipChanged, m_trayIcon, &TrayArea::setToolTip);
    connect(controller, &RelayController::onlineLabelEnabledChanged, m_onlineLabel,
            &QWidget::setEnabled);
    connect(controller, &RelayController::applyCaptionChanged, m_applyButton,
            &VistaButton::setCaption);
    connect(controller, &RelayController::applyEnabledChanged, m_applyButton,
            &VistaButton::setEnabled);
    connect(controller, &RelayController::server1Probed, this, [this](bool reachable) {
        colourServerBoxes(m_server1HostBox, m_server1PortBox, reachable);
    });
    connect(controller, &RelayController::server2Probed, this, [this](bool reachable) {
        colourServerBoxes(m_server2HostBox, m_server2PortBox, reachable);
    });
    connect(controller, &RelayController::messageRaised, this,
            [this](const UserMessage& message) { m_ctx.messages->show(this, message); });
    connect(m_preferServer1Button, &QRadioButton::toggled, controller,
            &RelayController::setPreferServer1);
    controller->setPreferServer1(m_preferServer1Button->isChecked());
}

void MainWindow::load() {
    const SettingBoxes stored = m_ctx.controller->storedSettings();
    m_ctx.controller->setAutoStart(stored.autoStart);
    m_trayIcon->setVisible(true);
    fillBoxes(stored);
    if (stored.autoStart == 1) {
        // Never made translucent: the window is not shown at all.
        m_startHidden = true;
        m_ctx.controller->startRelay(currentBoxes());
        return;
    }
    m_fade->startFadeIn();
}

void MainWindow::unload() {
    m_trayIcon->setVisible(false);
}

void MainWindow::requestExit() {
    m_fade->requestExit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing from the window manager takes the same road as the close picture.
    event->ignore();
    requestExit();
}

SettingBoxes MainWindow::currentBoxes() const {
    SettingBoxes boxes;
    boxes.clientPort = m_clientPortBox->text();
    boxes.serverHost = m_server1HostBox->text();
    boxes.serverPort = m_server1PortBox->text();
    boxes.server2Host = m_server2HostBox->text();
    boxes.server2Port = m_server2PortBox->text();
    boxes.autoStart = m_ctx.controller->autoStart();
    return boxes;
}

void MainWindow::fillBoxes(const SettingBoxes& boxes) {
    m_clientPortBox->setText(boxes.clientPort);
    m_server1HostBox->setText(boxes.serverHost);
    m_server1PortBox->setText(boxes.serverPort);
    m_server2HostBox->setText(boxes.server2Host);
    m_server2PortBox->setText(boxes.server2Port);
}

void MainWindow::colourServerBoxes(QLineEdit* host, QLineEdit* port, bool reachable) {
    const QColor colour = reachable ? ReachableText : UnreachableText;
    setPaletteColour(host, QPalette::Text, colour);
    setPaletteColour(port, QPalette::Text, colour);
}

void MainWindow::applySettings() {
    m_ctx.controller->apply(currentBoxes());
}

void MainWindow::reload() {
    const SettingBoxes stored = m_ctx.controller->storedSettings();
    m_ctx.controller->setAutoStart(stored.autoStart);
    fillBoxes(stored);
    m_ctx.bans->reload();
    // Not a press of the button: what goes wrong is told without a modal box.
    if (m_ctx.controller->listening())
        m_ctx.controller->restartRelay(currentBoxes());
}

void MainWindow::hideToTray() {
    // Without a notification area a hidden window could never be brought back
    // (and a second start ends at once): it goes to the task bar instead.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();
}

void MainWindow::openAboutWindow() {
    if (!m_about) {
        m_about = new AboutWindow;
        placeBeside(m_about);
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::openOnlineList() {
    if (!m_onlineList) {
        m_onlineList = new OnlineListWindow(m_ctx);
        placeBeside(m_onlineList);
    }
    m_onlineList->show();
    m_onlineList->raise();
    m_onlineList->activateWindow();
}

// Where the other windows of the program open too: 1000 twips right of and
// below their opener.
void MainWindow::placeBeside(QWidget* window) const {
    const int offset = twipsToPixels(1000);
    window->move(pos() + QPoint(offset, offset));
}

void MainWindow::toggleFromTray(int button) {
    if (button != 1)
        return;
    // A minimised window is out of sight too: the press brings it back rather
    // than hiding it, and showing it again must not leave it minimised.
    if (isVisible() && !isMinimized()) {
        hide();
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

} // namespace qm
