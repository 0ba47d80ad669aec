#include "screens/edit_history.h"
#include "screens/logo_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace {

using nemora::ConvertPicture;
using nemora::GreyImage;
using nemora::ImportOptions;
using nemora::MonoImage;

// A picture from rows of grey levels; 'W' marks a pure-white pixel, digits 0-9 grey levels 0, 28, ... 252,
// '+' grey 255 that is not pure white (RGB 255, 255, 254 say).
GreyImage Picture(std::initializer_list<std::string> rows)
{
    GreyImage p;
    p.height = static_cast<int>(rows.size());
    p.width = static_cast<int>(rows.begin()->size());
    for (const std::string& row : rows) {
        for (char c : row) {
            p.grey.push_back(c == 'W' || c == '+' ? 255 : static_cast<std::uint8_t>((c - '0') * 28));
            p.white.push_back(c == 'W' ? 1 : 0);
        }
    }
    return p;
}

std::string Lit(const MonoImage& image)
{
    std::string s;
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x)
            s += image.IsLit(x, y) ? '#' : '.';
        s += '/';
    }
    return s;
}

struct ConversionCase {
    const char* name;
    GreyImage picture;
    ImportOptions options;
    int screenWidth, screenHeight;
    std::string expected;
};

class Conversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, LightsTheExpectedPixels)
{
    const ConversionCase& c = GetParam();
    EXPECT_EQ(Lit(ConvertPicture(c.picture, c.options, c.screenWidth, c.screenHeight)), c.expected);
}

ImportOptions Threshold(int t, bool invert = false)
{
    ImportOptions o;
    o.threshold = t;
    o.invert = invert;
    return o;
}

ImportOptions Fit(bool invert = false)
{
    ImportOptions o;
    o.fit = true;
    o.invert = invert;
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    SmallPictures, Conversion,
    testing::Values(
        // The plain rule: anything but pure white is lit, near-white included; the picture keeps its size.
        ConversionCase{"EveryPixelNotPureWhiteIsLit", Picture({"W9+0", "WWW9"}), {}, 128, 32, ".###/...#/"},
        ConversionCase{"ThresholdLightsDarkerThanTheLevel", Picture({"0123", "4569"}), Threshold(84), 128, 32,
                       "###./..../"},
        ConversionCase{"ThresholdZeroLightsNothing", Picture({"00", "9W"}), Threshold(0), 1, 1, "../../"},
        ConversionCase{"InvertSwapsLitAndUnlit", Picture({"W9+0"}), ImportOptions{{}, false, false, true}, 1, 1,
                       "#.../"},
        ConversionCase{"InvertAfterThreshold", Picture({"0123"}), Threshold(56, true), 1, 1, "..##/"},
        // 4 x 2 into 8 x 8: twice the size, centred vertically on white.
        ConversionCase{"FitEnlargesAndCentres", Picture({"0WW0", "WW00"}), Fit(), 8, 8,
                       "......../......../##....##/##....##/....####/....####/......../......../"},
        // The white border stays unlit when inverting.
        ConversionCase{"FitInvertKeepsTheBorderUnlit", Picture({"0W"}), Fit(true), 4, 4, "..../..##/..##/..../"},
        // 4 x 2 into 2 x 1: each target pixel averages a 2 x 2 block and is white only when all four are.
        ConversionCase{"FitShrinksByAveraging", Picture({"WW0W", "WWWW"}), Fit(), 2, 1, ".#/"},
        ConversionCase{"FitShrinksWithThresholdOnTheAverage", Picture({"00W0", "00WW"}),
                       [] {
                           auto o = Threshold(100);
                           o.fit = true;
                           return o;
                       }(),
                       2, 1, "#./"},
        // A tall picture in a wide screen keeps its aspect ratio: 1 x 4 into 8 x 2 is 1 x 2 in the middle.
        ConversionCase{"FitKeepsTheAspectRatio", Picture({"0", "0", "0", "0"}), Fit(), 8, 2, "...#..../...#..../"}),
    [](const testing::TestParamInfo<ConversionCase>& param) { return std::string(param.param.name); });

TEST(Conversion, DitherSpreadsGreyOverLitAndUnlitPixelsInProportion)
{
    // (grey level, threshold, share of lit pixels): against 101, flat grey 100 is all lit without dithering.
    for (const auto& [grey, threshold, share] : {std::tuple{0, 128, 1.0},
                                                 {64, 128, 0.75},
                                                 {128, 128, 0.5},
                                                 {191, 128, 0.25},
                                                 {255, 128, 0.0},
                                                 {100, 101, 1.0 - 100.0 / 255.0}}) {
        GreyImage p;
        p.width = p.height = 32;
        p.grey.assign(32 * 32, static_cast<std::uint8_t>(grey));
        ImportOptions o;
        o.dither = true;
        o.threshold = threshold;
        const std::string lit = Lit(ConvertPicture(p, o, 1, 1));
        EXPECT_NEAR(static_cast<double>(std::count(lit.begin(), lit.end(), '#')) / 1024.0, share, 0.04)
            << "grey " << grey << " against " << threshold;
    }
}

TEST(Conversion, AWhitePlaneMayBeLeftOutAndThenGrey255IsWhite)
{
    GreyImage p;
    p.width = 3;
    p.height = 1;
    p.grey = {255, 254, 0};
    EXPECT_EQ(Lit(ConvertPicture(p, {}, 1, 1)), ".##/");
}

TEST(Conversion, MalformedInputGivesANullImage)
{
    GreyImage p = Picture({"00", "00"});
    EXPECT_TRUE(ConvertPicture(p, Fit(), 0, 32).IsNull());
    p.white.pop_back();
    EXPECT_TRUE(ConvertPicture(p, {}, 128, 32).IsNull());
    EXPECT_TRUE(ConvertPicture(GreyImage{}, {}, 128, 32).IsNull());
}

nemora::EditorState State(int width, bool attached = false)
{
    return {MonoImage(width, 1), attached};
}

TEST(EditHistory, TheBudgetDropsTheOldestStepsButKeepsTheNewest)
{
    nemora::EditHistory history(10);
    history.Record(State(4));
    history.Record(State(4));
    history.Record(State(4)); // 12 bytes: the first goes
    EXPECT_EQ(history.UndoCount(), 2u);
    history.Record(State(100)); // alone over the budget, still kept
    EXPECT_EQ(history.UndoCount(), 1u);
    EXPECT_TRUE(history.Undo(State(1)));
}

} // namespace
