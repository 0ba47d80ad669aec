#pragma once

#include "screens/edit_history.h"
#include "screens/logo_import.h"
#include "screens/mono_image.h"

#include <QDialog>
#include <QFont>
#include <QPoint>
#include <QSize>
#include <QString>

#include <optional>

class CLogEditor;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTextEdit;

// The modal "LogEditor" window over one screen image: the pixel canvas, import and export of picture
// files, a return to the image the editor was opened with, text typed in a chosen font and moved pixel by
// pixel, undo and redo, and saving the canvas back into the screen image on OK (or, after a question, on
// Cancel).
//
// The panel never owns the screen image: the caller keeps it alive while the panel is open, and the panel
// writes into it only when the user saves. Typical use:
//
//     CLogEditPanel panel(this);
//     panel.SetScreenImage(image);
//     panel.DoModal(); // the result does not matter: repaint in every case
//
// The file and font dialogs sit in OnImportImage, OnExportImage and OnFontChoose; what happens with the
// chosen file or font is in OnImportFile, OnExportFile and OnFontChosen, which tests call directly.
class CLogEditPanel : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDefaultFontHeight = -13; // a character height of 13 pixels
    static constexpr int kDefaultFontWeight = 400; // normal

    explicit CLogEditPanel(QWidget* pParent = nullptr);
    ~CLogEditPanel() override;

    // The image to edit; loads it into the canvas and starts a fresh undo history. The panel grows to show
    // the whole image at the canvas's zoom, as far as the screen allows.
    void SetScreenImage(nemora::MonoImage& screenImage);
    // Shows the panel modally; QDialog::Accepted after OK, QDialog::Rejected otherwise (saved or not).
    int DoModal() { return exec(); }

    // True when the canvas differs from the image the editor compares with, or when there is none (after
    // an import or a save).
    bool IsModified() const;
    // Copies the canvas onto the screen image from its top-left corner, clipped to the screen image's size.
    void SaveToScreenImage();

    // Buttons.
    void OnOK();
    void OnCancel(); // also Escape and the close box
    void OnDefault();
    void OnImportImage();
    void OnExportImage();
    void OnFontChoose();
    void OnUserCharMode(bool bChecked);
    void OnUserTextChanged();
    void OnShift(int dx, int dy); // "U", "D", "L", "R"
    void OnShiftOrigin();         // "O"

    // What Import, Export and Font Choose do with the chosen file or font. A file that cannot be read or
    // written is reported in a message box naming it and the reason; the functions then return false.
    bool OnImportFile(const QString& strPath);
    bool OnExportFile(const QString& strPath);
    void OnFontChosen(const QFont& font);

    // Draws text in the user font into a picture twice the screen image's size, at the text offset, and
    // loads it into the canvas.
    void RenderUserText(const QString& strText);

    // How the imported picture is converted; changing it converts the kept picture again (one undo step).
    nemora::ImportOptions ImportOptions() const;
    void SetImportOptions(const nemora::ImportOptions& options);
    void OnImportOptionsChanged();
    bool HasImportedPicture() const { return m_keptPicture.has_value(); }

    void Undo();
    void Redo();
    bool CanUndo() const { return m_history.CanUndo(); }
    bool CanRedo() const { return m_history.CanRedo(); }

    CLogEditor* Editor() const { return m_pEditor; }
    QCheckBox* UserCharCheck() const { return m_pUserCharCheck; }
    QTextEdit* TextEdit() const { return m_pTextEdit; }
    QLabel* FontLabel() const { return m_pFontLabel; }
    QPushButton* Button(const QString& strCaption) const;
    QPoint TextOffset() const { return m_textOffset; }
    QFont UserFont() const;
    const QString& LastPath() const { return m_strPath; }

public slots:
    void accept() override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    nemora::EditorState CurrentState() const;
    void Apply(const nemora::EditorState& state);
    // Runs a change of the canvas as one undo step (nothing is recorded when nothing changed).
    template <typename Change>
    void Step(Change change);
    QSize TextScreenSize() const;
    void ShowFileError(const QString& strText);

    void FitToImage();
    // What a window frame and its title take beyond the client area, at most.
    static constexpr QSize kFrameAllowance{16, 48};

    nemora::MonoImage* m_pScreenImage = nullptr;
    const nemora::MonoImage* m_pWorkingImage = nullptr; // attached to the screen image, or empty
    CLogEditor* m_pEditor = nullptr;
    QString m_strPath;
    QString m_strFaceName = QStringLiteral("Courier");
    int m_nFontHeight = kDefaultFontHeight;
    int m_nFontWidth = 0; // automatic
    int m_nFontWeight = kDefaultFontWeight;
    QPoint m_textOffset{0, 0};
    QSize m_lastClientSize;
    bool m_bSettingText = false;

    nemora::EditHistory m_history;
    std::optional<nemora::GreyImage> m_keptPicture; // the last imported picture, for re-tuning
    nemora::ImportOptions m_appliedOptions;

    QWidget* m_pFrame;
    QGroupBox* m_pTextGroup;
    QCheckBox* m_pUserCharCheck;
    QPushButton* m_pFontChoose;
    QLabel* m_pFontLabel;
    QTextEdit* m_pTextEdit;
    QPushButton* m_pShift[5]; // U, D, L, R, O
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
    QCheckBox* m_pThresholdCheck;
    QSpinBox* m_pThresholdSpin;
    QComboBox* m_pDitherBox;
    QCheckBox* m_pFitCheck;
    QCheckBox* m_pInvertCheck;
};
