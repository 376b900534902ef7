// The exception family that components raise between each other.
#pragma once

#include <exception>
#include <string>

namespace ex {

class c_exception : public std::exception {
public:
    // The message field is what text() returns (a member cannot share the operation's name).
    std::string message;  // for the user
    std::string location; // "file: F, line: N, function: SIGNATURE"
    std::string time;     // local time of the raise, "%d.%m.%Y %H:%i:%s"

    c_exception() = default;
    c_exception(const c_exception&) = default;
    c_exception& operator=(const c_exception&) = default;
    ~c_exception() override = default;

    // what() stays the standard one: only text() carries the message.
    virtual std::string report() const;
    virtual std::string text() const { return message; }
};

// Fills the three fields of a default-built exception of kind E and throws it.
// `file` may be a path; only its base name without extension is recorded.
template <class E>
[[noreturn]] void raise(const std::string& message, const char* file, int line,
                        const char* function);

// Implementation detail of raise(), shared by every kind.
void fill(c_exception& e, const std::string& message, const char* file, int line,
          const char* function);

template <class E>
[[noreturn]] void raise(const std::string& message, const char* file, int line,
                        const char* function) {
    E e;
    fill(e, message, file, line, function);
    throw e;
}

} // namespace ex

// One line at the call site: EX_RAISE(auth::c_exception, "Can't create event.\n" + ...);
#define EX_RAISE(kind, message)                                                                    \
    ::ex::raise<kind>((message), __FILE__, __LINE__, __PRETTY_FUNCTION__)
// The same where the enclosing function should be reported under another signature (a thread
// procedure whose work is done by helpers, for instance).
#define EX_RAISE_IN(kind, message, signature)                                                      \
    ::ex::raise<kind>((message), __FILE__, __LINE__, (signature))
