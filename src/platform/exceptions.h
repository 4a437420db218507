// The exceptions of the program. Every failure is one of these: the silent
// abort (EAbort), which the message loop swallows, or an exception with a
// message text, which the message loop shows in the default exception box.
#pragma once

#include <stdexcept>
#include <string>

namespace nimbrel {

// Base of every exception the program raises on purpose; carries the message.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// The silent abort: ends an operation without any message.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// Text that is not a number of the expected form.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A checked index or narrowing conversion out of range.
class ERangeError : public Exception {
public:
    ERangeError() : Exception("Range check error") {}
    using Exception::Exception;
};

// An integer division or remainder by zero.
class EDivByZero : public Exception {
public:
    EDivByZero() : Exception("Division by zero") {}
};

// A bitmap or buffer larger than the program is prepared to allocate.
class EOutOfResources : public Exception {
public:
    EOutOfResources() : Exception("Not enough storage is available to process this command") {}
};

// An error of the operating system while opening or reading a file.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// An index outside a list's entries.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// Raises the silent abort.
[[noreturn]] void Abort();

}  // namespace nimbrel
