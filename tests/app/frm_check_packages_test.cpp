// The file list's package columns and Tools > "Check Packages..." as a player meets them.
#include "app/frm_check_packages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <filesystem>

#include "app/file_list_model.h"
#include "tests/app/main_window_fixture.h"

namespace qv {
namespace {

// Guards: a damaged row left checked or without its reason, an installed version not told apart,
// a check window that counts "needs" pairs as packages, lists them unsorted or ungrouped, misses
// a lost line or cannot put it back, or previews no package.
TEST_F(MainWindow, PackageColumnsAndTheCheckWindowPutALostLineBack) {
    const Texts files = fill({"CTF-Good.unr", "Broken.unr", "Other.utx", "Gone.umx"});
    writeFile(cache + "/" + files[1], "a text file, not a map");
    std::filesystem::remove(cache + "/" + files[3]);
    writeFile(game + "/Textures/other.UTX", packageOf(test::guidOf(90) + ".uxx", "old"));
    const auto needing = [](const Texts& needs) {
        pkg::PackageSpec spec;
        spec.needs = needs;
        return pkg::writePackage(spec);
    };
    writeFile(game + "/Maps/DM-A.unr", needing({"Skies", "Gone"}));
    writeFile(game + "/Maps/dm-b.unr", needing({"SKIES"}));
    const std::string lost = test::guidOf(91);
    writeFile(cache + "/" + lost + ".uxx", packageOf(lost + ".uxx", "lost"));
    writeFile(cache + "/cachebak.ini", "[Cache]\r\n" + lost + "=Lost.utx\r\n");
    load();
    EXPECT_EQ(rows(All, FileListModel::Package),
              (Texts{"version 69", "damaged (not a package)", "version 69", "no file"}));
    EXPECT_EQ(rows(All, FileListModel::Installed), (Texts{"", "", "other version", ""}));
    // The game has Other.utx in other letter case: the run keeps it, so it starts unchecked; the
    // line without its file is one the run drops.
    EXPECT_EQ(rows(Checked), (Texts{"CTF-Good.unr", "Gone.umx"}));
    const QAbstractItemModel* m = child<QTreeView>("ListView1")->model();
    EXPECT_EQ(m->index(1, 0).data(Qt::ToolTipRole).toString().toStdString(),
              "Broken.unr is damaged (not a package) and stays in the cache");
    EXPECT_EQ(m->index(2, 0).data(Qt::ToolTipRole).toString().toStdString(),
              "Other.utx stays in the cache (case twin of other.UTX)");

    boxes.answers = {true};
    Texts shown, under, after;
    std::string summary;
    QTimer tick;
    QString preview;  // of the first result's package, read on the preview's thread
    int waited = 0;   // ticks, at most five seconds
    QObject::connect(&tick, &QTimer::timeout, [&] {
        auto* w = qobject_cast<frmCheckPackages*>(QApplication::activeModalWidget());
        if (!w || !preview.isEmpty()) return;
        if (shown.empty()) {
            const QAbstractItemModel* r = w->results()->model();
            for (int i = 0; i < r->rowCount(); ++i)
                shown.push_back(r->index(i, 0).data().toString().toStdString());
            for (int i = 0; i < r->rowCount(r->index(1, 0)); ++i)
                under.push_back(r->index(i, 0, r->index(1, 0)).data().toString().toStdString());
            summary = w->summary().toStdString();
            w->results()->setCurrentIndex(r->index(2, 0));  // the damaged package
        }
        if ((preview = w->preview()->factsText()).isEmpty() && ++waited < 500) return;
        if (preview.isEmpty()) preview = QStringLiteral("(none)");
        w->findChild<QPushButton*>("cmdRestore")->click();
        after.push_back(w->summary().toStdString());
        w->accept();
    });
    tick.start(10);
    menu("mnuToolsCheckPackages");
    tick.stop();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "Gone is neither installed nor in the cache; DM-A.unr needs it");
    EXPECT_EQ(shown[1], "Skies is neither installed nor in the cache; 2 packages need it");
    EXPECT_EQ(under, (Texts{"DM-A.unr", "dm-b.unr"}));
    EXPECT_TRUE(test::has(summary, ": 2 packages are missing, needed 3 times ("));
    EXPECT_EQ(shown[2], "Broken.unr in the cache (" + cache + "/" + files[1] +
                            ") is damaged (not a package)");
    EXPECT_EQ(shown[3].rfind(lost + ".uxx  ", 0), 0u) << shown[3];
    EXPECT_TRUE(test::has(shown[3], "no index line (saved: Lost.utx)"));
    // Said once: the state is the reason.
    EXPECT_TRUE(preview.contains("State: not a package") && !preview.contains("Reason:"))
        << preview.toStdString();
    EXPECT_TRUE(test::has(readFile(cache + "/cache.ini"), lost + "=Lost.utx\r\n"));
    ASSERT_EQ(after.size(), 1u);
    EXPECT_FALSE(test::has(after[0], "no index line"));

