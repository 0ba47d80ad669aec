#pragma once

#include "settings/settings_fields.h"
#include "settings/settings_record.h"

#include <QWidget>

#include <map>
#include <span>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace nemora::settings {
class UpDownControl;
}

// The "Parameters" sub-page: the coil values NI, TI, SS, TCR-M1 and TCR-M2 (and TCR, held but never
// shown) in boxes with arrows, and the display level on a slider. The setters show a record's values
// unchanged; the getters take over whatever the box shows, the arrows and Enter keep a value, each within
// 1 to 1000. TCR is held for the record but never shown, and a write from the page leaves it as read.
class CPageCustomPara : public QWidget {
    Q_OBJECT
public:
    // Control identifiers of the page's form.
    enum : int {
        IDC_DEFAULT = 1020,
        IDC_SPIN_NI = 1048,
        IDC_EDIT_NI = 1049,
        IDC_SPIN_TI = 1050,
        IDC_EDIT_TI = 1051,
        IDC_SPIN_SS = 1052,
        IDC_EDIT_SS = 1053,
        IDC_SPIN_TCR = 1054,
        IDC_EDIT_TCR = 1055,
        IDC_SLIDER_DISPLAY = 1056,
        IDC_TEXT_DISPLAY = 1057,
        IDC_SPIN_TCR_M1 = 1058,
        IDC_EDIT_TCR_M1 = 1059,
        IDC_SPIN_TCR_M2 = 1060,
        IDC_EDIT_TCR_M2 = 1061,
    };

    explicit CPageCustomPara(QWidget* pParent = nullptr);

    // White page and the defaults, restored silently (the first OnDefault of the page asks nothing).
    bool OnInitDialog();

    // Store the value and show it, without any limit.
    void SetNi(int nValue);
    void SetTi(int nValue);
    void SetSs(int nValue);
    void SetTcr(int nValue);
    void SetTcrM1(int nValue);
    void SetTcrM2(int nValue);
    // Moves the slider (0 to 255); the display level becomes the slider's position.
    void SetDisplayLevel(int nValue);

    // The box's text as a number, limited to 1 to 1000, written back to the box and returned.
    int GetNi();
    int GetTi();
    int GetTcr();
    int GetTcrM1();
    int GetTcrM2();
    // SS too, though its box takes no typing: a value brought from outside its range never goes back so.
    int GetSs();
    // The slider's position, always within its range.
    int GetDisplayLevel() const { return m_nDisplayLevel; }

    // All seven values at once: shown as the setters show them, taken as the getters take them.
    void SetParameters(const SettingsParameters& params);
    SettingsParameters GetParameters();

    // Defaults, arrow ranges and acceleration, slider range; asks nothing.
    void RestoreDefaults();
    // The "Default" button: asks (except on the page's first call), restores, confirms.
    void OnDefault();
    // An arrow step of the up-down control nSpinId: starts from the page value, never from the box text.
    void OnDeltaPos(int nSpinId, int nDelta);
    // Enter in the box nEditId: its text limited to 1 to 1000 becomes the value. False for any other id.
    bool CommitBox(int nEditId);
    // The slider has moved or been set: the display level and its text follow its position.
    void OnSliderDraw();

    QLineEdit* Box(int nEditId) const;
    nemora::settings::UpDownControl* UpDown(int nSpinId) const;
    QSlider* Slider() const { return m_pSlider; }
    QLabel* SliderText() const { return m_pSliderText; }
    QPushButton* DefaultButton() const { return m_pDefault; }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    struct Field {
        int nEditId;
        int nSpinId;
        int CPageCustomPara::*pValue;
    };
    static std::span<const Field> Fields();
    static const Field* FieldForEdit(int nEditId);
    static const Field* FieldForSpin(int nSpinId);
    void SetField(const Field& field, int nValue);
    int GetField(const Field& field);

    int m_nNi = nemora::settings::Spec(nemora::settings::ParameterField::Ni).defaultValue;
    int m_nTi = nemora::settings::Spec(nemora::settings::ParameterField::Ti).defaultValue;
    int m_nSs = nemora::settings::Spec(nemora::settings::ParameterField::Ss).defaultValue;
    int m_nTcr = nemora::settings::Spec(nemora::settings::ParameterField::Tcr).defaultValue;
    int m_nTcrM1 = nemora::settings::Spec(nemora::settings::ParameterField::TcrM1).defaultValue;
    int m_nTcrM2 = nemora::settings::Spec(nemora::settings::ParameterField::TcrM2).defaultValue;
    int m_nDisplayLevel = nemora::settings::Spec(nemora::settings::ParameterField::DisplayLevel).defaultValue;
    // The page's first OnDefault (from OnInitDialog) restores without asking.
    bool m_bDefaultCalled = false;

    QPushButton* m_pDefault;
    std::map<int, QLineEdit*> m_boxes;
    std::map<int, nemora::settings::UpDownControl*> m_spins;
    QSlider* m_pSlider;
    QLabel* m_pSliderText;
};
