// A picture of the about window for the documentation. Run with QV_SCREENSHOT_DIR=<folder>
// (under a display, e.g. xvfb-run, for the desktop's own fonts).

#include <gtest/gtest.h>

#include <QTest>
#include <cstdlib>

#include "app/frmAbout.h"
#include "tests/widgets/qt_app.h"

namespace qv {
namespace {

TEST(AboutScreenshot, Window) {
    const char* dir = std::getenv("QV_SCREENSHOT_DIR");
    if (!dir || !*dir) GTEST_SKIP() << "set QV_SCREENSHOT_DIR to take the picture";
    test::ensureQtApp();
    frmAbout* about = frmAbout::showAbout(QStringLiteral(QV_BUILD_DIR), nullptr);
    ASSERT_NE(about, nullptr);
    QTest::qWait(100);
    EXPECT_TRUE(about->grab().save(QString::fromLocal8Bit(dir) + "/about.png"));
    about->close();
}

}  // namespace
}  // namespace qv
