#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QUrl>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "settings/clsRegistry.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "troubleshooter/frm_main.h"
#include "widgets/browse_for_folder.h"
#include "widgets/qt_dialogs.h"

namespace qv::troubleshooter::test {

using qv::test::makeDirs;
using qv::test::readFile;
using qv::test::writeFile;

// Report lines joined as the report writes them.
inline std::string crlf(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

inline const std::string kEquals = "====================================";
inline const std::string kRule = "--------------------------------------------------------";

// A home folder and a registry file of its own for every test, a scripted folder picker and
// scripted message boxes, and a record of what the window asked the desktop to open.
class TroubleshooterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qv::test::ensureQtApp();
        ASSERT_EQ(kEquals.size(), 36u);
        ASSERT_EQ(kRule.size(), 56u);
        makeDirs(home);
    }
    void TearDown() override { window.reset(); }

    // A cache folder with the given cache.ini text (none when `ini` is null) and files.
    std::string makeCache(const std::string& name, const char* ini,
                          const std::vector<std::string>& files = {}) {
        const std::string folder = tmp / name;
        makeDirs(folder);
        if (ini) writeFile(folder + "/cache.ini", ini);
        for (const auto& f : files) writeFile(folder + "/" + f, "data of " + f);
        return folder;
    }

    void setGameFolder(const std::string& v) { clsRegistry::gameKey().WriteEntry("Folder", v); }
    void setQuorvel(const std::string& cacheDir, const std::string& installPath) {
        clsRegistry key = clsRegistry::programKey();
        key.WriteEntry("CacheDir", cacheDir);
        key.WriteEntry("InstallPath", installPath);
    }
    std::string storedGameFolder() { return clsRegistry::gameKey().ReadEntry("Folder", ""); }

    Services services() {
        Services s;
        s.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return openSucceeds;
        };
        s.versionQuery = [](VersionInfo& v) {
            v.platformId = kPlatformKernel;
            v.kernelName = "Linux";
            v.kernelRelease = "6.1.0-test";
            return true;
        };
        return s;
    }

    // Creates the window and runs its start-up with the scripted picker.
    frmMain& start(Services s) {
        window = std::make_unique<frmMain>(std::move(s));
        window->Form_Load();
        return *window;
    }
    frmMain& start() { return start(services()); }

    template <class T>
    T* control(const char* name) {
        T* c = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    std::string report() { return readFile(home + "/CacheInfo.txt"); }

    qv::test::TempDir tmp;
    std::string home = tmp / "home";
    std::string registryPath = tmp / "registry.reg";
    qv::test::ScopedEnv homeEnv{"HOME", home};
    qv::test::ScopedEnv registryEnv{"QUORVEL_REGISTRY", registryPath};
    ScriptedFolderPicker picker;
    ScriptedMessageBoxes boxes;
    std::vector<QUrl> opened;
    bool openSucceeds = true;
    std::unique_ptr<frmMain> window;
};

}  // namespace qv::troubleshooter::test
