// The preview beside the file list, as a player moves through the list by mouse and keyboard.
#include <QCryptographicHash>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QUrl>

#include "app/preview_panel.h"
#include "media/thumbnail_cache.h"
#include "tests/app/main_window_fixture.h"
#include "tools/package_objects.h"

namespace qv {
namespace {

TEST_F(MainWindow, PreviewFollowsTheSelectionAndKeepsItsPictureInTheThumbnailCache) {
    test::ScopedEnv cacheEnv{"XDG_CACHE_HOME", tmp / "thumbs"};
    const Texts files = fill({"CTF-Seed.unr", "Broken.unr", "Sounds.uax"});
    writeMapWithPicture(files[0], "Seed");
    writeFile(cache + "/" + files[1], readFile(cache + "/" + files[1]).substr(0, 50));
    frmMain& w = load();
    w.show();
    auto* panel = w.findChild<PreviewPanel*>(QStringLiteral("PreviewPanel"));
    ASSERT_NE(panel, nullptr);
    QSignalSpy shown(panel, &PreviewPanel::shown);
    QTreeView* view = child<QTreeView>("ListView1");
    clickRow("CTF-Seed.unr");
    ASSERT_TRUE(shown.wait(5000));
    for (const char* line : {"Title: Seed", "Author: Writer", "Players: 2-4 players", "Type: map",
                             "Version: 69", "State: ok"})
        EXPECT_TRUE(panel->factsText().contains(QString::fromLatin1(line))) << line;
    EXPECT_EQ(panel->image().size(), QSize(256, 256));
    EXPECT_EQ(panel->image().pixelColor(0, 0), QColor(40, 70, 127));
    // The picture is in the cache file managers share, under the file's URI and time.
    const QString thumb = thumbnailFileOf(QString::fromStdString(cache + "/" + files[0]));
    QImage kept(thumb);
    // The folders made for it are the user's alone, as the desktop makes them.
    for (const char* made : {"thumbs/thumbnails", "thumbs/thumbnails/large"})
        EXPECT_EQ(QFile::permissions(QString::fromStdString(tmp / made)) & 0x0077, 0) << made;
    EXPECT_EQ(kept.text("Thumb::MTime").toLongLong(),
              QFileInfo(QString::fromStdString(cache + "/" + files[0]))
                  .lastModified()
                  .toSecsSinceEpoch());
    QTest::keyClick(view, Qt::Key_Down);
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_TRUE(panel->factsText().contains("State: damaged")) << panel->factsText().toStdString();
    EXPECT_TRUE(panel->factsText().contains("Reason: ")) << panel->factsText().toStdString();
    EXPECT_TRUE(panel->image().isNull());
    // Back up: the map again, as read before.
    QTest::keyClick(view, Qt::Key_Up);
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_TRUE(panel->factsText().contains("Title: Seed"));
    EXPECT_EQ(panel->image().size(), QSize(256, 256));
}

// A title a server chose with markup, line breaks and tabs: the preview shows its characters
// as they are, on its line, and the window keeps its size.
TEST_F(MainWindow, PreviewShowsAServersTextAsPlainTextWithoutGrowingTheWindow) {
    const Texts files = fill({"CTF-Seed.unr", "<b>bold<b>.unr"});
    const std::string html =
        "<h1 style=\"color:red\">FAKE: State ok, verified</h1><img src=\"" + cache + "/x.png\">";
    for (int i = 0; i < 2; ++i) {
        pkg::PackageSpec spec;
        spec.guid = files[i].substr(0, 32);
        const std::string title = i == 0 ? std::string("Seed") : html + std::string(300, 'W');
        spec.exports = {pkg::levelInfo({title, i == 0 ? "Writer" : "a\tb\nc", "2-4", ""})};
        writeFile(cache + "/" + files[i], pkg::writePackage(spec));
    }
    QImage tall(200, 900, QImage::Format_RGB32);  // what rich text would load and draw
    tall.fill(Qt::red);
    ASSERT_TRUE(tall.save(QString::fromStdString(cache + "/x.png")));
    frmMain& w = load();
    w.show();
    auto* panel = w.findChild<PreviewPanel*>(QStringLiteral("PreviewPanel"));
    ASSERT_NE(panel, nullptr);
    QSignalSpy shown(panel, &PreviewPanel::shown);
    clickRow("CTF-Seed.unr");
    ASSERT_TRUE(shown.wait(5000));
    QApplication::processEvents();
    const QSize size = w.size(), hint = w.minimumSizeHint();
    clickRow("<b>bold<b>.unr");
    ASSERT_TRUE(shown.wait(5000));
    QApplication::processEvents();
    const QString facts = panel->factsText();
    EXPECT_TRUE(facts.contains(QString::fromStdString("Title: " + html.substr(0, 40))))
        << facts.toStdString();
    EXPECT_TRUE(facts.contains(QString::fromUtf8("Author: a\u2409b\u240Ac")))
        << facts.toStdString();
    EXPECT_FALSE(child<QTextEdit>("lblPreview")->acceptRichText());
    EXPECT_EQ(w.size(), size);
    EXPECT_LE(w.minimumSizeHint().height(), hint.height());
}

// The thumbnail cache's names are the ones Qt forms, which the desktop's other programs find: the
// URI of every byte in a path, and the MD5 on both sides of each block edge.
TEST(ThumbnailNames, AreTheOnesQtForms) {
    std::vector<std::string> paths = {"/home/\xc3\xbc/UT #1/Cache/a?b%41[c] d.uxx", "/x/./y/../z"};
    for (int c = 1; c < 256; ++c) paths.push_back(std::string("/cache/a") + char(c) + "b.unr");
    for (const std::string& path : paths) {
        const QString absolute = QFileInfo(QString::fromLocal8Bit(path)).absoluteFilePath();
        EXPECT_EQ(thumbnails::fileUri(absolute.toUtf8().toStdString()),
                  QUrl::fromLocalFile(absolute).toEncoded().toStdString())
            << path;
    }
    std::string bytes;
    for (int n = 0; n < 200; ++n, bytes.push_back(static_cast<char>(n * 37)))
        EXPECT_EQ(
            thumbnails::md5Hex(bytes),
            QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Md5)
                .toHex()
                .toStdString())
            << n;
}

}  // namespace
}  // namespace qv
