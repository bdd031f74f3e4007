#include "support/test_main.h"

#include <QLocale>

namespace qm::test {

void prepareEnvironment() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

int slowBuildMs(int ms) {
    return ms * QM_TIME_FACTOR;
}

} // namespace qm::test
