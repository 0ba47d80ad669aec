#pragma once

#include "settings/chart_page.h"
#include "settings/settings_record.h"

#include <cstdint>

// The "Temperature Lines" sub-page: the ten points of the temperature curve in whole degrees of the
// record's unit, drawn on an axis from the minimum to the maximum and edited like the power curve. Every
// drawing snaps each point to the unit's step (10 in Fahrenheit, 5 in Celsius), then limits it.
class CPageCustomTEMP : public nemora::settings::ChartPage {
    Q_OBJECT
public:
    explicit CPageCustomTEMP(QWidget* pParent = nullptr);

    // White page, default points, first drawing.
    bool OnInitDialog();

    // Every entry the minimum temperature that holds now, then a redraw; asks nothing.
    void RestoreDefaults() override;
    // The "Default" button: asks, restores, confirms.
    void OnDefault();

    int DrawChart(QPainter& dc, const QRect& rcChart, int x, int y, bool pressed) override;

    // The unit of the points, the limits and the status text; the page never changes them itself, and
    // they take effect at the next drawing.
    void SetLimits(const CurveLimits& limits);
    nemora::settings::TemperatureLimits Limits() const;

protected:
    void StepPoint(std::size_t k, int nSteps) override;

private:
    std::uint16_t m_wMaxTemperature = 600;
    std::uint16_t m_wMinTemperature = 200;
    bool m_bFahrenheit = true;
};
