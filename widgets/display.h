#pragma once

#include <QColor>
#include <QPalette>
#include <QString>
#include <string_view>

class QWidget;

namespace qv {

// The 8-bit text of a name, path or line as the user should see it: valid UTF-8 decodes as
// such and every byte that is not part of a valid sequence shows as the Windows-1252
// character it is on the servers that send such names, so two different names never look
// alike. A control byte other than a line break or a tab shows as its Unicode picture (ESC as
// U+241B). For display only: the bytes themselves are what the program keeps and writes.
QString displayText(std::string_view bytes);

// One field of a file's facts (a title, an author a server chose) for a line of plain text:
// as displayText, but a line break or tab shows as its picture too (U+240A, U+2409), a C1
// control as U+FFFD, and past `most` characters the rest is cut to an ellipsis, so a field
// stays on its line and within its width.
QString fieldText(std::string_view bytes, int most = 160);

// The contrast ratio of two colours (1 to 21) by their relative luminance.
double contrastRatio(const QColor& a, const QColor& b);

// A text colour readable on `background`: `colour` itself on a light background; on a dark one
// a lighter tone of the same hue with a contrast of at least 4.5:1.
QColor readableColour(const QColor& colour, const QColor& background);

// Sets the text colour of a widget (its `text` role against its `background` role) to the
// readable tone of `colour` for its palette.
void setTextColour(QWidget* widget, const QColor& colour,
                   QPalette::ColorRole text = QPalette::WindowText,
                   QPalette::ColorRole background = QPalette::Window);

// A warning in `red` that reads on any palette: red text where the window is light; where it is
// dark, a red light enough to read as text is a pale pink, so the text is white on a deep tone of
// the same red.
void setWarningColours(QWidget* widget, const QColor& red);

}  // namespace qv
