#include "widgets/browse_for_folder.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QListView>
#include <QLocale>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/filesystem.h"
#include "platform/paths.h"

namespace qv {

namespace {

FolderPicker& folderPickerHook() {
    static FolderPicker hook;
    return hook;
}

QString standardFolder(QStandardPaths::StandardLocation location) {
    QStringList all = QStandardPaths::standardLocations(location);
    return all.isEmpty() ? QString() : all.first();
}

// Qt's own file dialog keeps its side bar, history and last folder in the user's shared
// QtProject.conf, which every Qt program's file dialog reads back; the picker leaves that file
// as it found it, so the copies of the game it offers show up nowhere else.
class QtSettingsKept final {
  public:
    QtSettingsKept()
        : path_(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName()) {
        QFile file(path_);
        existed_ = file.open(QIODevice::ReadOnly);
        if (existed_) bytes_ = file.readAll();
    }
    ~QtSettingsKept() {
        QFile now(path_);
        if (!now.open(QIODevice::ReadOnly)) return;  // nothing written, or nothing to put back
        if (existed_ && now.readAll() == bytes_) return;
        now.close();
        if (!existed_) {
            QFile::remove(path_);
            return;
        }
        QSaveFile back(path_);
        if (back.open(QIODevice::WriteOnly) && back.write(bytes_) == bytes_.size()) back.commit();
    }
    QtSettingsKept(const QtSettingsKept&) = delete;
    QtSettingsKept& operator=(const QtSettingsKept&) = delete;

  private:
    QString path_;
    bool existed_ = false;
    QByteArray bytes_;
};

// Side bar entries no wider than the side bar: a long one is shortened in its middle (its
// package count at the end stays in view) instead of running under its edge.
class FittingDelegate final : public QStyledItemDelegate {
  public:
    FittingDelegate(QListView* view, QAbstractItemDelegate* original)
        : QStyledItemDelegate(view), view_(view), original_(original) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        original_->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = original_->sizeHint(option, index);
        size.setWidth(std::min(size.width(), view_->viewport()->width()));
        return size;
    }

  private:
    QListView* view_;
    QAbstractItemDelegate* original_;
};

// The side bar names a folder after its last component and shows its path on hover; the
// places get their own names (two lines: what the copy is, where and how full its cache is)
// and hover texts back whenever it does (it renames an entry again when the folder's details
// come in). The side bar is made wide enough for them and grows with the dialog.
void nameSidebarPlaces(QFileDialog& dialog, const std::vector<FolderPlace>& places) {
    auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    QAbstractItemModel* model = sidebar ? sidebar->model() : nullptr;
    if (!model) return;
    constexpr int kUrlRole = Qt::UserRole + 1;  // where the side bar's model keeps each URL
    auto rename = [model, places] {
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, 0);
            const QString path = index.data(kUrlRole).toUrl().toLocalFile();
            for (const FolderPlace& place : places) {
                if (path != QFile::decodeName(place.path.c_str())) continue;
                const QString name = QString::fromLocal8Bit(place.name);
                const QString tip = name + QLatin1Char('\n') + path;
                if (index.data() != name) model->setData(index, name, Qt::DisplayRole);
                if (index.data(Qt::ToolTipRole) != tip) model->setData(index, tip, Qt::ToolTipRole);
            }
        }
    };
    rename();
    QObject::connect(model, &QAbstractItemModel::dataChanged, &dialog, rename);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, &dialog, rename);

    sidebar->setUniformItemSizes(false);  // two-line names get their height
    sidebar->setTextElideMode(Qt::ElideMiddle);
    // The widest entry as the side bar lays it out (icon, margins, two lines), with room for
    // its frame and a scroll bar.
    const int wanted = sidebar->sizeHintForColumn(0) + 2 * sidebar->frameWidth() +
                       sidebar->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
    sidebar->setItemDelegate(new FittingDelegate(sidebar, sidebar->itemDelegate()));
    sidebar->setResizeMode(QListView::Adjust);
    sidebar->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // As large as the entries want, within the screen (a small one, or a large scale).
    QSize size(std::max(dialog.width(), std::min(wanted * 2 + 200, 1100)),
               std::max(dialog.height(), 460));
    if (const QScreen* screen = dialog.screen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
    dialog.resize(size);
    if (auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"))) {
        const int side = std::min(wanted, dialog.width() / 2);
        splitter->setSizes({side, std::max(splitter->width(), dialog.width()) - side});
        splitter->setStretchFactor(0, 1);
        splitter->setStretchFactor(1, 2);
    }
}

// Hidden folders show while the box below the dialog is checked; Ctrl+H checks and clears it,
// as in other Linux pickers.
void addHiddenFoldersBox(QFileDialog& dialog) {
    auto* box = new QCheckBox(QStringLiteral("Show hidden folders (Ctrl+H)"), &dialog);
    box->setObjectName(QStringLiteral("chkHidden"));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    QObject::connect(box, &QCheckBox::toggled, &dialog, [&dialog](bool on) {
        dialog.setFilter(on ? dialog.filter() | QDir::Hidden : dialog.filter() & ~QDir::Hidden);
    });
    auto* key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), &dialog);
    QObject::connect(key, &QShortcut::activated, box, &QCheckBox::toggle);
}

// The folder list shows what tells folders apart: each one's name and when it changed, whole.
// Size and type say nothing of a folder ("--", "Folder") and took the date's room.
void showNamesAndDates(QFileDialog& dialog) {
    auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!details) return;
    QHeaderView* header = details->header();
    if (header->count() < 4) return;
    details->setColumnHidden(1, true);
    details->setColumnHidden(2, true);
    const QFontMetrics metrics(details->font());
    const QString sample =
        QLocale().toString(QDateTime(QDate(2028, 12, 28), QTime(23, 58, 58)), QLocale::ShortFormat);
    header->resizeSection(3,
                          std::max(metrics.horizontalAdvance(sample), header->sectionSizeHint(3)) +
                              metrics.averageCharWidth() * 3);
    // The names take what the date leaves: no scrolling sideways to see it.
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
}