    // The run says why the damaged package stays.
    click("cmdRun");
    const Texts status = test::shownTexts(*window, "List1");
    EXPECT_NE(std::find(status.begin(), status.end(),
                        files[1] + " {Broken.unr} was not moved: it is damaged (not a package)."),
              status.end());
}

// Guards: a row checked that the run keeps (a case twin, a namesake, another version), an empty
// Installed column for it, a count beside what the run moves, a kept row moved when checked by
// hand, and a run that changes nothing writing a log or a journal.
TEST_F(MainWindow, TheListChecksAndCountsWhatTheRunDoes) {
    const Texts files =
        fill({"CTF-X.unr", "ctf-x.unr", "Skins.u", "Skins.utx", "Old.utx", "Fine.umx", "Gone.uax"});
    writeFile(game + "/Textures/Old.utx", packageOf(test::guidOf(90) + ".uxx", "old"));
    std::filesystem::remove(cache + "/" + files[6]);
    load();
    EXPECT_EQ(rows(Checked), (Texts{"CTF-X.unr", "Skins.u", "Fine.umx", "Gone.uax"}));
    EXPECT_EQ(rows(All, FileListModel::Installed),
              (Texts{"", "other version", "", "other version", "other version", "", ""}));
    EXPECT_EQ(label("sbrText"), "Found 3 files to process");
    // Checked by hand, the case twin still stays, and its row says so; the count stays.
    QAbstractItemModel* m = child<QTreeView>("ListView1")->model();
    ASSERT_TRUE(m->setData(m->index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(m->index(1, 0).data(Qt::ToolTipRole).toString().toStdString(),
              "ctf-x.unr stays in the cache (case twin of CTF-X.unr); checked, the run still "
              "keeps it");
    EXPECT_EQ(label("sbrText"), "Found 3 files to process");
    // A row the run moves, unchecked and checked again by hand: the count follows.
    ASSERT_TRUE(m->setData(m->index(5, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(label("sbrText"), "Found 2 files to process");
    ASSERT_TRUE(m->setData(m->index(5, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(label("sbrText"), "Found 3 files to process");
    click("cmdRun");
    for (const char* placed : {"/Maps/CTF-X.unr", "/System/Skins.u", "/Music/Fine.umx"})
        EXPECT_TRUE(std::filesystem::exists(game + placed)) << placed;
    for (std::size_t k : {1, 3, 4}) EXPECT_TRUE(std::filesystem::exists(cache + "/" + files[k]));
    EXPECT_EQ(rows(All), (Texts{"ctf-x.unr", "Skins.utx", "Old.utx"}));
    EXPECT_EQ(rows(Checked), Texts{});
    // A run of the kept rows, checked by hand, changes and writes nothing.
    const std::string log = readFile(prog + "/Quorvel.log"), index = readFile(cache + "/cache.ini");
    const std::string backup = readFile(cache + "/cachebak.ini");
    const Texts journals = test::listNames(prog + "/runs");
    for (int r = 0; r < 3; ++r)
        ASSERT_TRUE(m->setData(m->index(r, 0), Qt::Checked, Qt::CheckStateRole));
    click("cmdRun");
    EXPECT_EQ(readFile(prog + "/Quorvel.log"), log);
    EXPECT_EQ(readFile(cache + "/cache.ini"), index);
    EXPECT_EQ(readFile(cache + "/cachebak.ini"), backup);
    EXPECT_EQ(test::listNames(prog + "/runs"), journals);
}

}  // namespace
}  // namespace qv
