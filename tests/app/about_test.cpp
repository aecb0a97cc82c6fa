#include <gtest/gtest.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <cstdlib>

#include "app/frmAbout.h"
#include "app/maker.h"
#include "settings/clsRegistry.h"
#include "settings/registry_file.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "widgets/qt_dialogs.h"

namespace qv {
namespace {

constexpr const char* kUnavailable = "System Information Is Unavailable At This Time";

// Records the addresses the desktop would open.
class UrlCatcher final : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public Q_SLOTS:
    void open(const QUrl& url) { opened.push_back(url); }
};

class AboutTest : public ::testing::Test {
  protected:
    void SetUp() override { test::ensureQtApp(); }
    void TearDown() override {
        if (frmAbout* w = frmAbout::openWindow()) delete w;
    }

    QString folder() const { return QString::fromStdString(dir_.path()); }
    // A program that starts and ends at once.
    static std::string makeProgram(const std::string& path) {
        EXPECT_EQ(::symlink("/bin/true", path.c_str()), 0) << path;
        return path;
    }
    void store(const std::string& key, const std::string& name, const std::string& text) {
        RegistryFile file(registry_);
        ASSERT_TRUE(file.setValue(HKEY_LOCAL_MACHINE_ROOT, key, name,
                                  RegValue{REG_SZ_TYPE, text + std::string(1, '\0')}));
    }

    test::TempDir dir_;
    test::TempDir bin_;  // the only folder on PATH
    std::string registry_ = dir_ / "registry.reg";
    test::ScopedEnv registryEnv_{"QUORVEL_REGISTRY", registry_};
    test::ScopedEnv pathEnv_{"PATH", bin_.path()};
};

template <class T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

TEST_F(AboutTest, TextsLinksAndTheBackgroundChime) {
    frmAbout about(folder());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Quorvel"));
    const std::pair<const char*, const char*> captions[] = {
        {"lblTitle", "Quorvel"},
        {"lblVersion", "Version 3.0"},
        {"lblDescription",
         "This utility will clean out your Cache folder and Cache.INI file. All files will be "
         "moved to their specific directories or where you specify.\n\n A LOG file is created in "
         "the directory this application resides.\n\n Please see the main Help file for full "
         "documentation and all capabilities."},
        {"Label1", "Email me with problems/comments: "},
        {"Label2", "Main website:"},
        {"lblEmail", kSupportEmail},
        {"lblWebsite", kWebsite}};
    for (const auto& [name, text] : captions)
        EXPECT_EQ(child<QLabel>(about, name)->text(), QString::fromLatin1(text)) << name;
    auto* ok = child<QPushButton>(about, "cmdOK");
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(child<QPushButton>(about, "cmdSysInfo")->text(), QStringLiteral("&System Info..."));

    // The whole description shows in the fixed-size window.
    about.show();
    auto* description = child<QLabel>(about, "lblDescription");
    EXPECT_GE(description->height(), description->heightForWidth(description->width()));
    auto* email = child<QLabel>(about, "lblEmail");
    auto* web = child<QLabel>(about, "lblWebsite");
    for (QLabel* link : {email, web}) {
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }
    EXPECT_FALSE(email->font().underline());
    EXPECT_TRUE(web->font().underline());

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("mailto", &catcher, "open");
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QTest::mouseClick(email, Qt::LeftButton);
    QTest::mouseClick(web, Qt::LeftButton);
    QTest::mouseClick(child<QLabel>(about, "lblTitle"), Qt::LeftButton);  // not a link
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.opened.size(), 2);
    EXPECT_EQ(catcher.opened[0].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(catcher.opened[0].path(), QString::fromLatin1(kSupportEmail));
    EXPECT_EQ(catcher.opened[0].query(QUrl::FullyDecoded), QStringLiteral("subject=Quorvel v2.0"));
    EXPECT_EQ(catcher.opened[1], QUrl(QString::fromLatin1(kWebsite)));

    EXPECT_FALSE(about.Form_Click());                           // no e.wav: the system beep
    test::writeFile(dir_ / "e.wav", "RIFF\x24\0\0\0WAVEfmt ");  // damaged: its failure is ignored
    EXPECT_TRUE(about.Form_Click());
    QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(2, 2));
}

TEST_F(AboutTest, OneAboutWindowAtATime) {
    QWidget owner;
    frmAbout* first = frmAbout::showAbout(folder(), &owner);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    first->hide();
    frmAbout* second = frmAbout::showAbout(folder(), &owner);
    EXPECT_EQ(second, first);
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(owner.findChildren<frmAbout*>().size(), 1);

    QPointer<frmAbout> gone = first;
    QTest::mouseClick(child<QPushButton>(*first, "cmdOK"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(gone.isNull());
    EXPECT_EQ(frmAbout::openWindow(), nullptr);

    QPointer<frmAbout> escaped = frmAbout::showAbout(folder(), &owner);
    QTest::keyClick(escaped, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(escaped.isNull() || !escaped->isVisible());
}

TEST_F(AboutTest, SysInfoStartsTheFirstProgramThatIsThereElseSaysItIsUnavailable) {
    ScriptedMessageBoxes boxes;
    frmAbout about(folder());
    EXPECT_EQ(about.StartSysInfo(), QString());  // no registry values, no programs
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "Quorvel");
    EXPECT_EQ(boxes.shown[0].text, kUnavailable);

    // Registry values pointing nowhere, or to a folder without MSINFO32.EXE.
    const char* kPathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
    const char* kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
    store(kPathKey, "PATH", dir_ / "nowhere/msinfo32");
    store(kLocationKey, "MSINFO", dir_ / "nowhere");
    about.show();
    QTest::mouseClick(child<QPushButton>(about, "cmdSysInfo"), Qt::LeftButton);
    test::makeDirs(dir_ / "empty");
    store(kLocationKey, "MSINFO", dir_ / "empty");
    EXPECT_EQ(about.StartSysInfo(), QString());
    EXPECT_EQ(boxes.texts(), std::vector<std::string>(3, kUnavailable));

    // The usual Linux programs on PATH, in their order.
    std::string hardinfo = makeProgram(bin_ / "hardinfo");
    makeProgram(bin_ / "gnome-system-monitor");
    EXPECT_EQ(about.StartSysInfo(), QString::fromStdString(hardinfo));
    // The Shared Tools Location folder with MSINFO32.EXE comes before them ...
    test::makeDirs(dir_ / "Shared Tools/MSInfo");
    std::string msinfo32 = makeProgram(dir_ / "Shared Tools/MSInfo/MSINFO32.EXE");
    store(kLocationKey, "MSINFO", dir_ / "Shared Tools\\MSInfo");
    EXPECT_EQ(about.StartSysInfo(), QString::fromStdString(msinfo32));
    // ... and the MSINFO PATH value before everything.
    std::string direct = makeProgram(dir_ / "sysinfo");
    store(kPathKey, "PATH", direct);
    EXPECT_EQ(about.StartSysInfo(), QString::fromStdString(direct));
    // A PATH value pointing nowhere no longer hides the programs that are there.
    store(kPathKey, "PATH", dir_ / "gone");
    EXPECT_EQ(about.StartSysInfo(), QString::fromStdString(msinfo32));
    EXPECT_EQ(boxes.shown.size(), 3u);
}

}  // namespace
}  // namespace qv

#include "about_test.moc"
