#include "controls/button/vista_button.h"

#include "controls/button/button_skins.h"
#include "controls/button/input_codes.h"
#include "controls/button/nine_slice.h"
#include "controls/tray/property_bag.h"

#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <cmath>

namespace qm {

namespace {

const QColor EnabledCaptionColour(0, 0, 0);
const QColor DisabledCaptionColour(161, 161, 146);
constexpr int EnterKeyAscii = 13;

} // namespace

VistaButton::VistaButton(QWidget* parent)
    : QWidget(parent), m_lbl(new QLabel(this)), m_pointer([] { return QCursor::pos(); }) {
    m_lbl->setObjectName(QStringLiteral("lbl"));
    m_lbl->setAttribute(Qt::WA_TransparentForMouseEvents); // its clicks are the button's
    m_lbl->setTextFormat(Qt::PlainText);
    m_lbl->setText(objectName());
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    m_moveIn.setInterval(ButtonFace::MoveInIntervalMs);
    m_pointerPoll.setInterval(ButtonFace::PointerPollIntervalMs);
    connect(&m_moveIn, &QTimer::timeout, this, &VistaButton::moveInTick);
    connect(&m_pointerPoll, &QTimer::timeout, this, &VistaButton::pointerPollTick);
    connect(this, &QObject::objectNameChanged, this, [this](const QString& name) {
        if (!m_captionGiven) {
            m_lbl->setText(name);
            layoutCaption();
        }
    });
    applyEnabled();
    layoutCaption();
}

VistaButton::VistaButton(const QString& caption, QWidget* parent) : VistaButton(parent) {
    setCaption(caption);
}

void VistaButton::setState(int state) {
    m_state = state;
    emit PropertyChanged(QStringLiteral("State"));
    showState();
}

QString VistaButton::caption() const {
    return m_lbl->text();
}

void VistaButton::setCaption(const QString& caption) {
    m_captionGiven = true;
    m_lbl->setText(caption);
    layoutCaption();
    emit PropertyChanged(QStringLiteral("Caption"));
}

void VistaButton::readProperties(const PropertyBag& bag) {
    setState(bag.read(QStringLiteral("State"), 0).toInt());
    setEnabled(bag.read(QStringLiteral("Enabled"), true).toBool());
    setCaption(bag.read(QStringLiteral("Caption"), objectName()).toString());
    setFont(bag.read(QStringLiteral("Font"), containerFont()).value<QFont>());
}

void VistaButton::writeProperties(PropertyBag& bag) const {
    bag.write(QStringLiteral("State"), m_state, 0);
    bag.write(QStringLiteral("Enabled"), ownEnabled(), true);
    bag.write(QStringLiteral("Caption"), caption(), objectName());
    bag.write(QStringLiteral("Font"), font(), containerFont());
}

void VistaButton::accessKeyPress(int keyAscii) {
    if (keyAscii == EnterKeyAscii)
        emit Click();
}

void VistaButton::setPointerSource(std::function<QPoint()> source) {
    m_pointer = std::move(source);
}

void VistaButton::moveInTick() {
    m_face.moveInTick();
    faceChanged();
}

void VistaButton::pointerPollTick() {
    const QPoint pointer = mapFromGlobal(m_pointer());
    pointerFound(pointer.x() < 0 || pointer.y() < 0 || pointer.x() > width() ||
                 pointer.y() > height());
}

void VistaButton::pointerFound(bool outside) {
    if (m_face.pointerPollTick(outside)) {
        faceChanged();
        emit MouseOut();
    }
}

void VistaButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Face face = m_face.face();
    drawNineSlice(painter, buttonCell(face.strip, face.cell), rect());
}

void VistaButton::resizeEvent(QResizeEvent*) {
    layoutCaption();
}

void VistaButton::showEvent(QShowEvent*) {
    showState();
}

void VistaButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        layoutCaption();
        emit PropertyChanged(QStringLiteral("Font"));
    }
    // A window that disables itself keeps its buttons' faces: only the
    // button's own flag counts.
    if (event->type() == QEvent::EnabledChange)
        followOwnEnabled();
    QWidget::changeEvent(event);
}

