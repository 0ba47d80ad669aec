#include "settings/page_custom_para.h"

#include "settings/parameter_values.h"
#include "settings/up_down_control.h"
#include "widgets/dialog_units.h"
#include "widgets/message_box_dialog.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>

#include <array>

using nemora::settings::UpDownControl;
using nemora::widgets::DialogRect;

namespace {

constexpr const char* kDefaultQuestion =
    QT_TRANSLATE_NOOP("CPageCustomPara", "Are you sure you will recover the data to the default value, which will "
                                         "discard the changes you have make!            【Parameter Lines user "
                                         "resource】");
constexpr const char* kDefaultNotice =
    QT_TRANSLATE_NOOP("CPageCustomPara", "【ParameterLines user resource】Has been restored to the default value!");

bool IsEnter(const QEvent* pEvent)
{
    if (pEvent->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(pEvent)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

std::span<const CPageCustomPara::Field> CPageCustomPara::Fields()
{
    static const std::array<Field, 6> fields{{
        {IDC_EDIT_NI, IDC_SPIN_NI, &CPageCustomPara::m_nNi},
        {IDC_EDIT_TI, IDC_SPIN_TI, &CPageCustomPara::m_nTi},
        {IDC_EDIT_SS, IDC_SPIN_SS, &CPageCustomPara::m_nSs},
        {IDC_EDIT_TCR, IDC_SPIN_TCR, &CPageCustomPara::m_nTcr},
        {IDC_EDIT_TCR_M1, IDC_SPIN_TCR_M1, &CPageCustomPara::m_nTcrM1},
        {IDC_EDIT_TCR_M2, IDC_SPIN_TCR_M2, &CPageCustomPara::m_nTcrM2},
    }};
    return fields;
}

const CPageCustomPara::Field* CPageCustomPara::FieldForEdit(int nEditId)
{
    for (const Field& f : Fields()) {
        if (f.nEditId == nEditId)
            return &f;
    }
    return nullptr;
}

const CPageCustomPara::Field* CPageCustomPara::FieldForSpin(int nSpinId)
{
    for (const Field& f : Fields()) {
        if (f.nSpinId == nSpinId)
            return &f;
    }
    return nullptr;
}

CPageCustomPara::CPageCustomPara(QWidget* pParent)
    : QWidget(pParent), m_pDefault(new QPushButton(tr("Default"), this)), m_pSlider(new QSlider(Qt::Horizontal, this)),
      m_pSliderText(new QLabel("100", this))
{
    const nemora::widgets::DialogUnitScale du = nemora::widgets::DialogUnitsFor(font());
    m_pDefault->setGeometry(DialogRect(du, 27, 15, 50, 14));

    auto frame = [&](const QString& title, int x, int y, int w, int h, int tx, int ty) {
        auto* box = new QFrame(this);
        box->setFrameShape(QFrame::Box);
        box->setFrameShadow(QFrame::Plain);
        box->setStyleSheet("QFrame { color: black; }");
        box->setGeometry(DialogRect(du, x, y, w, h));
        box->lower();
        auto* label = new QLabel(title, this);
        label->setGeometry(DialogRect(du, tx, ty, w - (tx - x) - 4, 10));
    };
    frame(tr("Coil advanced setting"), 27, 42, 127, 138, 34, 54);
    frame(tr("Display setting"), 208, 42, 163, 126, 215, 54);

    using nemora::settings::ParameterField;
    struct Row {
        int nEditId;
        int nSpinId;
        ParameterField field;
        int x, y;
    };
    const Row rows[] = {
        {IDC_EDIT_NI, IDC_SPIN_NI, ParameterField::Ni, 70, 82},
        {IDC_EDIT_TI, IDC_SPIN_TI, ParameterField::Ti, 70, 101},
        {IDC_EDIT_SS, IDC_SPIN_SS, ParameterField::Ss, 70, 120},
        {IDC_EDIT_TCR_M1, IDC_SPIN_TCR_M1, ParameterField::TcrM1, 70, 138},
        {IDC_EDIT_TCR_M2, IDC_SPIN_TCR_M2, ParameterField::TcrM2, 70, 156},
        {IDC_EDIT_TCR, IDC_SPIN_TCR, ParameterField::Tcr, 200, 193},
    };
    for (const Row& row : rows) {
        const auto& spec = nemora::settings::Spec(row.field);
        auto* label = new QLabel(QString::fromUtf8(spec.label.data(), static_cast<qsizetype>(spec.label.size())), this);
        label->setGeometry(DialogRect(du, row.x - 36, row.y + 3, 34, 8));
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::number(row.nEditId));
        box->setGeometry(DialogRect(du, row.x, row.y, 38, 14));
        box->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), box));
        box->installEventFilter(this);
        m_boxes[row.nEditId] = box;
        auto* spin = new UpDownControl(this);
        spin->setObjectName(QString::number(row.nSpinId));
        spin->setGeometry(DialogRect(du, row.x + 38, row.y, 11, 14));
        m_spins[row.nSpinId] = spin;
        const int spinId = row.nSpinId;
        connect(spin, &UpDownControl::DeltaPos, this, [this, spinId](int delta) { OnDeltaPos(spinId, delta); });
        if (!spec.shown) {
            label->hide(); // held for the record, never shown
            box->hide();
            spin->hide();
        }
    }
    m_boxes[IDC_EDIT_SS]->setReadOnly(true);

    m_pSlider->setObjectName(QString::number(IDC_SLIDER_DISPLAY));
    m_pSlider->setTickPosition(QSlider::NoTicks);
    m_pSlider->setGeometry(DialogRect(du, 215, 74, 100, 15));
    m_pSliderText->setObjectName(QString::number(IDC_TEXT_DISPLAY));
    m_pSliderText->setGeometry(DialogRect(du, 319, 78, 24, 8));
    connect(m_pSlider, &QSlider::valueChanged, this, &CPageCustomPara::OnSliderDraw);

    // Enter commits a box and never reaches a button.
    for (QWidget* control : std::initializer_list<QWidget*>{m_pDefault, m_pSlider})
        control->installEventFilter(this);
    connect(m_pDefault, &QPushButton::clicked, this, &CPageCustomPara::OnDefault);

    setMinimumSize(du.Dx(380), du.Dy(215));
    resize(minimumSize());
}

