// BitCast: std::bit_cast where the standard library has it, else the same by
// copying the bytes (libc++ before 14).
#pragma once

#include <bit>
#include <cstring>
#include <type_traits>

namespace nimbrel {

template <class To, class From> To BitCast(const From& Value) noexcept {
    static_assert(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<To> && std::is_trivially_copyable_v<From>);
#ifdef __cpp_lib_bit_cast
    return std::bit_cast<To>(Value);
#else
    To result;
    std::memcpy(&result, &Value, sizeof result);
    return result;
#endif
}

}  // namespace nimbrel
