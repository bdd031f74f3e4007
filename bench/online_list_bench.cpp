// Times the online list's once-a-second rebuild with 5,000 live pairs: the
// snapshot handed over, the rows updated and the window painted, as a timer
// tick does it.
#include "ui/online/online_list_model.h"
#include "ui/online/online_list_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QScrollBar>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Rows = 5000;
constexpr int Refreshes = 100;

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);

    qm::BanList bans{QString()}; // no ban file: nothing here bans
    qm::SystemClock clock;
    qm::AppContext ctx;
    ctx.bans = &bans;
    ctx.clock = &clock;
    qm::OnlineListWindow window(ctx);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    QTreeView* list = window.list();

    // The engine keeps each pair's address and acceptance time; a snapshot
    // copies them with the counters of the moment.
    const QDateTime start = QDateTime::currentDateTime();
    std::vector<qm::PairSnapshot> live;
    for (int i = 0; i < Rows; ++i)
        live.push_back(
            {i + 1, QStringLiteral("10.%1.%2.%3").arg(i / 65536).arg(i / 256 % 256).arg(i % 256),
             start.addSecs(-i), 0, 0});
    window.setPairSource([&live] { return live; });
    window.refresh();
    QCoreApplication::processEvents(); // lets the view lay out its scroll range
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);

    std::vector<double> ms;
    for (int second = 1; second <= Refreshes; ++second) {
        for (size_t i = 0; i < live.size(); ++i) {
            live[i].bytesFromClient += (i + 1) * 7919;
            live[i].bytesFromServer += (i + 1) * 23757;
        }
        QElapsedTimer timer;
        timer.start();
        window.refresh();
        window.grab(); // paints every visible row, header and panel
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("online list: %d rows (scrolled to row %d), %d refreshes: median %.2f ms, 95th "
                "%.2f ms, max %.2f ms"
                " (limit 100 ms)\n",
                window.model().rowCount(), list->indexAt(QPoint(0, 0)).row(), Refreshes,
                ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
    return ms[ms.size() / 2] < 100 ? 0 : 1;
}
