#include "service/online_caption.h"

namespace qm {

QString onlineCaption(OnlinePrefix prefix, qint16 count) {
    // The two spellings differ on purpose (и / й); the dash is U+2013.
    const QString text = prefix == OnlinePrefix::ClientSide ? QStringLiteral("Онлаин – ")
                                                            : QStringLiteral("Онлайн – ");
    return text + QString::number(count);
}

} // namespace qm