void VistaButton::setEnabled(bool enabled) {
    QWidget::setEnabled(enabled);
    followOwnEnabled();
}

void VistaButton::followOwnEnabled() {
    if (ownEnabled() == m_enabled)
        return;
    m_enabled = ownEnabled();
    emit PropertyChanged(QStringLiteral("Enabled"));
    applyEnabled();
}

void VistaButton::mousePressEvent(QMouseEvent* event) {
    const QPointer<VistaButton> alive(this);
    const QPointF at = event->position();
    emit MouseDown(mouseButtonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
    if (!alive)
        return;
    m_leftPressInside = event->button() == Qt::LeftButton;
    m_face.press();
    faceChanged();
}

void VistaButton::mouseMoveEvent(QMouseEvent* event) {
    m_face.pointerMoved();
    faceChanged();
    const QPointF at = event->position();
    if (!inside(at))
        return;
    const QPointer<VistaButton> alive(this);
    const int button = mouseButtonCode(event->buttons());
    emit MouseMove(button, shiftCode(event->modifiers()), at.x(), at.y());
    if (!alive)
        return;
    m_face.moveInside(button == 1);
    faceChanged();
}

void VistaButton::leaveEvent(QEvent*) {
    // Where the platform cannot report the pointer outside our windows the poll
    // would never see it leave; the leave notice settles it.
    if (m_pointerPoll.isActive())
        pointerFound(true);
}

void VistaButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPointer<VistaButton> alive(this);
    const QPointF at = event->position();
    emit MouseUp(mouseButtonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
    if (!alive)
        return;
    m_face.release();
    faceChanged();
    const bool clicked = m_leftPressInside && event->button() == Qt::LeftButton && inside(at);
    m_leftPressInside = false;
    if (clicked)
        emit Click();
}

void VistaButton::keyPressEvent(QKeyEvent* event) {
    const QPointer<VistaButton> alive(this);
    emit KeyDown(virtualKeyCode(event->key()), shiftCode(event->modifiers()));
    const QString text = event->text();
    if (!alive || text.isEmpty())
        return;
    const int keyAscii = text.at(0).unicode();
    emit KeyPress(keyAscii);
    if (alive)
        accessKeyPress(keyAscii);
}

void VistaButton::keyReleaseEvent(QKeyEvent* event) {
    emit KeyUp(virtualKeyCode(event->key()), shiftCode(event->modifiers()));
}

void VistaButton::focusInEvent(QFocusEvent*) {
    m_face.focusIn();
    faceChanged();
}

void VistaButton::focusOutEvent(QFocusEvent*) {
    m_face.focusOut();
    faceChanged();
}

bool VistaButton::ownEnabled() const {
    return !testAttribute(Qt::WA_ForceDisabled);
}

bool VistaButton::inside(QPointF point) const {
    return point.x() >= 0 && point.y() >= 0 && point.x() <= width() && point.y() <= height();
}

QFont VistaButton::containerFont() const {
    return parentWidget() ? parentWidget()->font() : QFont();
}

void VistaButton::showState() {
    m_face.showState(m_state, m_enabled);
    faceChanged();
}

void VistaButton::layoutCaption() {
    showState();
    m_lbl->adjustSize();
    m_lbl->move(int(std::lround((width() - m_lbl->width()) / 2.0)),
                int(std::lround((height() - m_lbl->height()) / 2.0)));
}

void VistaButton::applyEnabled() {
    showState();
    QPalette palette = m_lbl->palette();
    palette.setColor(QPalette::WindowText,
                     m_enabled ? EnabledCaptionColour : DisabledCaptionColour);
    m_lbl->setPalette(palette);
}

void VistaButton::faceChanged() {
    if (m_face.moveInOn() != m_moveIn.isActive()) {
        if (m_face.moveInOn())
            m_moveIn.start();
        else
            m_moveIn.stop();
    }
    if (m_face.pointerPollOn() != m_pointerPoll.isActive()) {
        if (m_face.pointerPollOn())
            m_pointerPoll.start();
        else
            m_pointerPoll.stop();
    }
    update();
}

} // namespace qm
