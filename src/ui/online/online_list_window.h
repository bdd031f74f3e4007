#pragma once

#include "ui/app_context.h"
#include "ui/online/online_list_model.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QFrame;
class QTreeView;

namespace qm {

class BanListWindow;
class VistaButton;

// The live pairs with their connected time and traffic, refreshed every second,
// and the actions on the selected one: ban, disconnect, open the ban list.
class OnlineListWindow : public QWidget {
    Q_OBJECT
public:
    explicit OnlineListWindow(AppContext& ctx, QWidget* parent = nullptr);
    // Takes an open ban list along, so that no ban list outlives its opener
    // and a later one is never open beside it.
    ~OnlineListWindow() override;

    // Where each refresh takes its rows from: the relay engine's live pairs
    // unless replaced.
    using PairSource = std::function<std::vector<PairSnapshot>()>;
    void setPairSource(PairSource source);

    // Row position of the selection, -1 for none.
    int selectedRow() const;

    QTreeView* list() const { return m_list; }
    const OnlineListModel& model() const { return *m_model; }

public slots:
    void refresh();
    void disconnectSelected();
    void banSelected();
    void openBanList();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString selectedAddress() const;
    void showPairs(std::vector<PairSnapshot> pairs, const QDateTime& now);
    RowRange shownRows() const;

    AppContext& m_ctx;
    OnlineListModel* m_model;
    QTreeView* m_list;
    QFrame* m_panel;
    VistaButton* m_ban;
    VistaButton* m_disconnect;
    VistaButton* m_banned;
    PairSource m_pairs;
    QTimer m_refreshTimer;
    QPointer<BanListWindow> m_banList;
};

} // namespace qm