bool CPageCustomPara::OnInitDialog()
{
    nemora::widgets::MakeWhitePage(this);
    OnDefault();
    return true;
}

QLineEdit* CPageCustomPara::Box(int nEditId) const
{
    const auto it = m_boxes.find(nEditId);
    return it == m_boxes.end() ? nullptr : it->second;
}

UpDownControl* CPageCustomPara::UpDown(int nSpinId) const
{
    const auto it = m_spins.find(nSpinId);
    return it == m_spins.end() ? nullptr : it->second;
}

void CPageCustomPara::SetField(const Field& field, int nValue)
{
    this->*field.pValue = nValue;
    m_boxes.at(field.nEditId)->setText(QString::number(nValue));
}

int CPageCustomPara::GetField(const Field& field)
{
    const int value = nemora::settings::LimitForCommit(
        nemora::settings::ParseBoxText(m_boxes.at(field.nEditId)->text().toStdString()));
    SetField(field, value);
    return value;
}

void CPageCustomPara::SetNi(int nValue)
{
    SetField(*FieldForEdit(IDC_EDIT_NI), nValue);
}
void CPageCustomPara::SetTi(int nValue)
{
    SetField(*FieldForEdit(IDC_EDIT_TI), nValue);
}
void CPageCustomPara::SetSs(int nValue)
{
    SetField(*FieldForEdit(IDC_EDIT_SS), nValue);
}
void CPageCustomPara::SetTcr(int nValue)
{
    SetField(*FieldForEdit(IDC_EDIT_TCR), nValue);
}
void CPageCustomPara::SetTcrM1(int nValue)
{
    SetField(*FieldForEdit(IDC_EDIT_TCR_M1), nValue);
}
void CPageCustomPara::SetTcrM2(int nValue)
{
    SetField(*FieldForEdit(IDC_EDIT_TCR_M2), nValue);
}

int CPageCustomPara::GetNi()
{
    return GetField(*FieldForEdit(IDC_EDIT_NI));
}
int CPageCustomPara::GetTi()
{
    return GetField(*FieldForEdit(IDC_EDIT_TI));
}
int CPageCustomPara::GetTcr()
{
    return GetField(*FieldForEdit(IDC_EDIT_TCR));
}
int CPageCustomPara::GetSs()
{
    return GetField(*FieldForEdit(IDC_EDIT_SS));
}
int CPageCustomPara::GetTcrM1()
{
    return GetField(*FieldForEdit(IDC_EDIT_TCR_M1));
}
int CPageCustomPara::GetTcrM2()
{
    return GetField(*FieldForEdit(IDC_EDIT_TCR_M2));
}

