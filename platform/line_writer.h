#pragma once

#include <concepts>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace qv {

// A field that came from outside the program: a file's or folder's name, a path, an index line,
// a text read from a file, or a message or system error text that may carry one. Written
// escaped (escapedField's Field form).
struct Name {
    std::string_view text;
};

// A message of one or more lines (broken by LF or CR LF) that may carry names: each line is
// escaped as a Name, each break written as a line feed.
struct Message {
    std::string_view text;
};

// Text the program made from its own words and numbers, or text a LineWriter wrote already (a
// report captured to be shown later): written as it is.
struct Fixed {
    std::string_view text;
};

// The one writer of lines that leave the program for a terminal or the run log. A line is given
// as its parts: string literals, numbers and Fixed texts are the program's own words and are
// written as they are; every other text goes in as a Name (or Message) and is escaped, so a name
// a server chose never reaches a terminal raw:
//     out.line("Found ", count, " files in ", Name{folder});
// A std::string on its own is refused at compile time: each one says what it is.
class LineWriter {
  public:
    // Lines written to `out`, each ended by `end`.
    explicit LineWriter(std::ostream& out, std::string_view end = "\n");
    // Lines added to `buffer` (a log's pending chunk), each ended by `end`.
    explicit LineWriter(std::string& buffer, std::string_view end = "\n");

    // One whole line: its parts, then the line end.
    template <typename... Parts>
    void line(const Parts&... parts) {
        (put(parts), ...);
        put(Fixed{end_});
        emit();
    }
    // The start of a line (a question waiting for its answer); a later line() ends it.
    template <typename... Parts>
    void text(const Parts&... parts) {
        (put(parts), ...);
        emit();
    }
    // Hands what was written to the terminal now (a question is seen before it waits).
    void flush();

  private:
    template <std::size_t N>
    void put(const char (&fixed)[N]) {
        to().append(fixed, std::char_traits<char>::length(fixed));
    }
    void put(char c) { to() += c; }
    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>) void put(T number) {
        to() += std::to_string(number);
    }
    void put(Fixed fixed) { to().append(fixed.text); }
    void put(Name name);
    void put(Message message);

    std::string& to() { return buffer_ ? *buffer_ : pending_; }
    void emit();

    std::ostream* out_ = nullptr;
    std::string* buffer_ = nullptr;
    std::string pending_;  // the parts for `out_`, written at once
    std::string_view end_;
};

}  // namespace qv
