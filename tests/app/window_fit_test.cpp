// Where the main window opens: saved layouts that fit stay, anything else grows to its pages within the screen.

#include "app/window_fit.h"

#include <gtest/gtest.h>

namespace {

using nemora::app::FitWindow;

struct FitCase {
    const char* name;
    QRect frame;
    QSize lacking;
    bool restored;
    QPoint position; // expected
    QSize client;
};

class WindowFit : public testing::TestWithParam<FitCase> {};

TEST_P(WindowFit, PlacesTheWindowOnTheScreen)
{
    const FitCase& c = GetParam();
    const QRect available(0, 0, 1400, 960); // a 1400 x 1000 screen less a panel
    const QSize decoration(8, 32);
    const nemora::app::WindowPlace place = FitWindow(c.frame, decoration, c.lacking, available, c.restored);
    EXPECT_EQ(place.framePosition, c.position);
    EXPECT_EQ(place.clientSize, c.client);
    EXPECT_TRUE(available.contains(QRect(place.framePosition, place.clientSize + decoration)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowFit,
    testing::Values(
        // A saved layout that lies on the screen is kept, even where the page would like more room.
        FitCase{"SavedLayoutThatFits", {100, 50, 908, 752}, {300, 200}, true, {100, 50}, {900, 720}},
        // Saved on a larger screen: brought onto this one, no larger than it.
        FitCase{"SavedLayoutOffTheScreen", {1200, 600, 1608, 1032}, {0, 0}, true, {0, 0}, {1392, 928}},
        // A first window grows by what the page lacks when there is room.
        FitCase{"FirstRunWithRoom", {100, 50, 1008, 752}, {250, 100}, false, {100, 50}, {1250, 820}},
        // ... up to the screen, and moves to stay on it.
        FitCase{"FirstRunBeyondTheScreen", {300, 200, 1008, 752}, {900, 700}, false, {0, 0}, {1392, 928}},
        // Room to spare never shrinks it.
        FitCase{"PageSmallerThanTheWindow", {100, 50, 1008, 752}, {-300, -200}, false, {100, 50}, {1000, 720}}),
    [](const testing::TestParamInfo<FitCase>& param) { return std::string(param.param.name); });

} // namespace
