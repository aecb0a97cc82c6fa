#pragma once

#include <string>
#include <vector>

namespace qv {

// A folder the picker offers in its side bar, under the name it shows for it.
struct FolderPlace {
    std::string path;
    std::string name;
};

// How every layer talks to the user: the app implements it with Qt message boxes and the
// folder picker, the command line on the terminal, tests with a scripted fake.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // A message box with an OK button.
    virtual void message(const std::string& title, const std::string& text) = 0;

    // A message box with Yes and No buttons; true for Yes.
    virtual bool askYesNo(const std::string& title, const std::string& text) = 0;

    // The same for a question whose Yes deletes or overwrites something: No is the default
    // answer, so a stray Enter never destroys anything.
    virtual bool askYesNoDefaultNo(const std::string& title, const std::string& text) {
        return askYesNo(title, text);
    }

    // The folder picker: the chosen path without a trailing separator (except the root), or
    // the empty text on cancel.
    virtual std::string pickFolder(const std::string& prompt) = 0;

    // The folder picker opened at `start` (when not empty) with `places` in its side bar. A
    // picker without a side bar (the terminal, scripted tests) asks as pickFolder does.
    virtual std::string pickFolderAmong(const std::string& prompt, const std::string& start,
                                        const std::vector<FolderPlace>& places) {
        (void)start;
        (void)places;
        return pickFolder(prompt);
    }
};

}  // namespace qv
