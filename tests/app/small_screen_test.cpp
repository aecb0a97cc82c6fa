// The main window and Check Packages on a 1280x960 screen at scale 2 (640x480 of the windows'
// own pixels), in the desktop's font and in one 2 points larger, with a map's preview shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "app/file_list_model.h"
#include "app/frm_check_packages.h"
#include "app/preview_panel.h"
#include "tests/app/main_window_fixture.h"
#include "tools/package_objects.h"

namespace qv {
namespace {

// What a window may take of the screen: 640x480 less the window manager's frame and title bar.
const QSize kRoom(636, 462);

bool fits(const QSize& size) {
    return size.width() <= kRoom.width() && size.height() <= kRoom.height();
}

std::string shown(const QSize& s) {
    return std::to_string(s.width()) + "x" + std::to_string(s.height());
}

// A font as the desktop sets it for every program (qt6ct, Plasma): the application's font.
class AppFont {
  public:
    explicit AppFont(qreal larger) : old_(QApplication::font()) {
        QFont font = old_;
        font.setPointSizeF(old_.pointSizeF() + larger);
        QApplication::setFont(font);
    }
    ~AppFont() { QApplication::setFont(old_); }

  private:
    QFont old_;
};

// Guards: a picture that makes the window taller than the screen (Run, Exit and the status bar
// off it), an empty preview keeping its room, list columns that need the scroll bar beside the
// preview, sort arrows over the captions; in Check Packages rows cut beside an empty preview and
// a dialog wider or taller than the screen.
TEST_F(MainWindow, TheWindowsFitTheScreenAtScaleTwoInBothFonts) {
    test::ScopedEnv cacheEnv{"XDG_CACHE_HOME", tmp / "thumbs"};
    const Texts files = fill({"CTF-Seed.unr", "DM-Broken-With-A-Rather-Long-Name.unr"});
    writeMapWithPicture(files[0], "Seed of a long title");
    writeFile(cache + "/" + files[1], readFile(cache + "/" + files[1]).substr(0, 50));
    writeFile(game + "/Maps/DM-Needs.unr", [] {
        pkg::PackageSpec needs;
        needs.needs = {"SomeMissingTexturePackage"};
        return pkg::writePackage(needs);
    }());

    for (const qreal larger : {0.0, 2.0}) {
        SCOPED_TRACE(larger);
        const AppFont font(larger);
        frmMain& w = load();
        w.show();
        auto* panel = w.findChild<PreviewPanel*>(QStringLiteral("PreviewPanel"));
        QTreeView* view = child<QTreeView>("ListView1");
        child<QTabWidget>("SSTab1")->setCurrentIndex(1);
        EXPECT_FALSE(panel->isVisible());  // nothing selected: the list has the room
        QSignalSpy previewed(panel, &PreviewPanel::shown);
        view->setCurrentIndex(rowOf("CTF-Seed.unr"));
        ASSERT_TRUE(previewed.wait(5000));
        ASSERT_FALSE(panel->image().isNull());
        EXPECT_TRUE(fits(w.minimumSizeHint())) << shown(w.minimumSizeHint());
        w.resize(kRoom);
        QApplication::processEvents();
        EXPECT_TRUE(panel->isVisible());
        for (QWidget* bottom : {child<QWidget>("cmdRun"), child<QWidget>("cmdExit"),
                                static_cast<QWidget*>(w.statusBar())}) {
            const QRect r(bottom->mapTo(&w, QPoint(0, 0)), bottom->size());
            EXPECT_TRUE(w.rect().contains(r)) << bottom->objectName().toStdString();
        }
        // Every column in view beside the preview (in the larger font 640 pixels are too few
        // for five columns and a preview: the names give way to a dozen characters first).
        if (larger == 0) {
            EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
        }
        // Each caption whole, the sorted one's beside its arrow.
        QHeaderView* header = view->header();
        for (int c = 0; c < header->count(); ++c)
            EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << c;
        for (const int sorted : {FileListModel::NeverMove, FileListModel::Installed}) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(sorted) + 4, 4));
            ASSERT_TRUE(header->isSortIndicatorShown());
            EXPECT_EQ(header->sortIndicatorSection(), sorted);
            EXPECT_GE(header->sectionSize(sorted), header->sectionSizeHint(sorted)) << sorted;
        }

        Texts cut;
        bool checked = false, emptyPaneHidden = false;
        QSize dialogLeast;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            auto* d = qobject_cast<frmCheckPackages*>(QApplication::activeModalWidget());
            if (!d || checked) return;
            checked = true;
            d->resize(kRoom);
            QTreeView* results = d->results();
            results->setCurrentIndex(results->model()->index(0, 0));  // a missing package
            QApplication::processEvents();
            emptyPaneHidden = !d->preview()->isVisible();
            dialogLeast = d->minimumSizeHint();
            const QAbstractItemModel* m = results->model();
            const QFontMetrics metrics(results->font());
            for (int r = 0; r < m->rowCount(); ++r) {
                const QModelIndex row = m->index(r, 0);
                const QRect at = results->visualRect(row);
                // At least as many lines as the text takes broken anywhere.
                const QRect needed = metrics.boundingRect(QRect(0, 0, at.width() - 8, 100000),
                                                          Qt::TextWordWrap | Qt::TextWrapAnywhere,
                                                          row.data().toString());
                if (needed.height() > at.height() ||
                    row.data(Qt::ToolTipRole).toString() != row.data().toString())
                    cut.push_back(row.data().toString().toStdString());
            }
            d->accept();
        });
        tick.start(10);
        menu("mnuToolsCheckPackages");
        tick.stop();
        EXPECT_TRUE(checked);
        EXPECT_TRUE(emptyPaneHidden);
        EXPECT_TRUE(fits(dialogLeast)) << shown(dialogLeast);
        EXPECT_EQ(cut, Texts{});
        window.reset();
    }
}

}  // namespace
}  // namespace qv
