#include "ui/main/main_window.h"

#include "controls/button/vista_button.h"
#include "controls/child_window.h"
#include "controls/pressable_label.h"
#include "controls/program_icon.h"
#include "controls/tray/tray_area.h"
#include "controls/window_drag.h"
#include "controls/window_fade.h"
#include "controls/window_style.h"
#include "core/program_folder.h"
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
    Form_Load();
}

MainWindow::~MainWindow() {
    delete m_onlineList;
    delete m_dev;
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
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(rect());
    Image1->setPixmap(drawMainBackground(size(), devicePixelRatioF()));

    Label5 = captionLabel(this, QStringLiteral("Label5"), QStringLiteral("Quillet mirror v3.0b"),
                          twipsRect(120, 120, 3390, 495));
    Label5->setFont(pixelFont(SerifFamily, 20, true, true));

    img_min = titlePicture(this, QStringLiteral("img_min"), twipsRect(3840, 120, 270, 270),
                           TitleGlyph::Minimise, QStringLiteral("В трей"));
    connect(img_min, &PressableLabel::clicked, this, &MainWindow::img_min_Click);
    exit_img = titlePicture(this, QStringLiteral("exit_img"), twipsRect(4200, 120, 270, 270),
                            TitleGlyph::Close, QStringLiteral("Закрыть"));
    connect(exit_img, &PressableLabel::clicked, this, &MainWindow::requestExit);
}

void MainWindow::buildFields() {
    const SettingBoxes defaults;
    Label1 = captionLabel(this, QStringLiteral("Label1"), QStringLiteral("Порт клиентов:"),
                          twipsRect(240, 720, 1395, 195));
    Text1 = settingBox(this, QStringLiteral("Text1"), defaults.clientPort,
                       twipsRect(3480, 720, 735, 255));
    Label2 = captionLabel(this, QStringLiteral("Label2"), QStringLiteral("IP и порт сервера:"),
                          twipsRect(240, 1080, 1680, 195));
    Text2 = settingBox(this, QStringLiteral("Text2"), defaults.serverHost,
                       twipsRect(2160, 1080, 1215, 285));
    Text3 = settingBox(this, QStringLiteral("Text3"), defaults.serverPort,
                       twipsRect(3480, 1080, 735, 285));
    Option1 = preferenceButton(this, QStringLiteral("Option1"), twipsRect(4320, 1155, 255, 195));
    Label4 = captionLabel(this, QStringLiteral("Label4"), QStringLiteral("IP и порт сервера 2:"),
                          twipsRect(240, 1440, 1845, 195));
    Text6 = settingBox(this, QStringLiteral("Text6"), defaults.server2Host,
                       twipsRect(2160, 1440, 1215, 285));
    Text10 = settingBox(this, QStringLiteral("Text10"), defaults.server2Port,
                        twipsRect(3480, 1440, 735, 285));
    Option2 = preferenceButton(this, QStringLiteral("Option2"), twipsRect(4320, 1515, 255, 195));
    Option1->setChecked(true);
}

void MainWindow::buildFooter() {
    Online = new PressableLabel(m_ctx.controller->onlineCaption(), this);
    Online->setObjectName(QStringLiteral("Online"));
    Online->setGeometry(twipsRect(120, 1870, 4335, 255));
    Online->setFont(pixelFont(SansFamily, 12, true));
    Online->setIndent(twipsToPixels(120));
    QPalette online = Online->palette();
    online.setColor(QPalette::WindowText, Qt::white);
    online.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 142, 158));
    online.setColor(QPalette::Window, OnlinePressedBack);
    Online->setPalette(online);
    Online->setCursor(Qt::PointingHandCursor);
    // The grey shows only while a button is held on the label.
    connect(Online, &PressableLabel::pressed, this,
            [this] { Online->setAutoFillBackground(true); });
    connect(Online, &PressableLabel::released, this,
            [this] { Online->setAutoFillBackground(false); });
    connect(Online, &PressableLabel::clicked, this, &MainWindow::Online_Click);

    VistaButton1 = new VistaButton(this);
    VistaButton1->setObjectName(QStringLiteral("VistaButton1"));
    VistaButton1->setGeometry(twipsRect(240, 2520, 1995, 315));
    VistaButton1->setCaption(QStringLiteral("Development"));
    connect(VistaButton1, &VistaButton::Click, this, &MainWindow::VistaButton1_Click);

    Label3 = new VistaButton(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(twipsRect(2280, 2520, 2115, 315));
    Label3->setCaption(m_ctx.controller->applyCaption());
    connect(Label3, &VistaButton::Click, this, &MainWindow::Label3_Click);
}

