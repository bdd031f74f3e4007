#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QTest>

namespace qm::test {

// Offscreen platform and a fixed English (US) locale, whatever the machine says.
void prepareEnvironment();

// A wait's deadline, stretched in builds whose code runs several times slower.
int slowBuildMs(int ms);

} // namespace qm::test

// Like QTEST_MAIN, with the environment fixed first. _CORE for tests without widgets.
#define QM_TEST_MAIN(TestClass)                                                                    \
    int main(int argc, char** argv) {                                                              \
        qm::test::prepareEnvironment();                                                            \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

#define QM_TEST_MAIN_CORE(TestClass)                                                               \
    int main(int argc, char** argv) {                                                              \
        qm::test::prepareEnvironment();                                                            \
        QCoreApplication app(argc, argv);                                                          \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
