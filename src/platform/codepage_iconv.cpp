// DecodeCp932 through the C library's iconv (glibc knows code page 932 as
// "CP932": 0x5C is the backslash and 0x7E the tilde, as on Windows).
#ifndef _WIN32

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "platform/codepage.h"
#include "platform/exceptions.h"

namespace nimbrel {

namespace {

class TIconv {
public:
    TIconv() : handle_(iconv_open("UTF-8", "CP932")) {
        if (handle_ == reinterpret_cast<iconv_t>(-1)) throw EConvertError("Code page 932 is not available");
    }
    ~TIconv() { iconv_close(handle_); }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    iconv_t Get() const { return handle_; }

private:
    iconv_t handle_;
};

}  // namespace

std::string DecodeCp932(std::string_view bytes) {
    if (bytes.empty()) return {};
    TIconv converter;
    // One byte of code page 932 gives at most three bytes of UTF-8.
    std::vector<char> output(bytes.size() * 3);
    // iconv takes a non-const input pointer but does not write through it.
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    if (iconv(converter.Get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        throw EConvertError("No mapping for the Unicode character exists in the target multi-byte code page");
    return std::string(output.data(), output.size() - outLeft);
}

}  // namespace nimbrel

#endif  // _WIN32
