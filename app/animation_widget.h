#pragma once

#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <vector>

namespace qv {

// The busy window's animation control: plays a short AVI (see avi_reader.h) frame by frame on
// a timer, in a loop. A file that cannot be read leaves it empty, showing nothing.
class AnimationWidget final : public QLabel {
    Q_OBJECT
  public:
    explicit AnimationWidget(QWidget* parent = nullptr);

    // Loads the file and shows its first frame; false, with the animation emptied, when the
    // file is missing or cannot be played. A playing animation goes on with the new frames.
    bool open(const QString& path);
    void close();  // empties the animation and stops it
    void play();   // from the frame shown, repeating until stop(); nothing when empty
    void stop();   // keeps the frame shown

    bool isPlaying() const { return timer_.isActive(); }
    int frameCount() const { return int(frames_.size()); }
    int currentFrame() const { return current_; }
    int frameIntervalMs() const { return timer_.interval(); }

    QSize sizeHint() const override;

  public Q_SLOTS:
    // Shows the next frame, the first after the last; the timer calls it.
    void nextFrame();

  private:
    void showFrame(int index);

    std::vector<QPixmap> frames_;
    QSize frameSize_;
    int current_ = 0;
    QTimer timer_;
};

}  // namespace qv
