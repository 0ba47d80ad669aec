#include "settings/curve_chart.h"

#include "i18n/translate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace nemora::settings {

namespace {

// The chart's status line from its translated printf format, however long the translation makes it.
template <typename... Values>
std::string Printed(const std::string& format, Values... values)
{
    const int length = std::snprintf(nullptr, 0, format.c_str(), values...);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format.c_str(), values...);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

constexpr int kPlotMarginX = 60;
constexpr int kPlotMarginY = 30;
constexpr int kMarkerHalf = 5;

ChartAxis BuildAxis(const ChartGeometry& g, int divisions, int gridCount, int labelBase, int labelSpan)
{
    // Each tick sits where the curve draws its value. A fixed step of H / divisions pixels would lose the
    // remainder (300 / 40 = 7) and put the top label 20 pixels below the top of a 300-pixel plot.
    ChartAxis axis;
    auto y = [&](int i) { return g.y1 - g.height * i / divisions; };
    axis.ticks.reserve(static_cast<std::size_t>(divisions) + 1);
    for (int i = 0; i <= divisions; ++i) {
        AxisTick tick;
        tick.y = y(i);
        tick.labelled = i % 10 == 0;
        tick.length = tick.labelled ? 10 : 5;
        tick.value = labelBase + labelSpan * i / divisions;
        axis.ticks.push_back(tick);
    }
    for (int i = 1; i <= gridCount; ++i)
        axis.gridY.push_back(y(10 * i));
    return axis;
}

ChartPointView PointBase(const ChartGeometry& g, std::size_t k, int x, int y)
{
    ChartPointView p;
    p.x = g.PointX(k);
    p.highlighted = IsPointUnderPointer(g, k, x, y);
    p.guide = k >= 1 && k <= 8;
    p.redGuide = p.highlighted && k > 0;
    return p;
}

} // namespace

ChartGeometry ComputeChartGeometry(const ChartRect& frame)
{
    ChartGeometry g;
    g.inner = {frame.left + 1, frame.top + 1, frame.right - 1, frame.bottom - 1};
    g.x0 = g.inner.left + kPlotMarginX;
    g.y0 = g.inner.top + kPlotMarginY;
    const int rightLimit = g.inner.right > kPlotMarginX ? g.inner.right - kPlotMarginX : 0;
    const int bottomLimit = g.inner.bottom > kPlotMarginY ? g.inner.bottom - kPlotMarginY : 0;
    g.x1 = g.x0 + 9 * ((rightLimit - g.x0) / 9);
    g.y1 = g.y0 + 50 * ((bottomLimit - g.y0) / 50);
    g.height = g.y1 - g.y0;
    g.spacing = (g.x1 - g.x0) / 9;
    return g;
}

ChartAxis PowerAxis(const ChartGeometry& g, std::uint16_t wMaxPower)
{
    return BuildAxis(g, 40, 3, 0, wMaxPower);
}

ChartAxis TemperatureAxis(const ChartGeometry& g, std::uint16_t wMinTemperature, std::uint16_t wMaxTemperature)
{
    return BuildAxis(g, 50, 4, wMinTemperature, wMaxTemperature - wMinTemperature);
}

std::string TimeLabel(std::size_t k)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.1fs", static_cast<double>(k + 1) * 0.5);
    return text;
}

ChartRect TimeLabelRect(const ChartGeometry& g, std::size_t k)
{
    const int x = g.PointX(k);
    return {x - 10, g.y1 + 12, x + 10, g.y1 + 22};
}

ChartRect AxisLabelRect(const ChartGeometry& g, const AxisTick& tick)
{
    return {g.x0 - 45, tick.y - 10, g.x0 - 15, tick.y + 10};
}

ChartRect StatusRect(const ChartGeometry& g)
{
    return {g.x0, g.inner.top + 5, g.x0 + 800, g.inner.top + 25};
}

