#pragma once

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QStyledItemDelegate>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// A growing list of 8-bit text lines for a QListView. A line costs one string append when it
// comes; it is decoded only when the view shows it. New lines wait in a queue and go into the
// list together, in one insertion, when `flush()` runs: once events are handled after a quiet
// spell of `flushIntervalMs`, so the first line of a run shows at once, and otherwise
// `flushIntervalMs` after the last insertion, so a run that adds thousands of lines redraws the
// list a few times a second rather than once a line.
class LineListModel final : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit LineListModel(QObject* parent = nullptr, int flushIntervalMs = 250);

    void addLine(std::string line);
    void flush();
    void clear();

    // The lines in the list, without the queued ones.
    const std::vector<std::string>& lines() const { return lines_; }
    std::size_t queued() const { return queue_.size(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  Q_SIGNALS:
    // After queued lines went into the list.
    void flushed();

  private:
    std::vector<std::string> lines_;
    std::vector<std::string> queue_;
    QTimer timer_;
    QElapsedTimer sinceFlush_;
    int interval_;
};

// Sizes every row of a view with uniform item sizes like its widest row, so a long line gets
// a horizontal scroll bar instead of being cut. Each row's drawn width is measured once. Rows
// added at the end are measured a few milliseconds at a time as the event loop turns, so tens
// of thousands of lines arriving together never hold up the window; a new widest row lays the
// view out again at once.
class WidestRowDelegate final : public QStyledItemDelegate {
  public:
    explicit WidestRowDelegate(QAbstractItemView* view);
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The row whose text is drawn widest of those measured so far, -1 when none is.
    int widestRow() const { return widestRow_; }
    // Measures the rows still waiting at once.
    void measureAll();

  private:
    void measure(int first, int last);
    void measureSome();

    QTimer slice_;
    int measuredEnd_ = 0;  // the rows above it are measured

    QAbstractItemView* view_;
    // The model the view had: it may still signal while the view is being destroyed, when the
    // view is no longer an item view to ask.
    QAbstractItemModel* model_;
    int widestRow_ = -1;
    int widestWidth_ = -1;
};

// Keeps a list's last line in view while it was in view: when lines come, and when the list
// gets narrower and a horizontal scroll bar takes room from it. `always` keeps it there
// whatever the user scrolled to (during a run).
void keepLastLineInView(QAbstractItemView* view, std::function<bool()> always = {});

}  // namespace qv
