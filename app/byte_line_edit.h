#pragma once

#include <QLineEdit>
#include <string>

#include "widgets/display.h"
namespace qv {

// A text box that keeps the 8-bit text it was given: the bytes stay exactly as set until the
// user edits the box, so a stored path that is not valid in the display encoding survives a
// round trip through the window.
class ByteLineEdit final : public QLineEdit {
    Q_OBJECT
  public:
    explicit ByteLineEdit(QWidget* parent = nullptr) : QLineEdit(parent) {
        connect(this, &QLineEdit::textEdited, this,
                [this](const QString& text) { bytes_ = text.toLocal8Bit().toStdString(); });
    }

    void setBytes(std::string bytes) {
        bytes_ = std::move(bytes);
        setText(qv::displayText(bytes_));
    }
    const std::string& bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

}  // namespace qv
