#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/byte_line_edit.h"
#include "app/file_list_model.h"
#include "app/frmMain.h"
#include "settings/clsRegistry.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "widgets/browse_for_folder.h"
#include "widgets/qt_dialogs.h"

namespace qv::apptest {

using test::fileExists;
using test::guidOf;
using test::makeDirs;
using test::readFile;
using test::writeFile;

// A program folder with the three required files, a game folder with its type folders, a
// cache and its configuration, and a registry file of its own that already knows the game.
// Message boxes and the folder picker are scripted for the life of the fixture.
class MainWindowTest : public ::testing::Test {
  protected:
    test::TempDir tmp;
    std::string programFolder = tmp / "prog";
    std::string game = tmp / "UT";
    std::string cacheDir = tmp / "UT/Cache";
    std::string registryPath = tmp / "registry.reg";
    ScriptedMessageBoxes boxes;
    ScriptedFolderPicker picker;
    std::vector<std::string> indexLines{"[Cache]"};
    unsigned nextGuid = 1;
    std::unique_ptr<frmMain> window;

    void SetUp() override {
        test::ensureQtApp();
        ::setenv("QUORVEL_REGISTRY", registryPath.c_str(), 1);
        makeDirs(programFolder);
        writeFile(programFolder + "/Quorvel.ini",
                  "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\nTextures=Textures\r\n"
                  "Sounds=Sounds\r\nMusic=Music\r\n");
        writeFile(programFolder + "/QuorvelDontMove.ini", "");
        const std::string builtAvi = std::string(QV_BUILD_DIR) + "/search.avi";
        writeFile(programFolder + "/search.avi",
                  fileExists(builtAvi) ? readFile(builtAvi) : std::string("RIFF"));
        for (const char* sub : {"Maps", "Textures", "Sounds", "Music", "System", "Cache"})
            makeDirs(game + "/" + sub);
        writeFile(game + "/System/UnrealTournament.ini", "[Core.System]\r\nPurgeCacheDays=30\r\n");
        writeFile(game + "/System/User.ini", "[DefaultPlayer]\r\nName=Xan\r\n");
        storeGameFolder(game + "/");
    }

    void TearDown() override {
        window.reset();
        ::unsetenv("QUORVEL_REGISTRY");
    }

    void storeGameFolder(const std::string& folder) {
        clsRegistry::gameKey(nullptr, registryPath).WriteEntry("Folder", folder);
    }
    std::string gameFolderStored() {
        return clsRegistry::gameKey(nullptr, registryPath).ReadEntry("Folder", "");
    }
    void storeOption(const std::string& name, const std::string& value) {
        clsRegistry::programKey(nullptr, registryPath).WriteEntry(name, value);
    }
    std::string storedOption(const std::string& name) {
        return clsRegistry::programKey(nullptr, registryPath).ReadEntry(name, "<missing>");
    }

    // A package in the cache: its file and its index line. Returns its cache file name.
    std::string addPackage(const std::string& realName, const std::string& folder = {}) {
        const std::string guid = guidOf(nextGuid++);
        const std::string dir = folder.empty() ? cacheDir : folder;
        writeFile(dir + "/" + guid + ".uxx", "bytes of " + realName);
        indexLines.push_back(guid + "=" + realName);
        return guid + ".uxx";
    }
    void writeIndex(const std::string& folder = {}) {
        std::string text;
        for (const std::string& line : indexLines) text += line + "\r\n";
        writeFile((folder.empty() ? cacheDir : folder) + "/cache.ini", text);
    }
    // Packages in the cache and their index.
    void fillCache(std::initializer_list<const char*> names) {
        for (const char* n : names) addPackage(n);
        writeIndex();
    }

    // A window that has gone through its start-up.
    frmMain& load() {
        window = std::make_unique<frmMain>(programFolder);
        EXPECT_TRUE(window->Form_Load());
        return *window;
    }

    template <class T>
    T* child(const char* name) const {
        T* w = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QAbstractButton* button(const char* name) const { return child<QAbstractButton>(name); }
    bool isOn(const char* name) const { return button(name)->isChecked(); }
    ByteLineEdit* edit(const char* name) const { return child<ByteLineEdit>(name); }
    int currentTab() const { return child<QTabWidget>("SSTab1")->currentIndex(); }
    std::string listFile() const { return readFile(programFolder + "/QuorvelDontMove.ini"); }
    void expectStored(std::initializer_list<std::pair<const char*, std::string>> options) {
        for (const auto& [name, value] : options) EXPECT_EQ(storedOption(name), value) << name;
    }
    QAction* menuEntry(const char* name) const { return child<QAction>(name); }
    std::string labelText(const char* name) const {
        return child<QLabel>(name)->text().toStdString();
    }

    // The texts of the list's rows as shown, with their check marks and never-move marks.
    struct Shown {
        std::string text;
        bool checked;
        bool neverMove;
        bool operator==(const Shown&) const = default;
    };
    std::vector<Shown> shownRows() const {
        const FileListModel* m = window->fileList();
        std::vector<Shown> out;
        for (int r = 0; r < m->rowCount(); ++r)
            out.push_back({m->rowAt(r).text, m->rowAt(r).checked, m->rowAt(r).neverMove});
        return out;
    }
    std::vector<std::string> statusLines() const {
        std::vector<std::string> out;
        auto* list = child<QListWidget>("List1");
        for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
        return out;
    }
    std::vector<std::string> neverMoveBox() const {
        std::vector<std::string> out;
        auto* list = child<QListWidget>("lstNM");
        for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
        return out;
    }
    std::string statusText() const {
        return window->statusBar()->findChild<QLabel*>("sbrText")->text().toStdString();
    }
};

}  // namespace qv::apptest