// The dialog within the screen: a small one, a large scale or a large font.
void fitIntoScreen(QFileDialog& dialog) {
    const QScreen* screen = dialog.screen();
    if (!screen) return;
    const QSize room = screen->availableGeometry().size() - QSize(16, 48);
    dialog.resize(dialog.sizeHint().expandedTo(dialog.size()).boundedTo(room));
}

// Qt's own folder dialog (whose side bar and layout can be filled), with the hidden folders box;
// the chosen folder's bytes, or "" on cancel. Its title is the prompt less a closing colon.
std::string pickWith(QFileDialog& dialog) {
    QString title = dialog.windowTitle();
    while (title.endsWith(QLatin1Char(':'))) title.chop(1);
    dialog.setWindowTitle(title.trimmed());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    addHiddenFoldersBox(dialog);
    showNamesAndDates(dialog);
    fitIntoScreen(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return withoutTrailingSeparator(folderBytes(dialog.selectedFiles().first()));
}

bool existsAsIs(const std::string& path) {
    return realFileSystem().exists(path);  // a link as itself, not followed
}

// The one entry of `folder` that Qt shows as `shown`, as its bytes; "" when none or several.
std::string entryShownAs(const std::string& folder, const QString& shown) {
    std::string found;
    int matches = 0;
    (void)realFileSystem().forEachEntry(
        folder.empty() ? std::string(1, kSep) : folder, [&](std::string_view name, EntryKind) {
            const std::string bytes(name);
            if (QFile::decodeName(bytes.c_str()) == shown && ++matches == 1) found = bytes;
        });
    return matches == 1 ? found : std::string();
}

}  // namespace

std::string folderBytes(const QString& shown) {
    const std::string encoded = QFile::encodeName(shown).toStdString();
    if (encoded.empty() || existsAsIs(encoded)) return encoded;
    // A name that is not valid in the locale's encoding came through the dialog as U+FFFD: each
    // part of the path that is not there as encoded is looked up among its folder's entries.
    std::string path;
    for (const QString& part : shown.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {  // Qt path
        std::string next = joinPath(path, QFile::encodeName(part).toStdString());
        if (!existsAsIs(next)) {
            const std::string real = entryShownAs(path, part);
            if (real.empty()) return encoded;
            next = joinPath(path, real);
        }
        path = std::move(next);
    }
    return path;
}

std::string withoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && isSeparator(path.back())) path.pop_back();
    return path;
}

QString pickerStartFolder() {
    return QDir::homePath();
}

std::string GetSpecialFolderPath(int id) {
    QString folder;
    switch (id) {
        case 0x00:
            folder = standardFolder(QStandardPaths::DesktopLocation);
            break;
        case 0x05:
            folder = standardFolder(QStandardPaths::DocumentsLocation);
            break;
        case 0x0d:
            folder = standardFolder(QStandardPaths::MusicLocation);
            break;
        case 0x1a:
            folder = standardFolder(QStandardPaths::GenericDataLocation);
            break;
        case 0x1c:
            folder = standardFolder(QStandardPaths::GenericCacheLocation);
            break;
        case 0x27:
            folder = standardFolder(QStandardPaths::PicturesLocation);
            break;
        case 0x28:
            folder = QDir::homePath();
            break;
        default:
            return {};  // 10, the Recycle Bin, and anything unknown: no file-system path
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return {};
    return withoutTrailingSeparator(QFile::encodeName(folder).toStdString());
}

std::string BrowseForFolder(QWidget* owner, const std::string& prompt, int /*flags*/, int rootId,
                            const std::string& startFolder) {
    if (const FolderPicker& hook = folderPickerHook()) {
        return withoutTrailingSeparator(hook(prompt, startFolder));
    }

    QString start = pickerStartFolder();
    std::string root = GetSpecialFolderPath(rootId);
    if (!root.empty()) start = QFile::decodeName(root.c_str());
    const QString wanted = QFile::decodeName(startFolder.c_str());
    if (!startFolder.empty() && QFileInfo(wanted).isDir()) start = wanted;

    const QtSettingsKept keep;  // outlives the dialog, which writes the file as it goes
    QFileDialog dialog(owner, QString::fromLocal8Bit(prompt), start);
    return pickWith(dialog);
}

std::string BrowseForFolder(QWidget* owner, const std::string& prompt, const std::string& start,
                            const std::vector<FolderPlace>& places) {
    if (const FolderPicker& hook = folderPickerHook()) {
        return withoutTrailingSeparator(hook(prompt, start));
    }

    const QtSettingsKept keep;  // outlives the dialog, which writes the file as it goes
    QFileDialog dialog(owner, QString::fromLocal8Bit(prompt),
                       start.empty() ? pickerStartFolder() : QFile::decodeName(start.c_str()));
    dialog.setOptions(QFileDialog::DontUseNativeDialog);  // the side bar is Qt's own dialog's
    QList<QUrl> urls = dialog.sidebarUrls();
    for (const FolderPlace& place : places)
        urls << QUrl::fromLocalFile(QFile::decodeName(place.path.c_str()));
    dialog.setSidebarUrls(urls);
    nameSidebarPlaces(dialog, places);
    return pickWith(dialog);
}

void setFolderPickerForTests(FolderPicker picker) {
    folderPickerHook() = std::move(picker);
}

}  // namespace qv
