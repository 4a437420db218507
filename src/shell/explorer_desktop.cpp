#include "shell/explorer_desktop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/sysutils.h"
#include "platform/text_file.h"
#include "shell/URegistry.h"

namespace nimbrel {

namespace {

namespace fs = std::filesystem;

const char* const kExplorerKey = "Software\\Orv\\Nimbrel\\Explorer";

std::string RecentName(std::size_t Index) { return "Recent" + IntToStr(static_cast<int64_t>(Index) + 1); }

// Whether Folder holds a file whose name ends in ".mcf" (any case).
bool HoldsPalettes(const std::string& Folder) {
    std::error_code error;
    for (fs::directory_iterator it(fs::u8path(Folder), error), end; !error && it != end; it.increment(error)) {
        const std::string name = PathToUtf8(it->path().filename());
        if (name.size() > 4 && UpperCase(name.substr(name.size() - 4)) == ".MCF") return true;
    }
    return false;
}

bool IsFolder(const std::string& Path) {
    std::error_code error;
    return !Path.empty() && !HoldsNul(Path) && fs::is_directory(fs::u8path(Path), error);
}

// Splits text at every run of two blanks, the separator of the status line.
std::vector<std::string> StatusTokens(std::string_view Text) {
    std::vector<std::string> tokens;
    std::size_t start = 0;
    while (start <= Text.size()) {
        const std::size_t end = Text.find("  ", start);
        const std::string_view token = Text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!token.empty()) tokens.emplace_back(token);
        if (end == std::string_view::npos) break;
        start = end + 2;
    }
    return tokens;
}

bool StartsWith(std::string_view Text, std::string_view Prefix) { return Text.substr(0, Prefix.size()) == Prefix; }

void Append(std::string& Part, std::string_view Text) {
    if (!Part.empty()) Part += ' ';
    Part += Text;
}

// "0.250 s", the time of a complete picture.
bool IsSeconds(std::string_view Token) {
    if (Token.size() < 3 || Token.substr(Token.size() - 2) != " s") return false;
    double seconds = 0;
    return TryStrToFloat(Token.substr(0, Token.size() - 2), seconds);
}

}  // namespace

std::string ExplorerDefaultSceneFile(const std::string& Documents) {
    return PathToUtf8(fs::u8path(Documents) / "Nimbrel" / "scenes.mrp");
}

bool MakeSceneFileFolder(const std::string& File, std::string& Error) {
    const fs::path folder = fs::u8path(File).parent_path();
    if (folder.empty() || HoldsNul(File)) return true;
    std::error_code error;
    if (fs::is_directory(folder, error)) return true;
    fs::create_directories(folder, error);
    if (!error && fs::is_directory(folder, error)) return true;
    Error = "cannot make the folder " + PathToUtf8(folder);
    return false;
}

std::string ExplorerPaletteFolder(const std::string& SceneFile, const std::string& SaverPalettes) {
    const std::string folder = PathToUtf8(fs::u8path(SceneFile).parent_path());
    const std::string own = folder.empty() ? std::string(".") : folder;
    if (HoldsPalettes(own)) return own;
    if (IsFolder(SaverPalettes)) return SaverPalettes;
    return own;
}

std::string SaverSetting(TSettingsStore& Store, const std::string& Name) {
    try {
        const std::unique_ptr<TSettingsKey> key = Store.OpenKey(kSettingsKey, false);
        const std::unique_ptr<TSettingsKey> section = key ? key->OpenKey(kSettingsSection, false) : nullptr;
        return section ? section->ReadString(Name) : std::string();
    } catch (const ERegistryException&) {
        return {};
    }
}

void UseInScreenSaver(TSettingsStore& Store, const std::string& File) {
    TSettingsChange change;
    change.MrpFile = File;
    WriteSettings(Store, change);
}

void TRecentFiles::Load(TSettingsStore& Store) {
    files_.clear();
    std::unique_ptr<TSettingsKey> key;
    try {
        key = Store.OpenKey(kExplorerKey, false);
    } catch (const ERegistryException&) {
        return;
    }
    if (!key) return;
    for (std::size_t i = 0; i < kCapacity; ++i) {
        try {
            const std::string file = key->ReadString(RecentName(i));
            const bool known =
                std::any_of(files_.begin(), files_.end(), [&](const std::string& f) { return Same(f, file); });
            if (!file.empty() && !known) files_.push_back(file);
        } catch (const ERegistryException&) {
            // Not text: not a file of ours.
        }
    }
}

void TRecentFiles::Save(TSettingsStore& Store) const {
    const std::unique_ptr<TSettingsKey> key = Store.OpenKey(kExplorerKey, true);
    if (!key) throw ERegistryException(std::string("Failed to create key ") + kExplorerKey);
    for (std::size_t i = 0; i < kCapacity; ++i) key->WriteString(RecentName(i), i < files_.size() ? files_[i] : "");
}

bool TRecentFiles::Same(std::string_view A, std::string_view B) const {
    return ignoreCase_ ? UpperCase(A) == UpperCase(B) : A == B;
}

void TRecentFiles::Add(const std::string& File) {
    if (File.empty()) return;
    Remove(File);
    files_.insert(files_.begin(), File);
    if (files_.size() > kCapacity) files_.resize(kCapacity);
}

void TRecentFiles::Remove(const std::string& File) {
    std::erase_if(files_, [&](const std::string& f) { return Same(f, File); });
}

std::string WidthAsPowerOfTen(std::string_view WidthPart) {
    if (!StartsWith(WidthPart, "W=")) return std::string(WidthPart);
    const std::string_view number = WidthPart.substr(2);
    const std::size_t e = number.find_first_of("eE");
    double mantissa = 0;
    int32_t exponent = 0;
    if (!TryStrToFloat(number.substr(0, e), mantissa) || !(mantissa > 0) ||
        (e != std::string_view::npos && !TryStrToInt(number.substr(e + 1), exponent)))
        return std::string(WidthPart);
    double power = std::log10(mantissa) + exponent;
    if (std::fabs(power) < 0.005) power = 0;  // no "-0.00"
    char text[48];
    std::snprintf(text, sizeof text, "W=10^%.2f", power);
    return text;
}

TExplorerStatusParts SplitExplorerStatus(std::string_view StatusText) {
    TExplorerStatusParts parts;
    std::string others;
    const std::vector<std::string> tokens = StatusTokens(StatusText);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t == "|") {
            // The message runs to the end, double blanks and all.
            const std::size_t at = StatusText.find("  |  ");
            if (at != std::string_view::npos) parts.Message = std::string(StatusText.substr(at + 5));
            break;
        }
        if (i == 0 && (t == "Mandelbrot" || t == "Julia"))
            parts.Kind = t;
        else if (StartsWith(t, "Cr=") || StartsWith(t, "Jr="))
            Append(parts.Centre, t);
        else if (StartsWith(t, "W="))
            parts.Width = WidthAsPowerOfTen(t);
        else if (StartsWith(t, "I=") || StartsWith(t, "Pow=") || StartsWith(t, "D="))
            Append(parts.Iterations, t);
        else if (StartsWith(t, "DM="))
            parts.Mode = t;
        else if (StartsWith(t, "MCF="))
            parts.Palette = t;
        else if (StartsWith(t, "scene "))
            parts.Scene = t;
        else if (t == "drawing..." || t == "failed" || IsSeconds(t))
            parts.Time = t;
        else
            Append(others, t);
    }
    if (!others.empty()) parts.Message = parts.Message.empty() ? others : others + "  " + parts.Message;
    return parts;
}

}  // namespace nimbrel
