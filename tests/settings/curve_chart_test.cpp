#include "settings/curve_chart.h"
#include "settings/parameter_values.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace nemora::settings;

namespace {

// A frame 600 pixels wide whose plot is 300 pixels high: x0 61, x1 538, y0 31, y1 331, spacing 53.
constexpr ChartRect kFrame{0, 0, 600, 370};

ChartTable Table(std::uint16_t value)
{
    ChartTable t{};
    t.fill(value);
    return t;
}

} // namespace

TEST(ChartGeometry, SixHundredPixelFrame)
{
    const ChartGeometry g = ComputeChartGeometry(kFrame);
    EXPECT_EQ(g.inner.left, 1);
    EXPECT_EQ(g.x0, 61);
    EXPECT_EQ(g.x1, 538);
    EXPECT_EQ(g.spacing, 53);
    EXPECT_EQ(g.PointX(9), g.x1); // the last point lies on the plot frame
    EXPECT_EQ(g.y0, 31);
    EXPECT_EQ(g.height, 300);
    EXPECT_EQ((g.x1 - g.x0) % 9, 0);
}

TEST(ChartGeometry, FramesTooSmallForAPlotNeitherHitNorDivide)
{
    for (const ChartRect frame : {ChartRect{0, 0, 50, 20}, ChartRect{0, 0, 130, 90}, ChartRect{}}) {
        const ChartGeometry g = ComputeChartGeometry(frame);
        EXPECT_FALSE(g.HasPlot());
        ChartTable points = Table(350);
        const ChartView v = ComputePowerChart(frame, {80, 5}, points, 10, 10, true);
        EXPECT_EQ(v.hit, -1);
        ChartTable temps = Table(455);
        ComputeTemperatureChart(frame, {600, 200, true}, temps, 10, 10, true);
        EXPECT_EQ(temps[0], 450);
    }
}

TEST(ChartAxis, TicksLabelsAndGrid)
{
    const ChartGeometry g = ComputeChartGeometry(kFrame);
    auto labels = [](const ChartAxis& a) {
        std::vector<int> out;
        for (const AxisTick& t : a.ticks)
            if (t.labelled)
                out.push_back(t.value);
        return out;
    };
    const ChartAxis power = PowerAxis(g, 80);
    ASSERT_EQ(power.ticks.size(), 41u);
    EXPECT_EQ(labels(power), (std::vector<int>{0, 20, 40, 60, 80}));
    EXPECT_EQ(power.ticks[10].length, 10);
    EXPECT_EQ(power.ticks[11].length, 5);
    // Ticks sit where the curve draws their value: 300 / 40 is no whole number of pixels.
    EXPECT_EQ(power.ticks[40].y, g.y0);
    EXPECT_EQ(power.ticks[20].y, PowerY(g, 80, 40));
    EXPECT_EQ(power.ticks[1].y, g.y1 - 7);
    EXPECT_EQ(power.gridY, (std::vector<int>{g.y1 - 75, g.y1 - 150, g.y1 - 225}));

    const ChartAxis f = TemperatureAxis(g, 200, 600);
    ASSERT_EQ(f.ticks.size(), 51u);
    EXPECT_EQ(labels(f), (std::vector<int>{200, 280, 360, 440, 520, 600}));
    EXPECT_EQ(f.gridY.size(), 4u);
    EXPECT_EQ(labels(TemperatureAxis(g, 100, 315)), (std::vector<int>{100, 143, 186, 229, 272, 315}));

    EXPECT_EQ(TimeLabel(0), "0.5s");
    EXPECT_EQ(TimeLabel(9), "5.0s");
}

struct PowerCase {
    std::uint16_t stored;
    int watts;
};
class PowerNormalisation : public testing::TestWithParam<PowerCase> {};

TEST_P(PowerNormalisation, WholeWattsWithinTheLimits)
{
    ChartTable points = Table(GetParam().stored);
    const ChartView v = ComputePowerChart(kFrame, {80, 5}, points, -100, -100, false);
    EXPECT_EQ(v.points[4].value, GetParam().watts);
    EXPECT_EQ(points[4], GetParam().watts * 10);
    EXPECT_EQ(points[12], GetParam().stored); // entries past the ten points travel untouched
}
INSTANTIATE_TEST_SUITE_P(Limits5To80, PowerNormalisation,
                         testing::Values(PowerCase{350, 35}, PowerCase{900, 80}, PowerCase{0, 5}, PowerCase{355, 35}));

