#include "settings/page_custom_power.h"

#include "settings/settings_record.h"
#include "widgets/message_box_dialog.h"

#include <QPainter>
#include <QPushButton>

using namespace nemora::settings;

namespace {

constexpr const char* kDefaultQuestion = "Are you sure you will recover the data to the default value, which will "
                                         "discard the changes you have make!        【Power Lines user resource】";
constexpr const char* kDefaultNotice = "【Power Lines user resource】Has been restored to the default value!";

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

int CPageCustomPower::LoadPoints(const void* pData, int nLength)
{
    const int copied = LoadChartPoints(m_Points, pData, nLength);
    if (copied >= 0)
        RedrawChart(m_nMouseX, m_nMouseY, false);
    return copied;
}

int CPageCustomPower::CopyPoints(void* pBuffer, int nLength) const
{
    return CopyChartPoints(m_Points, pBuffer, nLength);
}

void CPageCustomPower::RestoreDefaults()
{
    m_Points.fill(kDefaultPowerPoint);
    RedrawChart(m_nMouseX, m_nMouseY, false);
}

void CPageCustomPower::OnDefault()
{
    CMessageBoxDialog question(this, kDefaultQuestion, "Warning", 0x24);
    if (question.DoModal() == nemora::widgets::kIdNo)
        return;
    RestoreDefaults();
    CMessageBoxDialog notice(this, kDefaultNotice, "Hints", 0x40);
    notice.DoModal();
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
