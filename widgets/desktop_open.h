#pragma once

class QUrl;

namespace qv {

// Opens `url` (a file, a web page, a mail link) with the desktop's program for it and says
// whether a program took it. Qt's own openUrl counts a started xdg-open as success, even when
// xdg-open finds nothing that can show the link and hands it to a text-mode browser that has
// no terminal and quits at once: nothing happens on screen. Here the link's type needs a
// graphical program registered for it (xdg-mime), and xdg-open must not fail within a moment;
// false otherwise, so the caller can say what to do instead. Without xdg-open and xdg-mime,
// Qt's openUrl decides.
bool openOnDesktop(const QUrl& url);

}  // namespace qv
