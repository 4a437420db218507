#include "png/png_writer.h"

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace nimbrel {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Opens the UTF-8 path for writing bytes; on Windows through the UTF-16 name.
std::FILE* OpenForWriting(const std::string& path) {
#ifdef _WIN32
    return _wfopen(std::filesystem::u8path(path).c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

}  // namespace

bool WritePng(const std::string& path, const TBitmap& bitmap, std::string& error) {
    std::unique_ptr<std::FILE, FileCloser> file(OpenForWriting(path));
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory writing " + path;
        return false;
    }
    std::vector<png_byte> row(static_cast<std::size_t>(bitmap.Width()) * 3);
    // libpng reports errors by longjmp; nothing with a destructor is created
    // between here and the end of the writing.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "cannot write " + path;
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()), static_cast<png_uint_32>(bitmap.Height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            const auto color = static_cast<uint32_t>(bitmap.GetPixel(x, y));
            png_byte* rgb = &row[static_cast<std::size_t>(x) * 3];
            rgb[0] = static_cast<png_byte>(color & 0xFF);
            rgb[1] = static_cast<png_byte>((color >> 8) & 0xFF);
            rgb[2] = static_cast<png_byte>((color >> 16) & 0xFF);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace nimbrel
