// Takes the single-instance lock for the executable path in argv[1], with the
// lock folder argv[2], prints "locked" or "busy" and keeps running until killed.
#include "app/single_instance.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    qm::SingleInstance instance(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    const bool locked = instance.tryLock();
    std::puts(locked ? "locked" : "busy");
    std::fflush(stdout);
    return locked ? app.exec() : 1;
}
