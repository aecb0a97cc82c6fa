// The real message boxes behind the scripted ones the window tests use.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

#include "tests/support/scripted_boxes.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "widgets/browse_for_folder.h"
#include "widgets/qt_dialogs.h"

namespace qv {
namespace {

// Answers the next message box with `button` once its exec() runs; `seen` gets title|text|
// default button, "|cut" when the box is narrower than its title or its text or can be
// maximised, and "|locked" when its text cannot be selected.
void answerNextBox(QMessageBox::StandardButton button, QString& seen) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=, &seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = box->windowTitle() + "|" + box->text() + "|" + box->defaultButton()->text();
            const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            if (box->width() <= box->fontMetrics().horizontalAdvance(box->windowTitle()) + 80 ||
                label->width() < label->sizeHint().width() ||
                box->windowFlags() & Qt::WindowMaximizeButtonHint)
                seen += "|cut";
            if (!(label->textInteractionFlags() & Qt::TextSelectableByMouse)) seen += "|locked";
            poll->stop();
            poll->deleteLater();
            box->button(button)->click();
        }
    });
    poll->start(10);
}

// Guards: a question whose No counts as Yes (a purge answered No that deletes), a box without
// the program's title, scripted boxes left in force after their scope.
TEST(MessageBoxes, RealBoxesAnswerYesAndNo) {
    test::ensureQtApp();
    { ScriptedMessageBoxes scopedOnly; }
    QtDialogs dialogs(nullptr, "Quorvel Troubleshooter");
    QString seen;
    answerNextBox(QMessageBox::Yes, seen);
    EXPECT_TRUE(dialogs.askYesNo("", "Really?"));
    EXPECT_EQ(seen, QStringLiteral("Quorvel Troubleshooter|Really?|&Yes"));
    answerNextBox(QMessageBox::No, seen);
    EXPECT_FALSE(dialogs.askYesNoDefaultNo("Purge", "Really not?"));
    EXPECT_EQ(seen, QStringLiteral("Purge|Really not?|&No"));  // Enter alone does not purge
}

// Guards: text that cannot be selected and copied, a path or mail address broken across lines,
// a long name cut off, a name not valid UTF-8 shown as replacement marks.
TEST(MessageBoxes, TextSelectablePathsWholeLongNamesShown) {
    test::ensureQtApp();
    QtDialogs dialogs(nullptr, "Quorvel");
    const QString path = QStringLiteral(
        "/home/someone/.local/share/Steam/steamapps/common/UnrealTournament/quorvel-updates/");
    QString seen;
    answerNextBox(QMessageBox::No, seen);
    dialogs.askYesNo("", "Mail the file " + path.toStdString() + " to quorvel-help@x.example?");
    EXPECT_TRUE(seen.section(QLatin1Char('|'), 1, 1).split(QLatin1Char('\n')).filter(path).size() ==
                1)
        << seen.toStdString();
    EXPECT_FALSE(seen.endsWith(QStringLiteral("|cut")) || seen.endsWith(QStringLiteral("|locked")));
    answerNextBox(QMessageBox::No, seen);
    dialogs.askYesNo("Add File", "Add DM-" + std::string(250, 'X') + "-CAF\xC9.UNR to the list?");
    EXPECT_TRUE(seen.startsWith(QStringLiteral("Add File|Add"))) << seen.toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("X-CAF\u00C9.UNR")));
    EXPECT_TRUE(seen.endsWith(QStringLiteral("list?|&Yes")));
}

// Guards: a picked folder whose name is not valid in the locale's encoding coming back with the
// bytes of U+FFFD in place of its own (a folder that does not exist).
TEST(FolderPicker, KeepsTheBytesOfANameOutsideTheLocale) {
    test::TempDir tmp;
    const std::string odd = tmp / "Jeux\xe9/Cache";
    test::makeDirs(odd);
    const QString shown = QFile::decodeName(odd.c_str());
    ASSERT_NE(QFile::encodeName(shown).toStdString(), odd);  // what the dialog gives back
    EXPECT_EQ(folderBytes(shown), odd);
    EXPECT_EQ(folderBytes(QStringLiteral("/no/such/folder")), "/no/such/folder");
}

// Guards: a picker wider or taller than a 1280x960 screen at scale 2 (640x480 of its own
// pixels) in the desktop's font or one 2 points larger, its dates cut, a prompt's colon in its
// title.
TEST(FolderPicker, FitsASmallScreenTitledWithItsDatesWhole) {
    test::ensureQtApp();
    test::TempDir tmp;
    test::makeDirs(tmp / "UT/Cache");
    const QFont normal = QApplication::font();
    for (const qreal larger : {0.0, 2.0}) {
        SCOPED_TRACE(larger);
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() + larger);
        QApplication::setFont(font);
        QString title;
        QSize least;
        int date = 0, dateText = 0, sideways = -1;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!picker) return;
            poll.stop();
            title = picker->windowTitle();
            least = picker->minimumSizeHint().expandedTo(picker->minimumSize());
            if (auto* details = picker->findChild<QTreeView*>(QStringLiteral("treeView"))) {
                QApplication::processEvents();
                date = details->header()->sectionSize(3);
                sideways = details->horizontalScrollBar()->maximum();
                dateText = details->fontMetrics().horizontalAdvance(QLocale().toString(
                    QDateTime(QDate(2026, 12, 28), QTime(23, 58, 58)), QLocale::ShortFormat));
            }
            picker->reject();
        });
        poll.start(10);
        EXPECT_EQ(BrowseForFolder(nullptr, "Choose the UT Cache folder:", 0, 0, tmp / "UT"), "");
        EXPECT_EQ(title, QStringLiteral("Choose the UT Cache folder"));
        EXPECT_TRUE(least.width() <= 636 && least.height() <= 462)
            << least.width() << "x" << least.height();
        EXPECT_GT(date, dateText);
        EXPECT_EQ(sideways, 0);
    }
    QApplication::setFont(normal);
}

}  // namespace
}  // namespace qv
