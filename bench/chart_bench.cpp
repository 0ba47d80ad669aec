// Full off-screen redraw of the power and temperature charts at 1100 x 350 pixels, with the pointer
// moving across the columns as it does while the user hovers. Prints the median microseconds per redraw:
//   power_redraw_us=<median>
//   temperature_redraw_us=<median>

#include "settings/page_custom_power.h"
#include "settings/page_custom_temp.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 2000;

template <class Page>
double MedianRedrawMicroseconds(Page& page, const std::uint16_t (&curve)[10])
{
    page.ChartFrame()->setGeometry(10, 60, 1100, 350);
    page.resize(1130, 430);
    page.OnInitDialog();
    page.LoadPoints(curve, static_cast<int>(sizeof curve));

    const QRect chart = page.GetChartRect();
    std::vector<double> times;
    times.reserve(kRounds);
    for (int i = 0; i < kRounds; ++i) {
        const int x = chart.left() + 70 + (i * 7) % (chart.width() - 140);
        const int y = chart.top() + 40 + (i * 3) % (chart.height() - 80);
        const auto start = std::chrono::steady_clock::now();
        page.RedrawChart(x, y, false);
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::nth_element(times.begin(), times.begin() + kRounds / 2, times.end());
    return times[kRounds / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CPageCustomPower power;
    power.SetMaxPower(80);
    const std::uint16_t watts[10] = {150, 350, 520, 800, 610, 420, 300, 250, 200, 180};
    const double powerUs = MedianRedrawMicroseconds(power, watts);

    CPageCustomTEMP temperature;
    const std::uint16_t degrees[10] = {200, 260, 340, 450, 600, 520, 480, 400, 300, 250};
    const double temperatureUs = MedianRedrawMicroseconds(temperature, degrees);

    std::printf("power_redraw_us=%.1f\n", powerUs);
    std::printf("temperature_redraw_us=%.1f\n", temperatureUs);
    return 0;
}