bool IsPointUnderPointer(const ChartGeometry& g, std::size_t k, int x, int y)
{
    if (!g.HasPlot() || !g.inner.Contains(x, y))
        return false;
    const int px = g.PointX(k);
    const int half = g.spacing / 2;
    return px - half <= x && x <= px + half;
}

ChartRect MarkerRect(const ChartGeometry& g, int x, int y)
{
    return {std::max(x - kMarkerHalf, g.x0), std::max(y - kMarkerHalf, g.y0), std::min(x + kMarkerHalf, g.x1),
            std::min(y + kMarkerHalf, g.y1)};
}

int ColumnX(const ChartGeometry& g, std::size_t k)
{
    return g.PointX(k);
}

// --- Power ---

int LimitPower(int nWatts, const PowerLimits& limits)
{
    if (nWatts > limits.wMax)
        return limits.wMax;
    if (nWatts < limits.wMin)
        return limits.wMin;
    return nWatts;
}

int NormalisePower(int nTenths, const PowerLimits& limits)
{
    return LimitPower(nTenths / 10, limits);
}

int PowerAtPointer(const ChartGeometry& g, std::uint16_t wMaxPower, int y)
{
    if (g.height <= 0)
        return 0;
    // The value the axis reads at the pointer, so a dragged point sits under the pointer and the top of
    // the plot reaches the maximum.
    return wMaxPower * (g.y1 - y) / g.height;
}

int PowerY(const ChartGeometry& g, std::uint16_t wMaxPower, int nWatts)
{
    if (wMaxPower == 0)
        return g.y1;
    return g.y1 - g.height * nWatts / wMaxPower;
}

std::string PowerStatusText(int k, int nWatts)
{
    return Printed(i18n::Tr("CurveChart", "Position:(%2dS, %d(W)\t\t\t\t Power Chart"), k, nWatts);
}

ChartView ComputePowerChart(const ChartRect& frame, const PowerLimits& limits, ChartTable& points, int x, int y,
                            bool pressed)
{
    ChartView view;
    view.geometry = ComputeChartGeometry(frame);
    const ChartGeometry& g = view.geometry;
    view.axis = PowerAxis(g, limits.wMax);

    int prevX = g.x0 - g.spacing;
    int prevY = g.y1;
    for (std::size_t k = 0; k < kChartPointCount; ++k) {
        ChartPointView p = PointBase(g, k, x, y);
        int v = points[k] / 10;
        if (p.highlighted) {
            if (pressed)
                v = PowerAtPointer(g, limits.wMax, y);
            view.hit = static_cast<int>(k);
        }
        v = LimitPower(v, limits);
        points[k] = static_cast<std::uint16_t>(v * 10);
        p.value = v;
        p.y = PowerY(g, limits.wMax, v);
        p.segment = k > 0;
        p.segmentLine = {prevX, prevY, p.x, p.y};
        prevX = p.x;
        prevY = p.y;
        p.marker = MarkerRect(g, p.x, p.y);
        view.points[k] = p;
    }
    const int k = view.hit;
    view.status = PowerStatusText(k < 0 ? 0 : k, k < 0 ? 0 : points[static_cast<std::size_t>(k)] / 10);
    return view;
}

void StepPowerPoint(ChartTable& points, std::size_t k, int nWatts, const PowerLimits& limits)
{
    if (k >= kChartPointCount)
        return;
    points[k] = static_cast<std::uint16_t>(LimitPower(points[k] / 10 + nWatts, limits) * 10);
}

// --- Temperature ---

int TemperatureStep(bool bFahrenheit)
{
    return bFahrenheit ? 10 : 5;
}

int SnapTemperature(int nDegrees, bool bFahrenheit)
{
    const int step = TemperatureStep(bFahrenheit);
    const int r = nDegrees - step * (nDegrees / step);
    int v = nDegrees - r;
    if (bFahrenheit ? r > 5 : (r == 3 || r == 4))
        v += step;
    return v;
}

