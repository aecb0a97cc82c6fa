#pragma once

#include <QPointer>
#include <QWidget>

class QFrame;
class QLabel;

namespace qv {

class AnimationWidget;

// The busy window: frameless, centred on the screen, "Processing UT Cache Files........" (or
// what else is being done) under the search animation (programFolder/search.avi) that plays
// while it is shown. It closes only when its caller closes it: keys and clicks do nothing.
class frmSplash final : public QWidget {
    Q_OBJECT
  public:
    explicit frmSplash(const QString& programFolder, QWidget* parent = nullptr,
                       const QString& caption = kProcessingCaption);
    static inline const QString kProcessingCaption =
        QStringLiteral("Processing UT Cache Files........");

    AnimationWidget* animation() const { return Animation1; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void centreOnScreen();

    QFrame* Frame1;
    AnimationWidget* Animation1;
    QLabel* Label1;
};

// Shows the busy window for the life of the object: shown without waiting, pending events
// processed once so it paints before the work starts, closed when the object goes.
//
//     { BusyWindow busy(programFolder, this); ScanCache(...); }
class BusyWindow final {
  public:
    explicit BusyWindow(const QString& programFolder, QWidget* owner = nullptr,
                        const QString& caption = frmSplash::kProcessingCaption);
    ~BusyWindow();
    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

    frmSplash* window() const { return splash_.data(); }

  private:
    QPointer<frmSplash> splash_;  // gone early if its owner was deleted first
    QPointer<QWidget> owner_;     // the active window it was shown over
};

}  // namespace qv