TEST(PowerChart, DragSetsTheValueTheAxisReadsAtThePointer)
{
    const ChartGeometry g = ComputeChartGeometry(kFrame);
    ChartTable points = Table(350);
    const int y = g.y1 - 150;
    const ChartView v = ComputePowerChart(kFrame, {80, 5}, points, g.PointX(3), y, true);
    EXPECT_EQ(v.hit, 3);
    EXPECT_EQ(points[3], 400);
    EXPECT_EQ(v.points[3].y, y); // the marker sits under the pointer
    EXPECT_EQ(points[2], 350);

    ComputePowerChart(kFrame, {80, 5}, points, g.PointX(3), g.y0, true);
    EXPECT_EQ(points[3], 800); // the top of the plot reaches the maximum
    ComputePowerChart(kFrame, {80, 5}, points, g.PointX(3), g.y1 + 20, true);
    EXPECT_EQ(points[3], 50);
}

TEST(PowerChart, HitTestGuidesAndStatus)
{
    const ChartGeometry g = ComputeChartGeometry(kFrame);
    ChartTable points = Table(350);
    // Spacing 53: x(3) + 26 belongs to point 3 only; with an even spacing the halfway pointer would hit both.
    ChartView v = ComputePowerChart(kFrame, {80, 5}, points, g.PointX(3) + 26, 100, false);
    EXPECT_EQ(v.hit, 3);
    EXPECT_TRUE(v.points[3].redGuide);
    EXPECT_FALSE(v.points[4].highlighted);
    EXPECT_EQ(v.status, "Position:( 3S, 35(W)\t\t\t\t Power Chart");

    const ChartRect even{0, 0, 610, 370}; // spacing 54
    const ChartGeometry ge = ComputeChartGeometry(even);
    ASSERT_EQ(ge.spacing % 2, 0);
    v = ComputePowerChart(even, {80, 5}, points, ge.PointX(4) + ge.spacing / 2, ge.y1 - 150, true);
    EXPECT_EQ(v.hit, 5);
    EXPECT_EQ(points[4], 400);
    EXPECT_EQ(points[5], 400);

    for (std::size_t k : {0u, 9u}) {
        v = ComputePowerChart(kFrame, {80, 5}, points, g.PointX(k), 100, false);
        EXPECT_EQ(v.hit, static_cast<int>(k));
        EXPECT_FALSE(v.points[k].guide && v.points[k].redGuide) << k;
    }
    v = ComputePowerChart(kFrame, {80, 5}, points, 20, 100, false); // left of the plot
    EXPECT_EQ(v.hit, -1);
    EXPECT_EQ(v.status, "Position:( 0S, 0(W)\t\t\t\t Power Chart");
}

TEST(PowerChart, MarkersAreClippedToThePlot)
{
    const ChartGeometry g = ComputeChartGeometry(kFrame);
    ChartTable points = Table(800);
    points[9] = 50;
    const ChartView v = ComputePowerChart(kFrame, {80, 5}, points, -1, -1, false);
    EXPECT_EQ(v.points[0].marker, (ChartRect{g.x0, g.y0, g.x0 + 5, g.y0 + 5}));
    EXPECT_EQ(v.points[9].marker.right, g.x1);
}

struct SnapCase {
    bool fahrenheit;
    int loaded;
    int shown;
};
class TemperatureSnapping : public testing::TestWithParam<SnapCase> {};

TEST_P(TemperatureSnapping, SnapsThenLimits)
{
    const SnapCase c = GetParam();
    const TemperatureLimits limits =
        c.fahrenheit ? TemperatureLimits{600, 200, true} : TemperatureLimits{315, 100, false};
    ChartTable points = Table(static_cast<std::uint16_t>(c.loaded));
    const ChartView v = ComputeTemperatureChart(kFrame, limits, points, -1, -1, false);
    EXPECT_EQ(points[0], c.shown);
    EXPECT_EQ(v.points[0].value, c.shown);
}
INSTANTIATE_TEST_SUITE_P(BothUnits, TemperatureSnapping,
                         testing::Values(SnapCase{true, 455, 450}, SnapCase{true, 456, 460}, SnapCase{true, 195, 200},
                                         SnapCase{true, 700, 600}, SnapCase{false, 112, 110}, SnapCase{false, 113, 115},
                                         SnapCase{false, 318, 315}));

