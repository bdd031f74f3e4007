#include "ui/bans/ban_list_window.h"

#include "controls/button/vista_button.h"
#include "controls/child_window.h"
#include "controls/window_style.h"
#include "core/bans/ip_address.h"
#include "service/ban_list.h"
#include "ui/bans/ban_address_dialog.h"

#include <QListWidget>

namespace qm {

BanListWindow::BanListWindow(AppContext& ctx, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ctx(ctx), m_list(new QListWidget(this)),
      m_add(new VistaButton(QStringLiteral("Добавить"), this)),
      m_change(new VistaButton(QStringLiteral("Изминить"), this)),
      m_remove(new VistaButton(QStringLiteral("Удалить"), this)) {
    setObjectName(QStringLiteral("frmBanList"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Бан лист"));
    setFixedSize(twipsToPixels(4155), twipsToPixels(4995));

    m_list->setObjectName(QStringLiteral("List1"));
    m_add->setObjectName(QStringLiteral("VistaButton1"));
    m_change->setObjectName(QStringLiteral("VistaButton3"));
    m_remove->setObjectName(QStringLiteral("VistaButton2"));
    for (VistaButton* button : {m_add, m_change, m_remove})
        button->setFont(buttonFont());
    m_list->setGeometry(twipsRect(120, 120, 2595, 4740));
    m_add->setGeometry(twipsRect(2880, 120, 1155, 375));
    m_change->setGeometry(twipsRect(2880, 600, 1155, 375));
    m_remove->setGeometry(twipsRect(2880, 1080, 1155, 375));
    setTabOrder(m_add, m_remove);
    setTabOrder(m_remove, m_change);
    setTabOrder(m_change, m_list);
    m_add->setFocus(); // the first of the tab order, not the list created before it

    for (int k = 0; k < m_ctx.bans->table().count(); ++k)
        m_list->addItem(numberToIp(m_ctx.bans->table().at(k)));

    connect(m_add, &VistaButton::Click, this, &BanListWindow::addAddress);
    connect(m_change, &VistaButton::Click, this, &BanListWindow::changeAddress);
    connect(m_remove, &VistaButton::Click, this, &BanListWindow::removeAddress);
}

BanListWindow::~BanListWindow() {
    delete m_dialog;
}

int BanListWindow::selectedRow() const {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->row(selected.first());
}

void BanListWindow::addAddress() {
    openDialog(-1, false);
}

void BanListWindow::changeAddress() {
    openDialog(selectedRow(), true);
}

void BanListWindow::openDialog(int n, bool changing) {
    auto* dialog = new BanAddressDialog(m_ctx, n);
    m_dialog = dialog;
    if (changing)
        dialog->setApplyCaption(QStringLiteral("Изминить"));
    connect(dialog, &BanAddressDialog::rowAdded, m_list,
            [this](const QString& text) { m_list->addItem(text); });
    connect(dialog, &BanAddressDialog::rowChanged, m_list,
            [this](int row, const QString& text) { m_list->item(row)->setText(text); });
    showChildWindow(this, dialog);
}

void BanListWindow::removeAddress() {
    const int k = selectedRow();
    if (k < 0 || k >= m_ctx.bans->table().count())
        return;
    const BanList::Outcome outcome = m_ctx.bans->remove(k);
    if (outcome != BanList::Outcome::Saved) {
        m_ctx.messages->show(this, m_ctx.bans->messageFor(outcome));
        return;
    }
    // The list follows the table: the last row moves into the freed place.
    const int last = m_list->count() - 1;
    if (k != last)
        m_list->item(k)->setText(m_list->item(last)->text());
    delete m_list->takeItem(last);
    m_list->clearSelection();
    m_list->setCurrentRow(-1);
}

} // namespace qm