int LimitTemperature(int nDegrees, const TemperatureLimits& limits)
{
    if (nDegrees > limits.wMax)
        return limits.wMax;
    if (nDegrees < limits.wMin)
        return limits.wMin;
    return nDegrees;
}

int NormaliseTemperature(int nDegrees, const TemperatureLimits& limits)
{
    return LimitTemperature(SnapTemperature(nDegrees, limits.bFahrenheit), limits);
}

int TemperatureAtPointer(const ChartGeometry& g, const TemperatureLimits& limits, int y)
{
    if (g.height <= 0)
        return limits.wMin;
    return (limits.wMax - limits.wMin) * (g.y1 - y) / g.height + limits.wMin;
}

int TemperatureY(const ChartGeometry& g, const TemperatureLimits& limits, int nDegrees)
{
    const int span = limits.wMax - limits.wMin;
    const int d = nDegrees > limits.wMin ? nDegrees - limits.wMin : 0;
    if (span <= 0)
        return g.y1;
    return g.y1 - g.height * d / span;
}

std::string TemperatureStatusText(int k, int nDegrees, bool bFahrenheit)
{
    return Printed(i18n::Tr("CurveChart", "Position:(%2dS, %d°%c) \t \t \t \t Temperature Chart"), k, nDegrees,
                   bFahrenheit ? 'F' : 'C');
}

ChartView ComputeTemperatureChart(const ChartRect& frame, const TemperatureLimits& limits, ChartTable& points, int x,
                                  int y, bool pressed)
{
    ChartView view;
    view.geometry = ComputeChartGeometry(frame);
    const ChartGeometry& g = view.geometry;
    view.axis = TemperatureAxis(g, limits.wMin, limits.wMax);

    ChartRect prev;
    for (std::size_t k = 0; k < kChartPointCount; ++k) {
        ChartPointView p = PointBase(g, k, x, y);
        int v = points[k];
        if (p.highlighted) {
            if (pressed)
                v = TemperatureAtPointer(g, limits, y);
            view.hit = static_cast<int>(k);
        }
        v = NormaliseTemperature(v, limits);
        points[k] = static_cast<std::uint16_t>(v);
        p.value = v;
        p.y = TemperatureY(g, limits, v);
        p.marker = MarkerRect(g, p.x, p.y);
        // The curve joins the markers edge to edge, each end halfway up the clipped marker.
        p.segment = k > 0;
        p.segmentLine = {prev.right, (prev.top + prev.bottom) / 2, p.marker.left, (p.marker.top + p.marker.bottom) / 2};
        prev = p.marker;
        view.points[k] = p;
    }
    const int k = view.hit;
    view.status =
        TemperatureStatusText(k < 0 ? 0 : k, k < 0 ? 0 : points[static_cast<std::size_t>(k)], limits.bFahrenheit);
    return view;
}

void StepTemperaturePoint(ChartTable& points, std::size_t k, int nSteps, const TemperatureLimits& limits)
{
    if (k >= kChartPointCount)
        return;
    const int v = points[k] + nSteps * TemperatureStep(limits.bFahrenheit);
    points[k] = static_cast<std::uint16_t>(NormaliseTemperature(v, limits));
}

// --- Tables ---

int LoadChartPoints(ChartTable& points, const void* pData, int nLength)
{
    if (!pData)
        return -1;
    const int count = std::clamp(nLength, 0, kChartTableBytes);
    std::memcpy(points.data(), pData, static_cast<std::size_t>(count));
    return count;
}

int CopyChartPoints(const ChartTable& points, void* pBuffer, int nLength)
{
    if (!pBuffer)
        return -1;
    const int count = std::clamp(nLength, 0, kChartTableBytes);
    std::memcpy(pBuffer, points.data(), static_cast<std::size_t>(count));
    return count;
}

} // namespace nemora::settings
