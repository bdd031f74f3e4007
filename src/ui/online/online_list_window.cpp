#include "ui/online/online_list_window.h"

#include "controls/button/vista_button.h"
#include "controls/child_window.h"
#include "controls/window_style.h"
#include "core/bans/ipv6_address.h"
#include "service/ban_list.h"
#include "ui/bans/ban_list_window.h"
#include "ui/online/online_list_model.h"

#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeView>

#include <algorithm>

namespace qm {

namespace {

// The layout figures are outer window sizes in twips. Qt sizes the client
// area, so a classic frame (4 px borders, a 23 px caption) is added back.
constexpr int FrameWidth = 120;
constexpr int FrameHeight = 465;

constexpr int MinWidth = 4700;
constexpr int MinHeight = 1400;
constexpr int ListLeft = 120;
constexpr int ListTop = 120;
constexpr int PanelWidth = 1335;
constexpr int PanelHeight = 1815;

} // namespace

OnlineListWindow::OnlineListWindow(AppContext& ctx, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ctx(ctx), m_model(new OnlineListModel(this)),
      m_list(new QTreeView(this)), m_panel(new QFrame(this)),
      m_ban(new VistaButton(QStringLiteral("Забанить"), m_panel)),
      m_disconnect(new VistaButton(QStringLiteral("Отключить"), m_panel)),
      m_banned(new VistaButton(QStringLiteral("Забаненые"), m_panel)) {
    setObjectName(QStringLiteral("frmOnlineList"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Онлайн лист"));

    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true); // thousands of rows: no height asked row by row
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setIconSize(QSize(16, 16));
    m_list->header()->setStretchLastSection(false);
    const int columnWidths[] = {1500, 1000, 1100, 1100};
    // Widened where this font would cut a caption short.
    for (int column = 0; column < OnlineListModel::ColumnCount; ++column)
        m_list->header()->resizeSection(column,
                                        std::max(twipsToPixels(columnWidths[column]),
                                                 m_list->header()->sectionSizeHint(column)));
    m_list->installEventFilter(this);

    m_panel->setObjectName(QStringLiteral("Frame1"));
    m_panel->setFrameShape(QFrame::StyledPanel);
    m_panel->resize(twipsToPixels(PanelWidth), twipsToPixels(PanelHeight));
    m_ban->setObjectName(QStringLiteral("VistaButton3"));
    m_disconnect->setObjectName(QStringLiteral("VistaButton2"));
    m_banned->setObjectName(QStringLiteral("VistaButton1"));
    const int buttonTops[] = {240, 720, 1200};
    VistaButton* const buttons[] = {m_ban, m_disconnect, m_banned};
    for (VistaButton* button : buttons)
        button->setFont(buttonFont());
    for (int i = 0; i < 3; ++i)
        buttons[i]->setGeometry(twipsRect(120, buttonTops[i], 1095, 375));
    connect(m_ban, &VistaButton::Click, this, &OnlineListWindow::banSelected);
    connect(m_disconnect, &VistaButton::Click, this, &OnlineListWindow::disconnectSelected);
    connect(m_banned, &VistaButton::Click, this, &OnlineListWindow::openBanList);

    setMinimumSize(twipsToPixels(MinWidth - FrameWidth), twipsToPixels(MinHeight - FrameHeight));
    resize(twipsToPixels(8085), twipsToPixels(7005));

    if (m_ctx.controller)
        setPairSource([controller = m_ctx.controller] { return controller->livePairs(); });
    else
        setPairSource([] { return std::vector<PairSnapshot>(); });
    connect(&m_refreshTimer, &QTimer::timeout, this, &OnlineListWindow::refresh);
    m_refreshTimer.start(1);
}

OnlineListWindow::~OnlineListWindow() {
    delete m_banList;
}

void OnlineListWindow::setPairSource(PairSource source) {
    m_pairs = std::move(source);
}

void OnlineListWindow::refresh() {
    m_refreshTimer.setInterval(1000);
    showPairs(m_pairs(), m_ctx.clock->now());
}

void OnlineListWindow::showPairs(std::vector<PairSnapshot> pairs, const QDateTime& now) {
    const int remembered = selectedRow();
    // When its current row goes, the view makes a neighbour current, selects it
    // (even with nothing selected before) and scrolls to it: a row that goes
    // must neither select a client nor move the user's scroll position.
    QItemSelectionModel* selection = m_list->selectionModel();
    if (selection->currentIndex().row() >= static_cast<int>(pairs.size()))
        selection->clearCurrentIndex();
    m_model->setPairs(std::move(pairs), now, shownRows());
    // The selection stays on its position, not with its client; when that
    // position is gone, nothing is selected.
    if (remembered >= 0 && remembered < m_model->rowCount() &&
        !selection->isRowSelected(remembered))
        selection->setCurrentIndex(m_model->index(remembered, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

RowRange OnlineListWindow::shownRows() const {
    const QRect area = m_list->viewport()->rect();
    const QModelIndex top = m_list->indexAt(area.topLeft());
    if (!top.isValid()) // nothing laid out yet: all of them
        return {};
    const QModelIndex bottom = m_list->indexAt(QPoint(area.left(), area.bottom()));
    return {top.row(), bottom.isValid() ? bottom.row() : m_model->rowCount() - 1};
}

int OnlineListWindow::selectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString OnlineListWindow::selectedAddress() const {
    return m_model->addressAt(selectedRow());
}

void OnlineListWindow::disconnectSelected() {
    const QString address = selectedAddress();
    if (!address.isEmpty() && m_ctx.controller)
        m_ctx.controller->disconnectClient(address);
    m_list->setFocus();
}

void OnlineListWindow::banSelected() {
    const QString address = selectedAddress();
    if (!address.isEmpty()) {
        const BanList::Outcome outcome = m_ctx.bans->addAddress(ipAddressFromText(address));
        if (outcome != BanList::Outcome::Saved)
            m_ctx.messages->show(this, m_ctx.bans->messageFor(outcome));
    }
    m_list->setFocus();
}

void OnlineListWindow::openBanList() {
    m_banList = new BanListWindow(m_ctx);
    showChildWindow(this, m_banList);
}

bool OnlineListWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress && m_list->isEnabled()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            // Ctrl alone of Shift, Ctrl and Alt bans; any other state disconnects.
            const Qt::KeyboardModifiers held =
                key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
            if (held == Qt::ControlModifier)
                banSelected();
            else
                disconnectSelected();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OnlineListWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int outerWidth = pixelsToTwips(width()) + FrameWidth;
    const int outerHeight = pixelsToTwips(height()) + FrameHeight;
    const int listWidth = std::max(0, outerWidth - ListLeft - PanelWidth - 200);
    const int listHeight = std::max(0, outerHeight - 700);
    m_list->setGeometry(twipsRect(ListLeft, ListTop, listWidth, listHeight));
    m_panel->move(twipsToPixels(listWidth + 150), twipsToPixels(ListTop));
}

} // namespace qm
