// Pictures of the main window's four tabs for the documentation. Run with
// QV_SCREENSHOT_DIR=<folder> (under a display, e.g. xvfb-run, for the desktop's own fonts).

#include <QTest>

#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

class Screenshot : public MainWindowTest {};

TEST_F(Screenshot, EachTab) {
    const char* dir = std::getenv("QV_SCREENSHOT_DIR");
    if (!dir || !*dir) GTEST_SKIP() << "set QV_SCREENSHOT_DIR to take the pictures";

    for (const char* name :
         {"CTF-Face.unr", "DM-Deck16][.unr", "AS-Frigate.unr", "Skaarj.utx", "SoldierSkins.utx",
          "Botpack.u", "Relics.u", "Organic.uax", "Mech8.umx", "CTF-Coret.unr", "DM-Morpheus.unr",
          "Ancient.utx", "DOM-Cinder.unr", "Botpack.u"})
        addPackage(name);
    writeIndex();
    writeFile(programFolder + "/QuorvelDontMove.ini", "Relics.u\r\nCTF-Coret.unr\r\n");

    frmMain& w = load();
    w.show();
    QTest::qWait(50);
    const auto save = [&](int tab, const char* file) {
        child<QTabWidget>("SSTab1")->setCurrentIndex(tab);
        QTest::qWait(50);
        EXPECT_TRUE(w.grab().save(QString::fromLocal8Bit(dir) + "/" + file));
    };
    child<QTreeView>("ListView1")
        ->selectionModel()
        ->select(w.fileList()->index(3, 0),
                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    save(1, "main-file-list.png");

    child<QRadioButton>("optSelectOnly")->click();
    child<QCheckBox>("chkUNR")->click();
    child<QCheckBox>("chkUTX")->click();
    child<QRadioButton>("optMoveDir2")->click();
    child<ByteLineEdit>("txtMoveDir2")->setBytes("/home/player/ut-packages");
    save(2, "main-options.png");

    child<ByteLineEdit>("txtNMAdd")->setBytes("DM-Gothic.unr");
    save(3, "main-never-move.png");

    child<QRadioButton>("optMoveNorm")->click();
    w.cmdCommitFileTypes_Click();
    w.cmdRun_Click();
    save(0, "main-status.png");
}

}  // namespace
}  // namespace qv::apptest
