#pragma once

#include <QApplication>
#include <cstdlib>

namespace qv::test {

// The one QApplication a widget test program needs, created on first use. Tests run
// offscreen unless the caller chose a platform.
inline QApplication* ensureQtApp() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "quorvel-test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: windows kept by tests may outlive main().
    return new QApplication(argc, argv);
}

}  // namespace qv::test
