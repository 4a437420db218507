// Files whose reading fails with an error of the system.
#pragma once

#include <cerrno>
#include <ios>
#include <streambuf>
#include <string>
#include <system_error>

namespace nimbrel::testing {

// A file the system opens but cannot read: reading the process's own memory at
// offset 0, which is never mapped, fails with EIO.
inline const char* const kUnreadableFile = "/proc/self/mem";
// A file that is there but that not even the administrator may open for
// reading.
inline const char* const kUnopenableFile = "/proc/sys/vm/compact_memory";

// A stream buffer that gives Bytes and then fails the way the C++ library's
// file buffer reports a read error of the system.
class TFailingStreamBuf : public std::streambuf {
public:
    explicit TFailingStreamBuf(std::string bytes) : bytes_(std::move(bytes)) {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    }

protected:
    int_type underflow() override {
        throw std::ios_base::failure("basic_filebuf::underflow error reading the file",
                                     std::error_code(EIO, std::generic_category()));
    }

private:
    std::string bytes_;
};

}  // namespace nimbrel::testing
