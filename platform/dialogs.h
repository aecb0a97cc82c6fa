#pragma once

#include <string>

namespace qv {

// How every layer talks to the user: the app implements it with Qt message boxes and the
// folder picker, the command line on the terminal, tests with a scripted fake.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message box with an OK button.
    virtual void message(const std::string& title, const std::string& text) = 0;

    // A message box with Yes and No buttons; true for Yes.
    virtual bool askYesNo(const std::string& title, const std::string& text) = 0;

    // The folder picker: the chosen path without a trailing separator (except the root), or
    // the empty text on cancel.
    virtual std::string pickFolder(const std::string& prompt) = 0;
};

}  // namespace qv
