#pragma once

// Geometry, hit testing and value arithmetic of the power and temperature charts. Everything here works
// on plain numbers so that tests can check a chart without a window; the editor pages only paint what
// these functions return. All divisions truncate toward zero.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nemora::settings {

// The editors' point table: ten points, then ten entries that travel with the table but are never drawn
// or edited.
inline constexpr std::size_t kChartPointCount = 10;
inline constexpr std::size_t kChartTableEntries = 20;
inline constexpr int kChartTableBytes = static_cast<int>(kChartTableEntries * sizeof(std::uint16_t));
using ChartTable = std::array<std::uint16_t, kChartTableEntries>;

// A rectangle whose right and bottom edges lie just outside it, like a window rectangle.
struct ChartRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const ChartRect&) const = default;
};

// Where the plot lies inside a chart frame.
struct ChartGeometry {
    ChartRect inner; // the frame shrunk by one pixel on every side (L, T, R, B)
    int x0 = 0;      // plot left, L + 60
    int y0 = 0;      // plot top, T + 30
    int x1 = 0;      // plot right; the plot width is a multiple of 9
    int y1 = 0;      // plot bottom; the plot height is a multiple of 50
    int height = 0;  // y1 - y0
    int spacing = 0; // horizontal distance between two points

    int PointX(std::size_t k) const { return x0 + static_cast<int>(k) * spacing; }
    // Whether the plot can take drawing and edits at all (a frame too small has none).
    bool HasPlot() const { return height > 0 && spacing > 0; }
};

ChartGeometry ComputeChartGeometry(const ChartRect& frame);

// One tick of the vertical axis: a line from (x0 - length, y) to (x0, y), and at the long ticks a label
// right-aligned in the rectangle from x0 - 45 to x0 - 15 across and y - 10 to y + 10 down.
struct AxisTick {
    int y = 0;
    int length = 0;
    bool labelled = false;
    int value = 0;
};

struct ChartAxis {
    std::vector<AxisTick> ticks;
    std::vector<int> gridY; // dotted grid lines from x0 to x1
};

// Tick i of n lies at y1 - H x i / n, where the curve draws the tick's value.
// 0 to the maximum power: 41 ticks, labels maximum x i / 40, grid lines at i = 10, 20, 30.
ChartAxis PowerAxis(const ChartGeometry& g, std::uint16_t wMaxPower);
// Minimum to maximum: 51 ticks, labels min + (max - min) x i / 50, grid lines at i = 10, 20, 30, 40.
ChartAxis TemperatureAxis(const ChartGeometry& g, std::uint16_t wMinTemperature, std::uint16_t wMaxTemperature);

// "0.5s" for point 0 up to "5.0s" for point 9, drawn right-aligned in the rectangle from x(k) - 10 to
// x(k) + 10 across and y1 + 12 to y1 + 22 down, below a 10-pixel tick.
std::string TimeLabel(std::size_t k);
ChartRect TimeLabelRect(const ChartGeometry& g, std::size_t k);
ChartRect AxisLabelRect(const ChartGeometry& g, const AxisTick& tick);
// The status line: left-aligned from x0 to x0 + 800 across, T + 5 to T + 25 down.
ChartRect StatusRect(const ChartGeometry& g);

// Whether point k is in the column under the pointer: the pointer inside the shrunken frame and
// x(k) - w / 2 <= x <= x(k) + w / 2. Two neighbours can both qualify when the pointer is exactly halfway.
bool IsPointUnderPointer(const ChartGeometry& g, std::size_t k, int x, int y);

// The square marker of a point centred at (x, y), clipped to the plot; right and bottom lie outside it.
ChartRect MarkerRect(const ChartGeometry& g, int x, int y);

struct ChartSegment {
    int xa = 0, ya = 0, xb = 0, yb = 0;
};

