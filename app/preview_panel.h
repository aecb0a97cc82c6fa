#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>

#include "package/package_contents.h"
#include "package/package_header.h"

class QLabel;
class QTextEdit;
class QThread;

namespace qv {

class FileSystem;
class PreviewReader;

// What the preview is asked to show: a package file and what the list knows of it.
struct PreviewRequest {
    std::string path;      // the package file ("" when there is none)
    std::string realName;  // as the index or the folder names it
    std::string state;     // the list's word for it: "ok", "damaged", ... ("" when not known)
    std::string reason;    // why the list calls it damaged (a GUID not its file's, ...)
};

// What the worker found: the package's state, version and size, its contents, and its picture
// (from the thumbnail cache file managers share, or decoded and then put there).
struct PreviewResult {
    PreviewRequest request;
    HeaderFault fault = HeaderFault::None;
    std::string reason;
    int version = -1;
    std::uint64_t size = 0;
    PackageContents contents;  // its picture left out: `image` holds it
    QImage image;
    bool fromThumbnailCache = false;
};

// The preview beside a list: the selected package's picture (scaled in proportion to the space,
// never blurred beyond it), title, author, players, type, size, version and state, or why it
// could not be read. The panel asks for no more height than a few lines: the picture takes what
// the facts leave, down to half the panel, and the facts scroll when even that is too little.
// With nothing to show it hides, and the list beside it takes its room. Each package is read on a
// worker thread of the panel's own, so the list never waits; a newer selection passes over an older
// one not yet read; what was read is kept by the file's device, inode, size and modification time.
class PreviewPanel final : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewPanel(FileSystem& fs, QWidget* parent = nullptr);
    ~PreviewPanel() override;

    void showPackage(const PreviewRequest& request);
    void clear();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // What is shown, for tests and screen readers.
    QString factsText() const;
    const QImage& image() const { return image_; }

  Q_SIGNALS:
    void shown();  // a package's preview is on screen

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void display(const PreviewResult& result);
    // Places the picture and the facts in the panel's current size.
    void placeImage();
    int factsHeight(int width) const;  // the facts' height when shown whole at `width`

    QLabel* picture_ = nullptr;
    QTextEdit* facts_ = nullptr;
    QImage image_;
    QThread* thread_ = nullptr;
    PreviewReader* reader_ = nullptr;
    std::shared_ptr<std::atomic<std::uint64_t>> latest_;
};

// The freedesktop thumbnail cache's file for `path` ($XDG_CACHE_HOME/thumbnails/large/MD5.png
// of its file URI).
QString thumbnailFileOf(const QString& path);

}  // namespace qv
