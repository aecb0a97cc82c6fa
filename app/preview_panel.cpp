#include "app/preview_panel.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "media/media.h"
#include "media/thumbnail_cache.h"
#include "package/package_reader.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "widgets/display.h"

namespace qv {

namespace {

constexpr std::size_t kKept = 512;  // previews kept by file identity

// The file's URI as the thumbnail cache names it: the absolute path Qt forms (".." resolved) as
// UTF-8 text.
std::string uriOf(const QString& path) {
    return thumbnails::fileUri(QFileInfo(path).absoluteFilePath().toUtf8().toStdString());
}

// A thumbnail of the cache is this file's when it names its URI and modification time.
QImage cachedThumbnail(const QString& path, std::int64_t mtimeSeconds) {
    QImage image;
    if (!image.load(thumbnailFileOf(path), "PNG")) return {};
    const auto textOf = [&](const char* key) {
        return image.text(QString::fromLatin1(key)).toUtf8().toStdString();
    };
    if (!thumbnails::describesFile(textOf, uriOf(path), mtimeSeconds)) return {};
    return image;
}

// The image's pixels as RGBA bytes, row after row, for media/'s PNG writer.
Picture pictureOf(const QImage& image) {
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    Picture p;
    p.width = rgba.width(), p.height = rgba.height();
    const std::size_t row = static_cast<std::size_t>(p.width) * 4;
    p.rgba.resize(row * static_cast<std::size_t>(p.height));
    for (int y = 0; y < p.height; ++y)
        std::copy_n(rgba.constScanLine(y), row, p.rgba.data() + row * static_cast<std::size_t>(y));
    return p;
}

// Makes `dir` and each missing folder above it, each its owner's alone from the start (mode
// 700), as the desktop's own code makes the thumbnail cache: its names tell which files a user
// has. Folders that are there already keep their mode.
bool makePrivateFolders(const QString& dir) {
    if (QFileInfo(dir).isDir()) return true;
    const QString parent = QFileInfo(dir).absolutePath();
    if (parent == dir || !makePrivateFolders(parent)) return false;
    return QDir().mkdir(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) ||
           QFileInfo(dir).isDir();
}

// Puts the picture into the thumbnail cache as the freedesktop thumbnail standard has it: at most
// 256 pixels, with its URI and modification time, readable by its owner only, whole or not at all.
// The texts are uncompressed tEXt chunks: readers of the cache (GLib's among them) look for them
// there only.
void saveThumbnail(QImage image, const QString& path, std::int64_t mtimeSeconds,
                   std::uint64_t size) {
    constexpr int kSide = thumbnails::kLargeSide;
    if (image.width() > kSide || image.height() > kSide)
        image = image.scaled(kSide, kSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QString file = thumbnailFileOf(path);
    const QString dir = QFileInfo(file).absolutePath();
    if (!makePrivateFolders(dir)) return;
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::optional<std::string> png = media::pngWithTexts(
        pictureOf(image), thumbnails::thumbnailTexts(uriOf(path), mtimeSeconds, size));
    if (!png) return;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return;
    out.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (out.write(png->data(), static_cast<qint64>(png->size())) ==
        static_cast<qint64>(png->size()))
        out.commit();
}

QImage toImage(const Picture& p) {
    if (p.empty()) return {};
    return QImage(p.rgba.data(), p.width, p.height, p.width * 4, QImage::Format_RGBA8888).copy();
}

}  // namespace

QString thumbnailFileOf(const QString& path) {
    return QString::fromLocal8Bit(thumbnails::largeThumbnailFile(uriOf(path)));
}

// Reads previews on the panel's thread; keeps what it read by the file's identity.
class PreviewReader final : public QObject {
  public:
    explicit PreviewReader(FileSystem& fs) : fs_(fs) {}
    PreviewResult read(const PreviewRequest& request);

  private:
    using Key = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, std::int64_t>;
    void readPicture(InFile& file, PreviewResult& out, std::int64_t mtimeSeconds);

