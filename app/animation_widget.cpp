#include "app/animation_widget.h"

#include <QFile>
#include <QImage>

#include "app/avi_reader.h"

namespace qv {

AnimationWidget::AnimationWidget(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("Animation1"));
    setAlignment(Qt::AlignCenter);
    connect(&timer_, &QTimer::timeout, this, &AnimationWidget::nextFrame);
}

bool AnimationWidget::open(const QString& path) {
    AviAnimation movie;
    bool ok = readAviFile(QFile::encodeName(path).toStdString(), movie);
    bool wasPlaying = isPlaying();
    close();
    if (!ok) return false;
    frames_.reserve(movie.frames.size());
    for (const auto& pixels : movie.frames) {
        QImage image(reinterpret_cast<const uchar*>(pixels.data()), movie.width, movie.height,
                     movie.width * 4, QImage::Format_RGB32);
        frames_.push_back(QPixmap::fromImage(image.copy()));  // owns its pixels
    }
    frameSize_ = QSize(movie.width, movie.height);
    timer_.setInterval(movie.frameIntervalMs);
    setMinimumSize(frameSize_);
    updateGeometry();
    showFrame(0);
    if (wasPlaying) play();
    return true;
}

void AnimationWidget::close() {
    timer_.stop();
    frames_.clear();
    current_ = 0;
    clear();
}

void AnimationWidget::play() {
    if (!frames_.empty()) timer_.start();
}

void AnimationWidget::stop() {
    timer_.stop();
}

QSize AnimationWidget::sizeHint() const {
    return frameSize_.isValid() ? frameSize_ : QLabel::sizeHint();
}

void AnimationWidget::nextFrame() {
    if (frames_.empty()) return;
    showFrame((current_ + 1) % int(frames_.size()));
}

void AnimationWidget::showFrame(int index) {
    current_ = index;
    setPixmap(frames_[std::size_t(index)]);
}

}  // namespace qv
