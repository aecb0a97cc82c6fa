#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QTextBrowser;

namespace qv {

// The HTML help in a window of the program's own, for a desktop where no browser starts: the
// pages link to each other inside it; web and mail links go to the desktop (`openUrl`).
class frmHelp final : public QDialog {
    Q_OBJECT
  public:
    frmHelp(const QString& indexPage, std::function<bool(const QUrl&)> openUrl, QWidget* owner);

    QTextBrowser* browser() const { return browser_; }

  private:
    void placeOnScreen(QWidget* owner);

    QTextBrowser* browser_;
};

}  // namespace qv
