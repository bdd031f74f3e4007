#pragma once

#include "settings/app_context.h"

#include <QWidget>

namespace qm {

// The live pairs with their connected time and traffic, refreshed every second,
// and the actions on them: ban, disconnect, open the ban list.
class frmOnlineList : public QWidget {
    Q_OBJECT
public:
    explicit frmOnlineList(AppContext& ctx, QWidget* parent = nullptr);
    ~frmOnlineList() override;

private:
    AppContext& m_ctx;
};

} // namespace qm
