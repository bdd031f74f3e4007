#pragma once

#include "ui/app_context.h"

#include <QPointer>
#include <QWidget>

class QListWidget;

namespace qm {

class VistaButton;
class BanAddressDialog;

// Every banned address, one per row in table order, with adding and changing
// through the ban address dialog and removing here. Row k shows entry k.
class BanListWindow : public QWidget {
    Q_OBJECT
public:
    explicit BanListWindow(AppContext& ctx, QWidget* parent = nullptr);
    // Takes an open address dialog along: its rows would be gone.
    ~BanListWindow() override;

    // Row of the selection, -1 for none.
    int selectedRow() const;
    void fillList();
    QListWidget* list() const { return m_list; }

public slots:
    void addAddress();
    void changeAddress();
    void removeAddress();

private:
    void openDialog(int n, bool changing);

    AppContext& m_ctx;
    QListWidget* m_list;
    VistaButton* m_add;
    VistaButton* m_change;
    VistaButton* m_remove;
    QPointer<BanAddressDialog> m_dialog;
};

} // namespace qm
