// The picture of one scene as nimbrel-render draws it: the program run on the
// scene file with --index and --size, its PNG read back as colour values.
// Where nimbrel-render is not built (no libpng), the same engine draws it in
// process with the same ApplyRecommendation, as nimbrel-render does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "engine/mandel_class.h"
#include "platform/application.h"
#include "scene/URecommendation.h"
#include "scene/scene_apply.h"
#include "temp_folder.h"

#ifdef NIMBREL_RENDER
#include <png.h>
#endif

namespace nimbrel::testing {

class TRenderOracle {
public:
    // Scenes: the MRP file; Palettes: its palette folder; Work: a folder for
    // the PNG files; StoredDrawMode: the stored draw mode for scenes that
    // name none (nimbrel-render's --draw-mode; the show's setting DrawMode).
    TRenderOracle(std::string Scenes, std::string Palettes, const TTempFolder& Work, int32_t StoredDrawMode = 4)
        : scenes_(std::move(Scenes)), palettes_(std::move(Palettes)), work_(Work), drawMode_(StoredDrawMode) {}

    // Scene Index at Width x Height, row by row; computed once.
    const std::vector<int32_t>& Picture(int32_t Index, int32_t Width, int32_t Height) {
        const auto key = std::make_tuple(Index, Width, Height);
        auto found = pictures_.find(key);
        if (found == pictures_.end()) found = pictures_.emplace(key, Draw(Index, Width, Height)).first;
        return found->second;
    }

private:
    std::vector<int32_t> Draw(int32_t Index, int32_t Width, int32_t Height) const {
        const std::string size = std::to_string(Width) + "x" + std::to_string(Height);
#ifdef NIMBREL_RENDER
        const std::string png = work_.PathOf("oracle-" + std::to_string(Index) + "-" + size + ".png");
        const std::string command = std::string(NIMBREL_RENDER) + " -s " + size + " -i " + std::to_string(Index) +
                                    " -m " + std::to_string(drawMode_) + " -p '" + palettes_ + "' -o '" + png + "' '" + scenes_ + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, png.c_str())) {
            ADD_FAILURE() << "cannot read " << png;
            return {};
        }
        image.format = PNG_FORMAT_RGB;
        std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return {};
        EXPECT_EQ(image.width, static_cast<png_uint_32>(Width));
        EXPECT_EQ(image.height, static_cast<png_uint_32>(Height));
        std::vector<int32_t> pixels;
        for (std::size_t i = 0; i + 2 < bytes.size(); i += 3)
            pixels.push_back(bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16));
        return pixels;
#else
        // Drawn apart from any show: its rows run no handler.
        const TScopedMessagePump quiet([] {});
        TRecommendationList list;
        list.LoadFromFile(scenes_);
        TMandel engine;
        engine.SetWidth(Width);
        engine.SetHeight(Height);
        ApplyRecommendation(engine, list, Index, palettes_, StoredToDrawMode(drawMode_));
        engine.Draw();
        std::vector<int32_t> pixels;
        for (int32_t y = 0; y < Height; ++y)
            for (int32_t x = 0; x < Width; ++x) pixels.push_back(engine.GetBitmap().GetPixel(x, y));
        return pixels;
#endif
    }

    std::string scenes_;
    std::string palettes_;
    const TTempFolder& work_;
    int32_t drawMode_;
    std::map<std::tuple<int32_t, int32_t, int32_t>, std::vector<int32_t>> pictures_;
};

}  // namespace nimbrel::testing
