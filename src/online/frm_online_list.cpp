#include "online/frm_online_list.h"

namespace qm {

frmOnlineList::frmOnlineList(AppContext& ctx, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ctx(ctx) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Онлайн лист"));
}

frmOnlineList::~frmOnlineList() = default;

} // namespace qm
