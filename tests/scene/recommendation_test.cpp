#include "scene/URecommendation.h"

#include <gtest/gtest.h>

#include <string>

#include "../support/read_error.h"
#include "../support/temp_folder.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/text_file.h"

namespace nimbrel {
namespace {

TEST(Position, KindsAndJuliaConstant) {
    TPosition plain;
    TPositionMandelbrot mandel;
    TPositionJulia julia;
    EXPECT_EQ(plain.GetKind(), 0);
    EXPECT_EQ(mandel.GetKind(), fkMandelbrot);
    EXPECT_EQ(julia.GetKind(), fkJulia);
    EXPECT_THROW(plain.GetJuliaConstant(), EAbort);
    EXPECT_THROW(mandel.SetJuliaConstant({1, 2}), EAbort);
    EXPECT_THROW(mandel.GetJuliaConstant(), EAbort);
    julia.SetJuliaConstant({-0.8, 0.156});
    EXPECT_EQ(julia.GetJuliaConstant().Re, -0.8);
    EXPECT_EQ(julia.GetJuliaConstant().Im, 0.156);
    EXPECT_EQ(TRecommendation(0).Position->GetKind(), 0);
    EXPECT_EQ(TRecommendation(2).Position->GetKind(), fkJulia);
}

TEST(Recommendation, NormalizeLine) {
    const struct {
        const char* line;
        const char* normalized;
    } cases[] = {
        {" t = julia , title = J , cr=0 ", "t=julia,title=J,cr=0"},
        {"T=MANDEL,\tMemo = a = b ,", "T=MANDEL,Memo=a=b,"},
        {"Title=A B", "Title=A B"},
        {"\x01 x \x1f", "x"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(TRecommendationList::NormalizeLine(c.line), c.normalized) << c.line;
}

// What one entry line gives; the fields not named keep the values of a line
// that does not mention them.
struct TExpected {
    uint8_t Kind = fkMandelbrot;
    double Cr = 0, Ci = 0, W = 0, Jr = 0, Ji = 0;
    int32_t MaxIter = -1, ColorStep = -1, Power = 2;
    uint8_t DrawMode = 0, PotentialVariant = 0, Shading = 0;
    bool Fold = false, Invert = false;
    double EscapeRadius = 2, ScaleExponent = 0;
    std::string Title = "A", Memo, Mcf;
};

TEST(Recommendation, GoodLinesWithTheirValues) {
    const std::string base = "T=MANDEL, Title=A, Cr=-0.5, Ci=0.25, W=3";
    auto mandel = [] {
        TExpected e;
        e.Cr = -0.5;
        e.Ci = 0.25;
        e.W = 3;
        return e;
    };
    auto with = [&](auto change) {
        TExpected e = mandel();
        change(e);
        return e;
    };
    const struct {
        std::string line;
        TExpected expected;
    } cases[] = {
        {base, mandel()},
        {"t = julia , title = J , cr=0, ci=0, w=4, jr=-0.8, ji=0.156",
         [] {
             TExpected e;
             e.Kind = fkJulia;
             e.Title = "J";
             e.W = 4;
             e.Jr = -0.8;
             e.Ji = 0.156;
             return e;
         }()},
        {base + ", I=500, D=4, Pow=3", with([](TExpected& e) { e.MaxIter = 500, e.ColorStep = 4, e.Power = 3; })},
        {base + ", I=$100, Pow=", with([](TExpected& e) { e.MaxIter = 256; })},
        {base + ", Jr=1, Ji=2", mandel()},  // ignored in a Mandelbrot entry
        {base + ", DM=3", with([](TExpected& e) { e.DrawMode = dmAntialias; })},
        {base + ", DM=4", with([](TExpected& e) { e.DrawMode = dmEmerge; })},
        {base + ", DM=6", with([](TExpected& e) { e.DrawMode = dmPotentialGreen; })},
        {base + ", DM=9", mandel()},
        {base + ", DM=0", mandel()},
        {base + ", PB=2, CM=1, RE=1, LD=1, ER=4.5, CO=-1.5", with([](TExpected& e) {
             e.Shading = 2, e.PotentialVariant = 1, e.Fold = true, e.Invert = true;
             e.EscapeRadius = 4.5, e.ScaleExponent = -1.5;
         })},
        {base + ", PB=4, CM=01, RE=2, LD=0", mandel()},
        {base + ", Memo=a=b, MCF=fire", with([](TExpected& e) { e.Memo = "a=b", e.Mcf = "fire"; })},
        {base + ", Title=x, Title=y", with([](TExpected& e) { e.Title = "y"; })},
        {base + ", Title=, Unknown=1, X=", mandel()},
        {"T=MANDEL, Title=\x91S\x91\xcc\x90}, MCF=\x89\x8a, Cr=-0.5, Ci=0.25, W=3",  // 全体図, 炎
         with([](TExpected& e) { e.Title = "\x91S\x91\xcc\x90}", e.Mcf = "\x89\x8a"; })},
    };
    for (const auto& c : cases) {
        TRecommendationList list;
        list.LoadFromBytes("* scenes\r\nT=MANDEL\r\n" + c.line + "\r\n");
        ASSERT_EQ(list.Count(), 1) << c.line;
        const TExpected& e = c.expected;
        const TRecommendation& r = list.Item(0);
        EXPECT_EQ(list.GetKind(0), e.Kind) << c.line;
        EXPECT_EQ(list.GetCenter(0).Re, e.Cr) << c.line;
        EXPECT_EQ(list.GetCenter(0).Im, e.Ci) << c.line;
        EXPECT_EQ(list.GetViewWidth(0), e.W) << c.line;
        if (e.Kind == fkJulia) {
            EXPECT_EQ(list.GetJuliaConstant(0).Re, e.Jr) << c.line;
            EXPECT_EQ(list.GetJuliaConstant(0).Im, e.Ji) << c.line;
        } else {
            EXPECT_THROW(list.GetJuliaConstant(0), EAbort) << c.line;
        }
        EXPECT_EQ(list.GetMaxIter(0), e.MaxIter) << c.line;
        EXPECT_EQ(list.GetColorStep(0), e.ColorStep) << c.line;
        EXPECT_EQ(list.GetPower(0), e.Power) << c.line;
        EXPECT_EQ(list.GetDrawMode(0), e.DrawMode) << c.line;
        EXPECT_EQ(list.GetPotentialVariant(0), e.PotentialVariant) << c.line;
        EXPECT_EQ(list.GetShadingFunction(0), e.Shading) << c.line;
        EXPECT_EQ(list.GetBrightnessFold(0), e.Fold) << c.line;
        EXPECT_EQ(list.GetInvertBrightness(0), e.Invert) << c.line;
        EXPECT_EQ(list.GetEscapeRadius(0), e.EscapeRadius) << c.line;
        EXPECT_EQ(list.GetScaleExponent(0), e.ScaleExponent) << c.line;
        EXPECT_EQ(r.Title, e.Title) << c.line;
        EXPECT_EQ(r.Memo, e.Memo) << c.line;
        EXPECT_EQ(list.GetMcfName(0), e.Mcf) << c.line;
    }
}

TEST(Recommendation, LinesThatAreNoEntry) {
    TRecommendationList list;
    list.LoadFromBytes("T=MANDEL\r\nT=MANDELBROT, Title=x\r\nTitle=x, T=MANDEL\r\n* T=JULIA, x\r\n\r\nplain words\r\n");
    EXPECT_EQ(list.Count(), 0);
}

TEST(Recommendation, BadLinesWithCodeMessageAndLine) {
    const struct {
        const char* line;
        int32_t code;  // 0: a syntax failure, which keeps the earlier code and message
        const char* message;
    } cases[] = {
        {"T=MANDEL, Cr=-0.5, Ci=0, W=3", mrpNoTitle, "タイトル(Title)がありません。"},
        {"T=MANDEL, Cr=-0.5, W=3", mrpNoTitle, "タイトル(Title)がありません。"},
        {"T=MANDEL, Title=A, Cr=-0.5, W=3", mrpNoCi, "中心の虚部の値(Ci)がありません。"},
        {"T=MANDEL, Title=A, Ci=0, W=3", mrpNoCr, "中心の実部の値(Cr)がありません。"},
        {"T=MANDEL, Title=A, Cr=0, Ci=0", mrpNoW, "幅の値(W)がありません。"},
        {"T=MANDEL, Title=A, Cr=0, Ci=0, W=0", mrpBadW, "幅の値(W)は０より大きくなくてはいけません。"},
        {"T=MANDEL, Title=A, Cr=0, Ci=0, W=-1", mrpBadW, "幅の値(W)は０より大きくなくてはいけません。"},
        {"T=JULIA, Title=A, Cr=0, Ci=0, W=3", mrpNoJi, "じゅりあ定数の虚部の値(Ji)がありません。"},
        {"T=JULIA, Title=A, Cr=0, Ci=0, W=3, Ji=0", mrpNoJr, "じゅりあ定数の実部の値(Jr)がありません。"},
        {"T=MANDEL, Title=A, Cr=0, Ci=0, W=3, I=0", mrpBadI, "繰り返しの値(I)は０より大きくなくてはいけません。"},
        {"T=MANDEL, Title=A, Cr=0, Ci=0, W=3, D=0", mrpBadD, "分解能の値(D)は０より大きくなくてはいけません。"},
        {"T=MANDEL, Title=A, Cr=-0.5, Ci=0, W=3, Pow=1", mrpBadPow, "巾乗の値(POW)は２以上でなくてはいけません。"},
        {"T=MANDEL,", 0, nullptr},
        {"T=MANDEL, Title=A, Cr=0, Ci=0, W=3,", 0, nullptr},
        {"T=MANDEL, Title=A,, Cr=0, Ci=0, W=3", 0, nullptr},
        {"T=MANDEL, Title=A, Cr, Ci=0, W=3", 0, nullptr},
        {"T=MANDEL, =A, Cr=0, Ci=0, W=3", 0, nullptr},
        {"T=MANDEL, Title=A, Cr=abc, Ci=0, W=3", 0, nullptr},
        {"T=MANDEL, Title=A, Cr=0, Ci=0, W=1e999", 0, nullptr},
        {"T=MANDEL, Title=A, Cr=0, Ci=0, W=3, I=1.5", 0, nullptr},
        {"T=MANDEL, Title=A, Cr=0, Ci=0, W=3, DM=x", 0, nullptr},
        {"T=MANDEL, Title=A, Cr=0, Ci=0, W=3, Jr=x", 0, nullptr},  // converted even where ignored
    };
    for (const char* end : {"\r\n", "\n"}) {
        for (const auto& c : cases) {
            TRecommendationList list;
            list.LoadFromBytes(std::string("T=MANDEL, Title=old, Cr=0, Ci=0, W=1") + end);
            list.ErrorCode = 1;
            list.ErrorMessage = "earlier";
            const std::string file = std::string("* scenes") + end + end +
                                     "T=MANDEL, Title=B, Cr=0, Ci=0, W=1" + end + c.line + end +
                                     "T=MANDEL, Title=C, Cr=0, Ci=0, W=1" + end;
            EXPECT_THROW(list.LoadFromBytes(file), EAbort) << c.line;
            EXPECT_EQ(list.ErrorLine, 4) << c.line;
            EXPECT_EQ(list.ErrorCode, c.code ? c.code : 1) << c.line;
            EXPECT_EQ(list.ErrorMessage, c.message ? c.message : "earlier") << c.line;
            // Nothing of the failed file survives.
            ASSERT_EQ(list.Count(), 1) << c.line;
            EXPECT_EQ(list.Item(0).Title, "old") << c.line;
        }
    }
}

TEST(Recommendation, ASyntaxFailureRepeatsTheStaleMessage) {
    TRecommendationList list;
    EXPECT_THROW(list.LoadFromBytes("x\nT=MANDEL, Title=A, Cr=0, Ci=0, W=0\n"), EAbort);
    EXPECT_EQ(list.ErrorCode, mrpBadW);
    EXPECT_EQ(list.ErrorLine, 2);
    EXPECT_THROW(list.LoadFromBytes("T=MANDEL, Title=A, Cr=abc, Ci=0, W=3"), EAbort);
    EXPECT_EQ(list.ErrorCode, mrpBadW);
    EXPECT_EQ(list.ErrorMessage, "幅の値(W)は０より大きくなくてはいけません。");
    EXPECT_EQ(list.ErrorLine, 1);  // a last line without its end counts
    // A success resets nothing.
    list.LoadFromBytes("T=JULIA, Title=J, Cr=0, Ci=0, W=4, Jr=-0.8, Ji=0.156");
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.ErrorCode, mrpBadW);
    EXPECT_EQ(list.ErrorLine, 1);
    // A fresh list fails a syntax error with an empty message.
    TRecommendationList fresh;
    EXPECT_THROW(fresh.LoadFromBytes("T=MANDEL,"), EAbort);
    EXPECT_EQ(fresh.ErrorCode, 0);
    EXPECT_EQ(fresh.ErrorMessage, "");
    EXPECT_EQ(fresh.ErrorLine, 1);
}

TEST(Recommendation, ASuccessReplacesTheEntries) {
    TRecommendationList list;
    list.LoadFromBytes("T=MANDEL, Title=a, Cr=0, Ci=0, W=1\nT=MANDEL, Title=b, Cr=0, Ci=0, W=1\n");
    ASSERT_EQ(list.Count(), 2);
    list.LoadFromBytes("T=JULIA, Title=c, Cr=0, Ci=0, W=1, Jr=0, Ji=0\n");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Item(0).Title, "c");
    list.LoadFromBytes("* only a comment\n");
    EXPECT_EQ(list.Count(), 0);
}

TEST(Recommendation, AnIndexOutsideTheListIsAListError) {
    TRecommendationList list;
    list.LoadFromBytes("T=MANDEL, Title=a, Cr=0, Ci=0, W=1\n");
    EXPECT_EQ(list.GetPower(0), 2);
    try {
        list.GetPower(1);
        FAIL();
    } catch (const EListError& error) {
        EXPECT_EQ(error.Message(), "List index out of bounds (1)");
    }
    EXPECT_THROW(list.GetCenter(-1), EListError);
}

TEST(Recommendation, LoadFromFile) {
    testing::TTempFolder folder;
    TRecommendationList list;
    list.ErrorLine = 7;
    const std::string missing = folder.PathOf("\xe3\x81\x82.mrp");  // あ.mrp
    EXPECT_THROW(list.LoadFromFile(missing), EAbort);
    EXPECT_EQ(list.ErrorCode, mrpFileNotFound);
    EXPECT_EQ(list.ErrorMessage, missing + "\r\nが見つかりません。");
    EXPECT_EQ(list.ErrorLine, 7);
    // A Shift-JIS title and palette name stay the file's bytes; the palette
    // name becomes UTF-8 only where it names a file.
    const std::string path =
        folder.Write("scenes.mrp", "T=MANDEL, Title=\x91S\x91\xcc\x90}, Cr=-0.5, Ci=0, W=3, MCF=\x89\x8a\r\n");
    list.LoadFromFile(path);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Item(0).Title, "\x91S\x91\xcc\x90}");
    EXPECT_EQ(DecodeCp932(list.Item(0).Title), "全体図");
    EXPECT_EQ(DecodeCp932(list.GetMcfName(0)), "炎");
    // A read error of the system fails the line being read, and the scenes
    // stay with the code and message of the earlier failure.
    EXPECT_THROW(list.LoadFromFile(testing::kUnreadableFile), EAbort);
    EXPECT_EQ(list.ErrorLine, 1);
    EXPECT_EQ(list.ErrorCode, mrpFileNotFound);
    EXPECT_EQ(list.ErrorMessage, missing + "\r\nが見つかりません。");
    EXPECT_EQ(list.Count(), 1);
    // As the show takes a file up, one without a scene fails as well, and
    // every failure keeps the scenes there were.
    for (const std::string& file : {folder.Write("none.mrp", "* no scene\r\n"), missing,
                                    folder.Write("bad.mrp", "T=MANDEL, Cr=0, W=1\r\n")}) {
        EXPECT_THROW(list.LoadScenes(file), EAbort) << file;
        ASSERT_EQ(list.Count(), 1) << file;
        EXPECT_EQ(list.Item(0).Title, "\x91S\x91\xcc\x90}");
    }
}

TEST(Recommendation, AnOverlongLineFailsOnItsLine) {
    TRecommendationList list;
    const std::string file =
        "* x\nT=MANDEL, Title=a, Cr=0, Ci=0, W=1, Memo=" + std::string(TLineReader::MaxLineBytes, 'm') + "\n";
    EXPECT_THROW(list.LoadFromBytes(file), EAbort);
    EXPECT_EQ(list.ErrorLine, 2);
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace nimbrel
