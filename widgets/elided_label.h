#pragma once

#include <QLabel>
#include <QPainter>
#include <QStyle>

namespace qv {

// A one-line label that fits any width: a text too long for it shows its start and end with
// "..." between (a folder path keeps its last folder in view), never cut mid-word at the edge.
// text() and the tooltip the caller sets keep the whole text.
class ElidedLabel final : public QLabel {
  public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

  protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width());
        style()->drawItemText(&painter, room, static_cast<int>(alignment()), palette(), isEnabled(),
                              shown, foregroundRole());
    }
};

}  // namespace qv
