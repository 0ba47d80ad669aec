#pragma once

#include "widgets/message_box_model.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>

class QCheckBox;
class QLabel;
class QPushButton;
class QSettings;

namespace nemora::widgets {
class MessageTextWidget;
}

// The console's message box. Takes the usual message-box style bits plus a few of its own (check boxes
// that remember the answer, "Yes to all"/"No to all", right-aligned buttons, no sound), builds its
// controls when it opens, sizes itself to its content and returns the identifier of the button pressed.
class CMessageBoxDialog : public QDialog {
    Q_OBJECT
public:
    CMessageBoxDialog(QWidget* pParent, const QString& strMessage, const QString& strCaption, std::uint32_t nStyle,
                      std::uint32_t nHelpContext = 0);
    ~CMessageBoxDialog() override;

    // Returns a remembered answer at once when the style asks for one and it exists; otherwise shows the
    // box modally and returns the identifier of the button that closed it.
    int DoModal();

    // Builds the controls and the layout. DoModal calls it; tests call it to look at the box unshown.
    bool OnInitDialog();

    const nemora::widgets::MessageBoxSpec& Spec() const { return m_spec; }
    QPushButton* Button(int nId) const;
    QCheckBox* CheckBox() const { return m_pCheckBox; }
    QLabel* IconLabel() const { return m_pIcon; }
    QWidget* TextWidget() const;
    nemora::widgets::DialogUnitScale DialogUnits() const { return m_du; }
    QString RememberKey() const;
    const QString& Text() const { return m_strMessage; }

    // What the "&Help" button does; by default nothing, and the box stays open either way.
    void SetHelpHandler(std::function<void(std::uint32_t)> handler) { m_helpHandler = std::move(handler); }

public slots:
    void done(int nResult) override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void OnButton(int nId);

    QString m_strMessage;
    QString m_strCaption;
    std::uint32_t m_nStyle;
    std::uint32_t m_nHelpContext;
    nemora::widgets::MessageBoxSpec m_spec;
    nemora::widgets::DialogUnitScale m_du;
    bool m_bInitialized = false;
    QLabel* m_pIcon = nullptr;
    nemora::widgets::MessageTextWidget* m_pText = nullptr;
    QCheckBox* m_pCheckBox = nullptr;
    std::map<int, QPushButton*> m_buttons;
    std::function<void(std::uint32_t)> m_helpHandler;
};

// The settings store of the console: QSettings("Orvane", "Nemora").
inline constexpr const char* kSettingsOrganization = "Orvane";
inline constexpr const char* kSettingsApplication = "Nemora";
inline constexpr const char* kMessageBoxesGroup = "MessageBoxes";
