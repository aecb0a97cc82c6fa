#include <gtest/gtest.h>

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include "app/animation_widget.h"
#include "app/frmSplash.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/avi_builder.h"
#include "tests/widgets/qt_app.h"

namespace qv {
namespace {

// A program folder with a three-frame, one-pixel-high search.avi: red, green, blue.
class SplashTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ensureQtApp();
        test::AviBuilder b;
        b.width = 2;
        b.height = 1;
        b.palette = {0xff0000, 0x00ff00, 0x0000ff};
        b.microsPerFrame = 50000;
        for (char c = 0; c < 3; ++c) b.frame(std::string{c, c, 0, 0});
        test::writeFile(folder_ / "search.avi", b.build());
    }

    QString programFolder() const { return QString::fromStdString(folder_.path()); }
    QString avi() const { return programFolder() + "/search.avi"; }

    static QRgb shownColour(const AnimationWidget& a) {
        return a.pixmap().toImage().pixel(0, 0) & 0xffffff;
    }

    test::TempDir folder_;
};

TEST_F(SplashTest, AnimationShowsItsFramesInALoopAndNothingOfABrokenFile) {
    AnimationWidget a;
    ASSERT_TRUE(a.open(avi()));
    EXPECT_EQ(a.frameCount(), 3);
    EXPECT_EQ(a.frameIntervalMs(), 50);
    EXPECT_EQ(a.sizeHint(), QSize(2, 1));
    EXPECT_EQ(shownColour(a), 0xff0000u);
    a.nextFrame();
    EXPECT_EQ(shownColour(a), 0x00ff00u);
    a.nextFrame();
    EXPECT_EQ(shownColour(a), 0x0000ffu);
    a.nextFrame();  // back to the first
    EXPECT_EQ(a.currentFrame(), 0);
    EXPECT_EQ(shownColour(a), 0xff0000u);

    a.play();
    EXPECT_TRUE(a.isPlaying());
    a.stop();
    EXPECT_FALSE(a.isPlaying());
    EXPECT_EQ(a.currentFrame(), 0);

    // A missing or damaged file leaves the animation empty.
    a.play();
    test::writeFile(folder_ / "broken.avi", "RIFF\x10\0\0\0AVI LIST\x04\0\0\0hdrl");
    EXPECT_FALSE(a.open(programFolder() + "/broken.avi"));
    EXPECT_EQ(a.frameCount(), 0);
    EXPECT_FALSE(a.isPlaying());
    EXPECT_TRUE(a.pixmap().isNull());
    a.play();  // nothing to play
    a.nextFrame();
    EXPECT_FALSE(a.isPlaying());
    EXPECT_FALSE(a.open(programFolder() + "/missing.avi"));
}

TEST_F(SplashTest, BusyWindowIsFramelessCentredAndPlaysWhileShown) {
    frmSplash splash(programFolder());
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowTitle().isEmpty());
    auto* label = splash.findChild<QLabel*>("Label1");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Processing UT Cache Files........"));
    auto* frame = splash.findChild<QFrame*>("Frame1");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(splash.animation()->parentWidget(), frame);
    EXPECT_EQ(splash.animation()->frameCount(), 3);
    EXPECT_FALSE(splash.animation()->isPlaying());

    splash.show();
    EXPECT_TRUE(splash.animation()->isPlaying());
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((splash.frameGeometry().center() - area.center()).manhattanLength(), 2);

    // Keys and clicks on the frame do nothing: only the caller closes the window.
    QTest::keyClick(&splash, Qt::Key_Escape);
    QTest::keyClick(&splash, Qt::Key_F4, Qt::AltModifier);
    QTest::mouseClick(frame, Qt::LeftButton);
    EXPECT_TRUE(splash.isVisible());

    splash.close();
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.animation()->isPlaying());

    // Without the animation file the label still shows.
    test::TempDir empty;
    frmSplash bare(QString::fromStdString(empty.path()));
    bare.show();
    EXPECT_EQ(bare.animation()->frameCount(), 0);
    EXPECT_FALSE(bare.animation()->isPlaying());
    EXPECT_TRUE(bare.findChild<QLabel*>("Label1")->isVisible());
}

TEST_F(SplashTest, BusyWindowLastsAsLongAsItsScope) {
    QPointer<frmSplash> shown;
    {
        BusyWindow busy(programFolder());
        shown = busy.window();
        ASSERT_NE(shown, nullptr);
        EXPECT_TRUE(shown->isVisible());
        EXPECT_TRUE(shown->animation()->isPlaying());
    }
    EXPECT_TRUE(shown.isNull());

    // An owner deleted while the busy window is up takes the window with it.
    auto* owner = new QWidget;
    BusyWindow busy(programFolder(), owner);
    EXPECT_EQ(busy.window()->parentWidget(), owner);
    delete owner;
    EXPECT_EQ(busy.window(), nullptr);
}

}  // namespace
}  // namespace qv
