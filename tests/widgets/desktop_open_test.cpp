// The desktop opener over stand-in xdg-mime and xdg-open programs.

#include "widgets/desktop_open.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QUrl>

#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"

namespace qv {
namespace {

// Guards: a link counted as opened when no graphical program is set for it (xdg-open would hand
// it to a text-mode browser without a terminal) or when xdg-open fails at once; a link not
// handed on when a program is there.
TEST(DesktopOpen, NeedsAGraphicalProgramThatDoesNotFailAtOnce) {
    test::ensureQtApp();
    test::TempDir tmp;
    const std::string bin = tmp / "bin", apps = tmp / "data/applications";
    for (const std::string& dir : {bin, apps}) test::makeDirs(dir);
    test::ScopedEnv path{"PATH", bin + ":/usr/bin:/bin"}, data{"XDG_DATA_HOME", tmp / "data"},
        dirs{"XDG_DATA_DIRS", tmp / "none"};
    const auto script = [&](const std::string& name, const std::string& body) {
        test::writeFile(bin + "/" + name, "#!/bin/sh\n" + body + "\n");
        ::chmod((bin + "/" + name).c_str(), 0755);
    };
    test::writeFile(apps + "/mail.desktop", "[Desktop Entry]\nExec=mail %u\nTerminal=false\n");
    test::writeFile(apps + "/mutt.desktop", "[Desktop Entry]\nExec=mutt %u\nTerminal=true\n");
    // What xdg-mime names, xdg-open's exit status, whether the link counts as opened, whether
    // xdg-open was started.
    const struct {
        const char* handler;
        int openExit;
        bool opened, started;
    } cases[] = {
        {"", 0, false, false},              // nothing set: text-mode fallback, not started
        {"mutt.desktop", 0, false, false},  // a terminal program without a terminal
        {"gone.desktop", 0, false, false},  // set, but not installed
        {"mail.desktop", 4, false, true},   // xdg-open fails at once
        {"mail.desktop", 0, true, true},
    };
    const QUrl link(QStringLiteral("mailto:someone@example.org?subject=Hi"));
    for (const auto& c : cases) {
        std::remove((tmp / "started").c_str());
        script("xdg-mime", std::string("echo ") + c.handler);
        script("xdg-open",
               "echo \"$1\" > " + tmp / "started" + "; exit " + std::to_string(c.openExit));
        EXPECT_EQ(openOnDesktop(link), c.opened) << c.handler << " " << c.openExit;
        EXPECT_EQ(test::fileExists(tmp / "started"), c.started) << c.handler;
    }
    EXPECT_EQ(test::readFile(tmp / "started"), "mailto:someone@example.org?subject=Hi\n");
}

}  // namespace
}  // namespace qv
