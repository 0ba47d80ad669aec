#include "settings/page_custom_power.h"

#include "settings/settings_record.h"
#include "widgets/message_box_dialog.h"

#include <QPainter>
#include <QPushButton>

using namespace nemora::settings;

namespace {

constexpr const char* kDefaultQuestion =
    QT_TRANSLATE_NOOP("CPageCustomPower", "Are you sure you will recover the data to the default value, which will "
                                          "discard the changes you have make!        【Power Lines user resource】");
constexpr const char* kDefaultNotice =
    QT_TRANSLATE_NOOP("CPageCustomPower", "【Power Lines user resource】Has been restored to the default value!");

} // namespace

CPageCustomPower::CPageCustomPower(QWidget* pParent) : ChartPage(pParent, QRect(25, 46, 546, 175))
{
    m_Points.fill(kDefaultPowerPoint);
    connect(DefaultButton(), &QPushButton::clicked, this, &CPageCustomPower::OnDefault);
}

bool CPageCustomPower::OnInitDialog()
{
    RestoreDefaults();
    return true;
}

void CPageCustomPower::RestoreDefaults()
{
    m_Points.fill(kDefaultPowerPoint);
    RedrawChart(m_nMouseX, m_nMouseY, false);
}

void CPageCustomPower::OnDefault()
{
    AskAndRestore(tr(kDefaultQuestion), tr(kDefaultNotice));
}

int CPageCustomPower::DrawChart(QPainter& dc, const QRect& rcChart, int x, int y, bool pressed)
{
    const ChartView view =
        ComputePowerChart(ToChartRect(rcChart), PowerLimits{m_wMaxPower, m_wMinPower}, m_Points, x, y, pressed);
    if (dc.isActive())
        PaintView(dc, view, true);
    SetView(view);
    return view.hit;
}

void CPageCustomPower::StepPoint(std::size_t k, int nSteps)
{
    StepPowerPoint(m_Points, k, nSteps, PowerLimits{m_wMaxPower, m_wMinPower});
}
