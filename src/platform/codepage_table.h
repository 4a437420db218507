// Code page 932 by a table of its own (cp932_table.inc, written from glibc's
// iconv by scripts/cp932-table), for a C library without the code page (the
// browser's): the same conversions as codepage.h's, byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

// DecodeCp932 and EncodeCp932 (platform/codepage.h) by the table.
std::string DecodeCp932ByTable(std::string_view bytes);
std::string EncodeCp932ByTable(std::string_view text);

}  // namespace nimbrel