void MainWindow::buildFrame() {
    m_drag = new WindowDrag(this);
    for (QWidget* surface : {static_cast<QWidget*>(Image1), static_cast<QWidget*>(Label5),
                             static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2),
                             static_cast<QWidget*>(Label4)})
        m_drag->addSurface(surface);

    TrayArea1 = new TrayArea(this);
    TrayArea1->setObjectName(QStringLiteral("TrayArea1"));
    TrayArea1->setIcon(programIcon());
    TrayArea1->setMainWindow(this);
    connect(TrayArea1, &TrayArea::MouseDown, this,
            [this](int button, float) { TrayArea1_MouseDown(button); });
    connect(TrayArea1, &TrayArea::ExitProg, this, &MainWindow::requestExit);

    m_fade = new WindowFade(this);
    connect(m_fade, &WindowFade::alphaChanged, this, [this](int alpha) {
        setWindowOpacity(alpha / 255.0);
        // The X11 connection sends the new opacity only with its next flush; a
        // repaint flushes it, otherwise the last steps wait for some later event.
        update();
    });
    connect(m_fade, &WindowFade::fadeOutFinished, this, [this] {
        Form_Unload();
        hide();
        emit programEnded();
    });
}

void MainWindow::bindController() {
    RelayController* controller = m_ctx.controller;
    Online->setEnabled(controller->onlineLabelEnabled());
    Label3->setEnabled(controller->applyEnabled());
    TrayArea1->setToolTip(controller->trayToolTip());

    connect(controller, &RelayController::onlineCaptionChanged, Online, &QLabel::setText);
    connect(controller, &RelayController::trayToolTipChanged, TrayArea1, &TrayArea::setToolTip);
    connect(controller, &RelayController::onlineLabelEnabledChanged, Online, &QWidget::setEnabled);
    connect(controller, &RelayController::applyCaptionChanged, Label3, &VistaButton::setCaption);
    connect(controller, &RelayController::applyEnabledChanged, Label3, &VistaButton::setEnabled);
    connect(controller, &RelayController::server1Probed, this,
            [this](bool reachable) { colourServerBoxes(Text2, Text3, reachable); });
    connect(controller, &RelayController::server2Probed, this,
            [this](bool reachable) { colourServerBoxes(Text6, Text10, reachable); });
    connect(controller, &RelayController::messageRaised, this,
            [this](const UserMessage& message) { m_ctx.messages->show(this, message); });
    connect(Option1, &QRadioButton::toggled, controller, &RelayController::setPreferServer1);
    controller->setPreferServer1(Option1->isChecked());
}

void MainWindow::Form_Load() {
    const SettingBoxes stored = readSettingBoxes(configPath(m_ctx.folder));
    m_ctx.controller->setAutoStart(stored.autoStart);
    TrayArea1->setVisible(true);
    fillBoxes(stored);
    if (stored.autoStart == 1) {
        // Never made translucent: the window is not shown at all.
        StartHidden = true;
        m_ctx.controller->StartRelay(currentBoxes());
        return;
    }
    m_fade->startFadeIn();
}

void MainWindow::Form_Unload() {
    TrayArea1->setVisible(false);
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
    boxes.clientPort = Text1->text();
    boxes.serverHost = Text2->text();
    boxes.serverPort = Text3->text();
    boxes.server2Host = Text6->text();
    boxes.server2Port = Text10->text();
    boxes.autoStart = m_ctx.controller->autoStart();
    return boxes;
}

void MainWindow::fillBoxes(const SettingBoxes& boxes) {
    Text1->setText(boxes.clientPort);
    Text2->setText(boxes.serverHost);
    Text3->setText(boxes.serverPort);
    Text6->setText(boxes.server2Host);
    Text10->setText(boxes.server2Port);
}

void MainWindow::colourServerBoxes(QLineEdit* host, QLineEdit* port, bool reachable) {
    const QColor colour = reachable ? ReachableText : UnreachableText;
    setPaletteColour(host, QPalette::Text, colour);
    setPaletteColour(port, QPalette::Text, colour);
}

void MainWindow::Label3_Click() {
    m_ctx.controller->apply(currentBoxes());
}

void MainWindow::img_min_Click() {
    // Without a notification area a hidden window could never be brought back
    // (and a second start ends at once): it goes to the task bar instead.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();
}

void MainWindow::VistaButton1_Click() {
    if (!m_dev) {
        m_dev = new AboutWindow;
        placeBeside(m_dev);
    }
    m_dev->show();
    m_dev->raise();
    m_dev->activateWindow();
}

void MainWindow::Online_Click() {
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

void MainWindow::TrayArea1_MouseDown(int button) {
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
