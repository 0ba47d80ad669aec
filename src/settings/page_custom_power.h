#pragma once

#include "settings/chart_page.h"
#include "settings/settings_record.h"

#include <cstdint>

// The "Power Line" sub-page: the ten points of the power curve (tenths of a watt, 0.5 s apart) as a chart
// whose points the user drags with the mouse, or steps with the arrow keys while the pointer is over it.
// Every drawing stores each point as whole watts within the limits.
class CPageCustomPower : public nemora::settings::ChartPage {
    Q_OBJECT
public:
    explicit CPageCustomPower(QWidget* pParent = nullptr);

    // White page, default points, first drawing.
    bool OnInitDialog();

    // Limits in watts; the points follow them at the next drawing (setting one does not redraw).
    void SetMaxPower(std::uint16_t wWatts) { m_wMaxPower = wWatts; }
    void SetMinPower(std::uint16_t wWatts) { m_wMinPower = wWatts; }
    std::uint16_t GetMaxPower() const { return m_wMaxPower; }
    std::uint16_t GetMinPower() const { return m_wMinPower; }
    void SetLimits(const CurveLimits& limits)
    {
        m_wMaxPower = limits.wMaxPower;
        m_wMinPower = limits.wMinPower;
    }

    // Every entry 350 (35 W), then a redraw; asks nothing.
    void RestoreDefaults() override;
    // The "Default" button: asks, restores, confirms.
    void OnDefault();

    int DrawChart(QPainter& dc, const QRect& rcChart, int x, int y, bool pressed) override;

protected:
    void StepPoint(std::size_t k, int nSteps) override;

private:
    std::uint16_t m_wMaxPower = 160;
    std::uint16_t m_wMinPower = 5;
};