void CPageCustomPara::SetParameters(const SettingsParameters& params)
{
    SetNi(params.wNi);
    SetTi(params.wTi);
    SetSs(params.wSs);
    SetTcr(params.wTcr);
    SetTcrM1(params.wTcrM1);
    SetTcrM2(params.wTcrM2);
    SetDisplayLevel(params.wDisplayLevel);
}

SettingsParameters CPageCustomPara::GetParameters()
{
    SettingsParameters params;
    params.wNi = static_cast<std::uint16_t>(GetNi());
    params.wTi = static_cast<std::uint16_t>(GetTi());
    params.wSs = static_cast<std::uint16_t>(GetSs());
    params.wTcr = static_cast<std::uint16_t>(GetTcr());
    params.wTcrM1 = static_cast<std::uint16_t>(GetTcrM1());
    params.wTcrM2 = static_cast<std::uint16_t>(GetTcrM2());
    params.wDisplayLevel = static_cast<std::uint16_t>(GetDisplayLevel());
    return params;
}

void CPageCustomPara::SetDisplayLevel(int nValue)
{
    m_pSlider->setValue(nValue); // the slider keeps its position within its range
    OnSliderDraw();
}

void CPageCustomPara::OnSliderDraw()
{
    m_nDisplayLevel = m_pSlider->value();
    m_pSliderText->setText(QString::number(m_nDisplayLevel));
}

void CPageCustomPara::RestoreDefaults()
{
    using nemora::settings::ParameterField;
    using nemora::settings::Spec;
    SetNi(Spec(ParameterField::Ni).defaultValue);
    SetTi(Spec(ParameterField::Ti).defaultValue);
    SetSs(Spec(ParameterField::Ss).defaultValue);
    SetTcr(Spec(ParameterField::Tcr).defaultValue);
    SetTcrM1(Spec(ParameterField::TcrM1).defaultValue);
    SetTcrM2(Spec(ParameterField::TcrM2).defaultValue);
    for (const auto& [spinId, spin] : m_spins) {
        spin->SetBuddy(m_boxes.at(FieldForSpin(spinId)->nEditId));
        spin->SetRange(nemora::settings::kParameterMin, nemora::settings::kParameterMax);
        spin->SetAccel(
            {nemora::settings::kParameterAcceleration.begin(), nemora::settings::kParameterAcceleration.end()});
    }
    m_pSlider->setRange(nemora::settings::kDisplayLevelMin, nemora::settings::kDisplayLevelMax);
    SetDisplayLevel(Spec(ParameterField::DisplayLevel).defaultValue);
}

void CPageCustomPara::OnDefault()
{
    const bool first = !m_bDefaultCalled;
    if (!first) {
        CMessageBoxDialog question(this, tr(kDefaultQuestion), tr("Warning"), nemora::widgets::kBoxYesNoQuestion);
        if (question.DoModal() == nemora::widgets::kIdNo)
            return;
    }
    RestoreDefaults();
    if (first) {
        m_bDefaultCalled = true;
        return;
    }
    CMessageBoxDialog notice(this, tr(kDefaultNotice), tr("Hints"), nemora::widgets::kBoxInformation);
    notice.DoModal();
}

void CPageCustomPara::OnDeltaPos(int nSpinId, int nDelta)
{
    const Field* field = FieldForSpin(nSpinId);
    if (!field)
        return;
    SetField(*field, nemora::settings::ApplyArrowStep(this->*field->pValue, nDelta));
}

bool CPageCustomPara::CommitBox(int nEditId)
{
    const Field* field = FieldForEdit(nEditId);
    if (!field)
        return false;
    SetField(*field, nemora::settings::LimitForCommit(
                         nemora::settings::ParseBoxText(m_boxes.at(nEditId)->text().toStdString())));
    return true;
}

bool CPageCustomPara::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (IsEnter(pEvent)) {
        for (const auto& [editId, box] : m_boxes) {
            if (box == pWatched)
                CommitBox(editId);
        }
        return true; // Enter never activates a button of the page
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void CPageCustomPara::keyPressEvent(QKeyEvent* pEvent)
{
    if (IsEnter(pEvent)) {
        pEvent->accept();
        return;
    }
    QWidget::keyPressEvent(pEvent);
}