// What one drawing of a chart shows, in drawing order per point.
struct ChartPointView {
    int x = 0;
    int value = 0;            // after normalisation: watts, or degrees
    int y = 0;                // height of the point on the axis (marker centre)
    bool highlighted = false; // in the column under the pointer
    bool guide = false;       // points 1 to 8 have a vertical guide line
    bool redGuide = false;    // the guide is red rather than green
    ChartRect marker;
    bool segment = false;     // a curve segment ends at this point
    ChartSegment segmentLine; // from the previous point
};

struct ChartView {
    ChartGeometry geometry;
    ChartAxis axis;
    std::array<ChartPointView, kChartPointCount> points{};
    int hit = -1; // the point under the pointer (the later one when two qualify), or -1
    std::string status;
};

// --- Power chart: points in tenths of a watt, axis from 0 to the maximum. ---

struct PowerLimits {
    std::uint16_t wMax = 160; // watts
    std::uint16_t wMin = 5;
};

// A stored point in whole watts within the limits: tenths / 10, above the maximum becomes the maximum,
// otherwise below the minimum becomes the minimum.
int NormalisePower(int nTenths, const PowerLimits& limits);
int LimitPower(int nWatts, const PowerLimits& limits);
// The watts the axis reads at a pointer height: maximum x (y1 - y) / H, not yet limited. 0 without a plot.
int PowerAtPointer(const ChartGeometry& g, std::uint16_t wMaxPower, int y);
// Height of a value on the power axis: y1 - H x watts / maximum (y1 with a maximum of 0).
int PowerY(const ChartGeometry& g, std::uint16_t wMaxPower, int nWatts);
std::string PowerStatusText(int k, int nWatts);

// One drawing of the power chart: applies a drag of the column under the pointer when pressed, stores the
// normalised points (whole watts x 10) back into the table and returns what to paint.
ChartView ComputePowerChart(const ChartRect& frame, const PowerLimits& limits, ChartTable& points, int x, int y,
                            bool pressed);

// Changes point k by the given number of watts within the limits (the keyboard's Up and Down).
void StepPowerPoint(ChartTable& points, std::size_t k, int nWatts, const PowerLimits& limits);

// --- Temperature chart: whole degrees, axis from the minimum to the maximum. ---

struct TemperatureLimits {
    std::uint16_t wMax = 600;
    std::uint16_t wMin = 200;
    bool bFahrenheit = true;
};

// The unit's step: 10 in Fahrenheit, 5 in Celsius.
int TemperatureStep(bool bFahrenheit);
// Snapped to the step: Fahrenheit rounds a remainder above 5 up, Celsius a remainder of 3 or 4.
int SnapTemperature(int nDegrees, bool bFahrenheit);
int LimitTemperature(int nDegrees, const TemperatureLimits& limits);
// Snap, then limit.
int NormaliseTemperature(int nDegrees, const TemperatureLimits& limits);
// The degrees the axis reads at a pointer height: (max - min) x (y1 - y) / H + min, not yet snapped.
int TemperatureAtPointer(const ChartGeometry& g, const TemperatureLimits& limits, int y);
// Height of a value: y1 - H x (value - min) / (max - min); y1 at or below the minimum or with equal limits.
int TemperatureY(const ChartGeometry& g, const TemperatureLimits& limits, int nDegrees);
std::string TemperatureStatusText(int k, int nDegrees, bool bFahrenheit);

ChartView ComputeTemperatureChart(const ChartRect& frame, const TemperatureLimits& limits, ChartTable& points, int x,
                                  int y, bool pressed);

// Changes point k by a number of unit steps, snapped and within the limits.
void StepTemperaturePoint(ChartTable& points, std::size_t k, int nSteps, const TemperatureLimits& limits);

// --- Shared by both editors. ---

// Copies min(length, 40) bytes into the table from its start; returns the count, -1 without data.
int LoadChartPoints(ChartTable& points, const void* pData, int nLength);
// Copies min(length, 40) bytes of the table out; returns the count, -1 without a buffer.
int CopyChartPoints(const ChartTable& points, void* pBuffer, int nLength);

// The pointer x that puts the highlight on point k (its column's centre).
int ColumnX(const ChartGeometry& g, std::size_t k);

} // namespace nemora::settings
