// The view in a web address: links read by the scene reader, and written back.
#include "shell/view_link.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/exceptions.h"
#include "scene/scene_writer.h"

namespace nimbrel {
namespace {

TEST(ViewLink, GoodLinksAreTheirSceneLines) {
    struct Case {
        const char* Link;
        const char* Line;  // what the reader reads the same
    };
    for (const Case& c : {
             Case{"#T=MANDEL&Cr=-0.75&Ci=0.1&W=0.01&I=2000&D=2&DM=3&MCF=fire",
                  "T=MANDEL,Title=link,Cr=-0.75,Ci=0.1,W=0.01,I=2000,D=2,DM=3,MCF=fire"},
             Case{"t=julia&jr=-0.8&JI=0.156&cr=0&ci=0&w=3&Title=My%20view",
                  "T=JULIA,Jr=-0.8,Ji=0.156,Cr=0,Ci=0,W=3,Title=My view"},
             // "+" is itself in a fragment; the exponent keeps it.
             Case{"T=MANDEL&Cr=-1.5e+0&Ci=0&W=1e-5&ER=100&PB=2&CM=1&DM=6",
                  "T=MANDEL,Title=link,Cr=-1.5e+0,Ci=0,W=1e-5,ER=100,PB=2,CM=1,DM=6"},
             // A palette of a name beyond ASCII is named by its UTF-8.
             Case{"T=MANDEL&Cr=0&Ci=0&W=4&MCF=%E5%A4%95%E7%84%BC%E3%81%91",
                  "T=MANDEL,Title=link,Cr=0,Ci=0,W=4,MCF=\x97\x5B\x8F\xC4\x82\xAF"},
         }) {
        TRecommendationList expected;
        expected.LoadFromBytes(c.Line);
        const TRecommendationList read = ParseViewLink(c.Link);
        ASSERT_EQ(read.Count(), 1) << c.Link;
        EXPECT_EQ(FormatRecommendation(read.Item(0)), FormatRecommendation(expected.Item(0))) << c.Link;
    }
}

TEST(ViewLink, BadLinksSayWhy) {
    struct Case {
        std::string Link;
        const char* Says;
    };
    const std::string deepWidth = "T=MANDEL&Cr=0&Ci=0&W=0." + std::string(100000, '1');
    for (const Case& c : {
             Case{"", "no view"},
             Case{"#", "no view"},
             Case{"T=MANDEL&Cr=abc&Ci=0&W=1", "Cr is no number"},
             Case{"T=MANDEL&Cr=0&Ci=0&W=1&I=lots", "I is no number"},
             Case{deepWidth, "too long"},
             Case{"T=MANDEL&Cr=0&Ci=0&W=-1", ""},
             Case{"T=MANDEL&Cr=0&Ci=0&W=0", ""},
             Case{"T=MANDEL&Cr=0&Ci=0", ""},
             Case{"T=JULIA&Cr=0&Ci=0&W=1", ""},
             Case{"T=MANDEL&Cr=0&Ci=0&W=1&Zoom=2", "unknown key"},
             Case{"T=MANDEL&Cr=0&Ci=0&W=1&W=2", "twice"},
             Case{"T=SPIRAL&Cr=0&Ci=0&W=1", "neither"},
             Case{"Cr=0&Ci=0&W=1", "no T"},
             Case{"T=MANDEL&Cr=0&&W=1", "no key"},
             Case{"T=MANDEL&Cr=0&Ci=0&W=1&Title=a%2Cb", "cannot stand"},
             Case{"T=MANDEL&Cr=0&Ci=0&W=1&Title=a%0D%0AT=JULIA", "cannot stand"},
             Case{"T=MANDEL&Cr=0&Ci=0&W=1&Title=%4", "bad escape"},
             Case{"T=MANDEL&Cr=0&Ci=0&W=1&Title=%zz", "bad escape"},
             Case{"T=MANDEL&Cr=0&Ci=0&W=1&Title=%FF", "no scene file can hold"},
             Case{"T=MANDEL&Cr=0&Ci=0&W=1&Title=%F0%9F%98%80", "no scene file can hold"},
         }) {
        try {
            ParseViewLink(c.Link);
            ADD_FAILURE() << "read: " << c.Link.substr(0, 60);
        } catch (const EConvertError& error) {
            const std::string text = error.what();
            EXPECT_FALSE(text.empty()) << c.Link.substr(0, 60);
            EXPECT_NE(text.find(c.Says), std::string::npos) << c.Link.substr(0, 60) << ": " << text;
        }
    }
}

// Every scene of the samples and the gallery: its link reads back as the same scene.
TEST(ViewLink, ScenesGoThroughTheirLinks) {
    for (const std::string file : {NIMBREL_SAMPLES "/scenes.mrp", NIMBREL_SAMPLES "/../gallery/scenes.mrp"}) {
        TRecommendationList list;
        list.LoadFromFile(file);
        ASSERT_GT(list.Count(), 0) << file;
        for (int32_t i = 0; i < list.Count(); ++i) {
            const std::string line = FormatRecommendation(list.Item(i));
            const std::string link = FormatViewLink(list.Item(i));
            EXPECT_EQ(link.find_first_of(",# "), std::string::npos) << link;
            const TRecommendationList read = ParseViewLink("#" + link);
            EXPECT_EQ(FormatRecommendation(read.Item(0)), line) << file << " " << i;
        }
    }
    EXPECT_THROW(LinkOfSceneLine("no scene"), EConvertError);
}

}  // namespace
}  // namespace nimbrel
