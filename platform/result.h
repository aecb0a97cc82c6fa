#pragma once

#include <cerrno>
#include <string>
#include <utility>

namespace qv {

// The code of a file that changed between a check and the change it guarded: ESTALE, which the
// POSIX layer returns, though not every C library names it.
#ifdef ESTALE
inline constexpr int kErrStale = ESTALE;
#else
inline constexpr int kErrStale = 116;  // Linux's value
#endif

// Outcome of an OS operation: code 0 is success; otherwise the errno value (or -1 for a
// failure without one) and the system's own error text. A Status nobody set is a failure ("not
// done"): only success() says that something was done.
struct [[nodiscard]] Status {
    int code = -1;
    std::string text = "not done";

    bool ok() const { return code == 0; }
    explicit operator bool() const { return ok(); }

    static Status success() { return {0, {}}; }
    // Text from strerror; errno 0 still gives a failure (code -1), never a success.
    static Status fromErrno(int err);
    static Status failure(std::string message, int err = -1) { return {err, std::move(message)}; }
};

// A value with the Status of the operation that gave it: a failure until a success is given.
template <class T>
struct [[nodiscard]] Result {
    T value{};
    Status status;

    bool ok() const { return status.ok(); }
    explicit operator bool() const { return ok(); }

    static Result of(T v) { return {std::move(v), Status::success()}; }
    // `s` says why; a success given here still makes a failure.
    static Result fail(Status s) { return {T{}, s.ok() ? Status{} : std::move(s)}; }
};

}  // namespace qv
