// The file list's package columns and Tools > "Check Packages..." as a player meets them.
#include "app/frm_check_packages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/file_list_model.h"
#include "tests/app/main_window_fixture.h"

namespace qv {
namespace {

// Guards: a damaged row left checked or without its reason, an installed version not told apart,
// a check window that misses a lost line or cannot put it back, or previews no package.
TEST_F(MainWindow, PackageColumnsAndTheCheckWindowPutALostLineBack) {
    const Texts files = fill({"CTF-Good.unr", "Broken.unr", "Other.utx"});
    writeFile(cache + "/" + files[1], "a text file, not a map");
    writeFile(game + "/Textures/other.UTX", packageOf(test::guidOf(90) + ".uxx", "old"));
    const std::string lost = test::guidOf(91);
    writeFile(cache + "/" + lost + ".uxx", packageOf(lost + ".uxx", "lost"));
    writeFile(cache + "/cachebak.ini", "[Cache]\r\n" + lost + "=Lost.utx\r\n");
    load();
    EXPECT_EQ(rows(All, FileListModel::Package),
              (Texts{"version 69", "damaged (not a package)", "version 69"}));
    EXPECT_EQ(rows(All, FileListModel::Installed), (Texts{"", "", "other version"}));
    EXPECT_EQ(rows(Checked), (Texts{"CTF-Good.unr", "Other.utx"}));
    const QAbstractItemModel* m = child<QTreeView>("ListView1")->model();
    EXPECT_EQ(m->index(1, 0).data(Qt::ToolTipRole).toString().toStdString(),
              "Broken.unr is damaged (not a package) and stays in the cache");

    boxes.answers = {true};
    Texts shown;
    QTimer tick;
    QString preview;  // of the first result's package, read on the preview's thread
    int waited = 0;   // ticks, at most five seconds
    QObject::connect(&tick, &QTimer::timeout, [&] {
        auto* w = qobject_cast<frmCheckPackages*>(QApplication::activeModalWidget());
        if (!w || !preview.isEmpty()) return;
        if (shown.empty()) {
            for (int i = 0; i < w->results()->count(); ++i)
                shown.push_back(w->results()->item(i)->text().toStdString());
            w->results()->setCurrentRow(0);
        }
        if ((preview = w->preview()->factsText()).isEmpty() && ++waited < 500) return;
        if (preview.isEmpty()) preview = QStringLiteral("(none)");
        w->findChild<QPushButton*>("cmdRestore")->click();
        w->accept();
    });
    tick.start(10);
    menu("mnuToolsCheckPackages");
    tick.stop();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "Broken.unr in the cache (" + cache + "/" + files[1] +
                            ") is damaged (not a package)");
    EXPECT_EQ(shown[1].rfind(lost + ".uxx  ", 0), 0u) << shown[1];
    EXPECT_NE(shown[1].find("no index line (saved: Lost.utx)"), std::string::npos) << shown[1];
    EXPECT_TRUE(preview.contains("State: damaged") && preview.contains("Reason: not a package"))
        << preview.toStdString();
    EXPECT_NE(readFile(cache + "/cache.ini").find(lost + "=Lost.utx\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qv