TEST(TemperatureChart, DragFollowsTheAxisAndLinesJoinMarkerEdges)
{
    const ChartGeometry g = ComputeChartGeometry(kFrame);
    const TemperatureLimits limits{600, 200, true};
    ChartTable points = Table(200);
    ComputeTemperatureChart(kFrame, limits, points, g.PointX(2), g.y0, true);
    EXPECT_EQ(points[2], 600);
    ComputeTemperatureChart(kFrame, limits, points, g.PointX(2), g.y1 + 25, true);
    EXPECT_EQ(points[2], 200);
    const ChartView v = ComputeTemperatureChart(kFrame, limits, points, g.PointX(2), g.y1 - 150, true);
    EXPECT_EQ(points[2], 400);
    EXPECT_EQ(v.points[2].y, g.y1 - 150);
    EXPECT_EQ(v.points[2].segmentLine.xa, v.points[1].marker.right);
    EXPECT_EQ(v.points[2].segmentLine.xb, v.points[2].marker.left);
    EXPECT_EQ(v.points[2].segmentLine.yb, (v.points[2].marker.top + v.points[2].marker.bottom) / 2);
    EXPECT_EQ(v.status, "Position:( 2S, 400\u00B0F) \t \t \t \t Temperature Chart");
}

TEST(TemperatureChart, EqualLimitsDoNotDivideByZero)
{
    ChartTable points = Table(455);
    const ChartGeometry g = ComputeChartGeometry(kFrame);
    const ChartView v = ComputeTemperatureChart(kFrame, {200, 200, false}, points, g.PointX(1), 100, true);
    EXPECT_EQ(points[1], 200);
    EXPECT_EQ(v.points[1].y, g.y1);
    EXPECT_EQ(v.status, "Position:( 1S, 200\u00B0C) \t \t \t \t Temperature Chart");
}

TEST(ChartKeys, StepsStayWithinTheLimits)
{
    ChartTable power = Table(790);
    StepPowerPoint(power, 1, 1, {80, 5});
    EXPECT_EQ(power[1], 800);
    StepPowerPoint(power, 1, 1, {80, 5});
    EXPECT_EQ(power[1], 800);
    ChartTable temps = Table(100);
    StepTemperaturePoint(temps, 0, 1, {315, 100, false});
    EXPECT_EQ(temps[0], 105);
    StepTemperaturePoint(temps, 0, -2, {315, 100, false});
    EXPECT_EQ(temps[0], 100);
    temps.fill(590);
    StepTemperaturePoint(temps, 0, 2, {600, 200, true});
    EXPECT_EQ(temps[0], 600);
}

TEST(ChartTables, AtMostFortyBytesAndNoData)
{
    ChartTable t = Table(1);
    std::uint16_t in[30];
    for (int i = 0; i < 30; ++i)
        in[i] = static_cast<std::uint16_t>(100 + i);
    EXPECT_EQ(LoadChartPoints(t, nullptr, 20), -1);
    EXPECT_EQ(LoadChartPoints(t, in, 60), 40);
    EXPECT_EQ(t[19], 119);
    std::uint16_t out[30] = {};
    EXPECT_EQ(CopyChartPoints(t, nullptr, 20), -1);
    EXPECT_EQ(CopyChartPoints(t, out, 60), 40);
    EXPECT_EQ(out[20], 0);
    EXPECT_EQ(LoadChartPoints(t, in, -4), 0);
}

TEST(ParameterValues, BoxTextConvertsLikeAtoi)
{
    EXPECT_EQ(ParseBoxText("  42abc"), 42);
    EXPECT_EQ(ParseBoxText("-7"), -7);
    EXPECT_EQ(ParseBoxText("+12"), 12);
    EXPECT_EQ(ParseBoxText(""), 0);
    EXPECT_EQ(ParseBoxText("x5"), 0);
    EXPECT_EQ(ParseBoxText("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseBoxText("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(LimitForCommit(ParseBoxText("5000")), 1000);
    EXPECT_EQ(LimitForCommit(-3), 1);
    EXPECT_EQ(LimitForCommit(0), 1);
}

TEST(ParameterValues, ArrowStepsAndAcceleration)
{
    EXPECT_EQ(ApplyArrowStep(1000, 1), 1000);
    EXPECT_EQ(ApplyArrowStep(1, -1), 1);
    EXPECT_EQ(ApplyArrowStep(995, 13), 1000);
    EXPECT_EQ(ApplyArrowStep(1200, -1), 1199);
    EXPECT_EQ(ApplyArrowStep(1200, 1), 1000);
    EXPECT_EQ(ApplyArrowStep(0, -1), 1);
    EXPECT_EQ(ApplyArrowStep(0, 0), 0);
    EXPECT_EQ(AcceleratedStep(kParameterAcceleration, 0), 1);
    EXPECT_EQ(AcceleratedStep(kParameterAcceleration, 1999), 1);
    EXPECT_EQ(AcceleratedStep(kParameterAcceleration, 2000), 13);
}
