// A fresh folder under the system's temporary folder, removed with its
// contents when the guard leaves scope.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

namespace nimbrel::testing {

class TTempFolder {
public:
    TTempFolder() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("nimbrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // The UTF-8 path of Name inside the folder.
    std::string PathOf(std::string_view Name) const {
        const std::u8string text = (path_ / std::filesystem::u8path(Name)).u8string();
        return std::string(text.begin(), text.end());
    }
    // Writes Bytes to Name and answers its path.
    std::string Write(std::string_view Name, std::string_view Bytes) const {
        const std::string path = PathOf(Name);
        std::ofstream out(std::filesystem::u8path(path), std::ios::binary);
        out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
        return path;
    }

private:
    std::filesystem::path path_;
};

}  // namespace nimbrel::testing
