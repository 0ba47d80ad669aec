#include "settings/page_custom_temp.h"

#include "widgets/message_box_dialog.h"

#include <QPainter>
#include <QPushButton>

using namespace nemora::settings;

namespace {

constexpr const char* kDefaultQuestion =
    QT_TRANSLATE_NOOP("CPageCustomTEMP", "Are you sure you will recover the data to the default value, which will "
                                         "discard the changes you have make!        【Temperature Lines user "
                                         "resource】");
constexpr const char* kDefaultNotice =
    QT_TRANSLATE_NOOP("CPageCustomTEMP", "【Temperature Lines user resource】Has been restored to the default value!");

} // namespace

CPageCustomTEMP::CPageCustomTEMP(QWidget* pParent) : ChartPage(pParent, QRect(25, 46, 545, 175))
{
    m_Points.fill(m_wMinTemperature);
    connect(DefaultButton(), &QPushButton::clicked, this, &CPageCustomTEMP::OnDefault);
}

bool CPageCustomTEMP::OnInitDialog()
{
    RestoreDefaults();
    return true;
}

TemperatureLimits CPageCustomTEMP::Limits() const
{
    return {m_wMaxTemperature, m_wMinTemperature, m_bFahrenheit};
}

void CPageCustomTEMP::SetLimits(const CurveLimits& limits)
{
    m_wMaxTemperature = limits.wMaxTemperature;
    m_wMinTemperature = limits.wMinTemperature;
    m_bFahrenheit = limits.bFahrenheit;
}

void CPageCustomTEMP::RestoreDefaults()
{
    m_Points.fill(m_wMinTemperature);
    RedrawChart(m_nMouseX, m_nMouseY, false);
}

void CPageCustomTEMP::OnDefault()
{
    AskAndRestore(tr(kDefaultQuestion), tr(kDefaultNotice));
}

int CPageCustomTEMP::DrawChart(QPainter& dc, const QRect& rcChart, int x, int y, bool pressed)
{
    const ChartView view = ComputeTemperatureChart(ToChartRect(rcChart), Limits(), m_Points, x, y, pressed);
    if (dc.isActive())
        PaintView(dc, view, false);
    SetView(view);
    return view.hit;
}

void CPageCustomTEMP::StepPoint(std::size_t k, int nSteps)
{
    StepTemperaturePoint(m_Points, k, nSteps, Limits());
}