    FileSystem& fs_;
    PackageReader reader_;
    std::unique_ptr<ModuleInfoReader> modules_ = media::moduleInfoReader();
    std::map<Key, PreviewResult> kept_;
};

void PreviewReader::readPicture(InFile& file, PreviewResult& out, std::int64_t mtimeSeconds) {
    const QString path = QString::fromLocal8Bit(out.request.path.c_str());
    out.image = cachedThumbnail(path, mtimeSeconds);
    out.fromThumbnailCache = !out.image.isNull();
    if (out.fromThumbnailCache) return;
    PackageContents full = readContents(file, reader_, {true, nullptr});
    out.contents.pictureNote = full.pictureNote;
    out.contents.pictureName = full.pictureName;
    out.image = toImage(full.picture);
    if (!out.image.isNull()) saveThumbnail(out.image, path, mtimeSeconds, out.size);
}

PreviewResult PreviewReader::read(const PreviewRequest& request) {
    PreviewResult out;
    out.request = request;
    Result<std::unique_ptr<InFile>> file =
        request.path.empty() ? Result<std::unique_ptr<InFile>>{nullptr, Status::failure("no file")}
                             : fs_.openForReading(request.path);
    if (!file.ok()) {
        out.fault = HeaderFault::Unreadable;
        out.reason = request.path.empty() ? "" : file.status.text;
        return out;
    }
    const FileIdentity id = file.value->identity();
    const Key key{id.device, id.inode, id.size, id.mtimeNs};
    if (const auto it = kept_.find(key); id.known() && it != kept_.end()) {
        PreviewResult kept = it->second;
        kept.request = request;
        return kept;
    }
    const HeaderReading h = reader_.read(*file.value, packageDataNoun(request.realName));
    out.fault = h.kind(), out.reason = h.reason;
    out.version = h.ok() ? h.header.version : -1;
    out.size = id.size;
    if (h.ok()) {
        out.contents = readContents(*file.value, reader_, {false, modules_.get()});
        const ContentKind kind = out.contents.kind;
        if ((kind == ContentKind::Map || kind == ContentKind::Textures) &&
            out.contents.pictureNote.empty())
            readPicture(*file.value, out, id.mtimeNs / 1000000000);
    }
    if (kept_.size() >= kKept) kept_.clear();
    if (id.known()) kept_[key] = out;
    return out;
}

PreviewPanel::PreviewPanel(FileSystem& fs, QWidget* parent)
    : QWidget(parent), latest_(std::make_shared<std::atomic<std::uint64_t>>(0)) {
    setObjectName(QStringLiteral("PreviewPanel"));
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("picPreview"));
    picture_->setAlignment(Qt::AlignCenter);
    // Plain text that wraps anywhere a word is too long for the panel (a GUID file name), and
    // scrolls where the panel is too low for it.
    facts_ = new QTextEdit(this);
    facts_->setObjectName(QStringLiteral("lblPreview"));
    // A server chose the fields: plain text only, never rich text Qt would guess from a first
    // line (which could draw markup or load a local image).
    facts_->setReadOnly(true);
    facts_->setAcceptRichText(false);
    facts_->setFrameShape(QFrame::NoFrame);
    facts_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    facts_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    facts_->setFocusPolicy(Qt::ClickFocus);
    facts_->viewport()->setAutoFillBackground(false);
    facts_->document()->setDocumentMargin(0);
    setVisible(false);  // nothing to show yet
    thread_ = new QThread(this);
    reader_ = new PreviewReader(fs);
    reader_->moveToThread(thread_);
    connect(thread_, &QThread::finished, reader_, &QObject::deleteLater);
    thread_->start();
}

PreviewPanel::~PreviewPanel() {
    latest_->store(~0ull);
    thread_->quit();
    thread_->wait();
}

void PreviewPanel::showPackage(const PreviewRequest& request) {
    const std::uint64_t generation = latest_->fetch_add(1) + 1;
    auto latest = latest_;
    PreviewReader* reader = reader_;
    QMetaObject::invokeMethod(
        reader_,
        [this, reader, latest, generation, request] {
            if (latest->load() != generation) return;  // a newer selection came meanwhile
            PreviewResult result = reader->read(request);
            QMetaObject::invokeMethod(
                this,
                [this, latest, generation, result = std::move(result)] {
                    if (latest->load() == generation) display(result);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void PreviewPanel::clear() {
    latest_->fetch_add(1);
    image_ = {};
    picture_->clear();
    facts_->clear();
    hide();
}

QSize PreviewPanel::minimumSizeHint() const {
    const QFontMetrics m = fontMetrics();
    return {m.averageCharWidth() * 20, m.lineSpacing() * 4};
}

QSize PreviewPanel::sizeHint() const {
    const QFontMetrics m = fontMetrics();
    return {m.averageCharWidth() * 30, m.lineSpacing() * 12};
}

QString PreviewPanel::factsText() const {
    return facts_->toPlainText();
}

void PreviewPanel::display(const PreviewResult& r) {
    const PackageContents& c = r.contents;
    QStringList lines;
    const auto line = [&](const char* field, std::string_view value) {
        if (!value.empty()) lines << QString::fromLatin1(field) + ": " + fieldText(value);
    };
    line("Package", r.request.realName);
    if (c.kind == ContentKind::Map) {
        line("Title", c.title);
        line("Author", c.author);
        line("Players", playersText(c.players));
    }
    if (r.fault == HeaderFault::None) {
        line("Type", contentKindText(c.kind));
        if (c.kind == ContentKind::Textures)
            line("Textures", std::to_string(c.textureCount) +
                                 (c.pictureName.empty() ? "" : ", the first " + c.pictureName));
        if (c.kind == ContentKind::Sounds)
            line("Sounds", std::to_string(c.soundCount) + ", " +
                               QString::number(c.soundSeconds, 'f', 1).toStdString() + " s in all");
        line("Music", c.musicFormat);
        line("Music title", c.musicTitle);
        if (c.musicEndless)
            line("Music length", kEndlessMusic);
        else if (c.musicSeconds >= 0)
            line("Music length", QString::number(c.musicSeconds, 'f', 1).toStdString() + " s");
        line("Size", QLocale().formattedDataSize(static_cast<qint64>(r.size)).toStdString());
        line("Version", std::to_string(r.version));
        line("State", r.request.state.empty() ? "ok" : r.request.state);
        line("Reason", r.request.reason);
        const bool pictured = c.kind == ContentKind::Map || c.kind == ContentKind::Textures;
        if (pictured && r.image.isNull())
            line("Picture", c.pictureNote.empty() ? "none" : c.pictureNote);
        line("Note", c.note);
    } else {
        const char* state = r.request.path.empty()               ? "no cache file"
                            : r.fault == HeaderFault::Unreadable ? "unreadable"
                            : r.fault == HeaderFault::NotPackage ? "not a package"
                                                                 : "damaged";
        line("State", state);
        if (r.reason != state) line("Reason", r.reason);
    }
    facts_->setPlainText(lines.join('\n'));
    image_ = r.image;
    show();
    placeImage();
    Q_EMIT shown();
}

int PreviewPanel::factsHeight(int width) const {
    QTextDocument doc;
    doc.setDefaultFont(facts_->font());
    doc.setDocumentMargin(0);
    QTextOption wrap = doc.defaultTextOption();
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc.setDefaultTextOption(wrap);
    doc.setPlainText(facts_->toPlainText());
    doc.setTextWidth(width);
    return static_cast<int>(std::ceil(doc.size().height()));
}

void PreviewPanel::placeImage() {
    const int w = width(), h = height(), gap = fontMetrics().lineSpacing() / 2;
    int pictureHeight = 0;
    if (image_.isNull()) {
        picture_->clear();
    } else {
        // The space's width, and the height the facts leave (at least half the panel); the
        // picture keeps its proportions. Enlarged, its pixels stay sharp squares; made smaller,
        // they are averaged.
        const int tall = std::max(h - gap - factsHeight(w), h / 2);
        const int side = std::max(16, std::min({w, tall, 2 * thumbnails::kLargeSide}));
        const QSize target = image_.size().scaled(QSize(w, side), Qt::KeepAspectRatio);
        const qreal ratio = devicePixelRatioF();
        const bool larger = target.width() >= image_.width();
        QPixmap pixmap = QPixmap::fromImage(
            image_.scaled(target * ratio, Qt::KeepAspectRatio,
                          larger ? Qt::FastTransformation : Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(ratio);
        picture_->setPixmap(pixmap);
        pictureHeight = target.height() + gap;
    }
    picture_->setGeometry(0, 0, w, std::max(0, pictureHeight - gap));
    facts_->setGeometry(0, pictureHeight, w, std::max(0, h - pictureHeight));
}

void PreviewPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeImage();
}

}  // namespace qv
