// The About window as a user meets it: its links, its OK button, its system-information button.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/frmAbout.h"
#include "app/maker.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "widgets/qt_dialogs.h"

namespace qv {
namespace {

// Records the addresses the desktop would open.
class UrlCatcher final : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public Q_SLOTS:
    void open(const QUrl& url) { opened.push_back(url); }
};

// Guards: links that open the wrong address or none, a second About window, a window that
// stays after OK, a system-information button that starts nothing or says nothing.
TEST(About, LinksOkAndSystemInformation) {
    test::ensureQtApp();
    test::TempDir dir, bin;
    test::ScopedEnv registry{"QUORVEL_REGISTRY", dir / "registry.reg"};
    test::ScopedEnv path{"PATH", bin.path()};  // no system-information program yet
    ScriptedMessageBoxes boxes;
    QWidget owner;
    QPointer<frmAbout> about = frmAbout::showAbout(QString::fromStdString(dir.path()), &owner);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(frmAbout::showAbout(QString::fromStdString(dir.path()), &owner), about.data());
    EXPECT_EQ(owner.findChildren<frmAbout*>().size(), 1);

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("mailto", &catcher, "open");
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    for (const char* link : {"lblEmail", "lblWebsite", "lblTitle"})
        QTest::mouseClick(about->findChild<QLabel*>(link), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.opened.size(), 2);  // the title is no link
    EXPECT_EQ(catcher.opened[0].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(catcher.opened[0].path(), QString::fromLatin1(kSupportEmail));
    EXPECT_EQ(catcher.opened[1], QUrl(QString::fromLatin1(kWebsite)));

    auto* sysInfo = about->findChild<QPushButton*>("cmdSysInfo");
    sysInfo->click();
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"System Information Is Unavailable At This Time"});
    ASSERT_EQ(::symlink("/bin/true", (bin / "hardinfo").c_str()), 0);  // one on PATH
    EXPECT_EQ(about->StartSysInfo(), QString::fromStdString(bin / "hardinfo"));
    sysInfo->click();
    EXPECT_EQ(boxes.shown.size(), 1u);

    QTest::mouseClick(about->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());
    EXPECT_EQ(frmAbout::openWindow(), nullptr);
}

}  // namespace
}  // namespace qv

#include "about_test.moc"
