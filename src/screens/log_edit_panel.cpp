#include "screens/log_edit_panel.h"

#include "screens/log_editor.h"
#include "screens/picture_file.h"
#include "widgets/dialog_units.h"
#include "widgets/file_folders.h"
#include "widgets/message_box_dialog.h"
#include "widgets/tab_order.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTextEdit>

#include <algorithm>

using nemora::widgets::DialogRect;
namespace mb = nemora::widgets;

namespace {

constexpr const char* kSaveQuestion =
    QT_TRANSLATE_NOOP("CLogEditPanel", " You will close the editor. Do you want to save the data?");
constexpr const char* kDefaultQuestion = QT_TRANSLATE_NOOP(
    "CLogEditPanel",
    "Are you sure you will recover the data to the default value, which will discard the changes you have make!");
// Filters one after the other, split at ";;".
constexpr const char* kFileFilter = QT_TRANSLATE_NOOP("CLogEditPanel", "Image Files (*.bmp);;All Files (*.*)");

// Without a screen image the text picture and fitting take the canvas's initial size.
constexpr int kFallbackWidth = 128;
constexpr int kFallbackHeight = 32;

} // namespace

CLogEditPanel::CLogEditPanel(QWidget* pParent)
    : QDialog(pParent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                           Qt::WindowCloseButtonHint),
      m_pFrame(new QWidget(this)), m_pTextGroup(new QGroupBox(tr("User Text"), this)),
      m_pUserCharCheck(new QCheckBox(tr("User Char Mode"), this)),
      m_pFontChoose(new QPushButton(tr("Font Choose"), this)), m_pFontLabel(new QLabel(this)),
      m_pTextEdit(new QTextEdit(this)), m_pOk(new QPushButton(tr("OK"), this)),
      m_pCancel(new QPushButton(tr("Cancel"), this)), m_pThresholdCheck(new QCheckBox(tr("Threshold"), this)),
      m_pThresholdSpin(new QSpinBox(this)), m_pDitherBox(new QComboBox(this)),
      m_pFitCheck(new QCheckBox(tr("Fit to screen"), this)), m_pInvertCheck(new QCheckBox(tr("Invert"), this))
{
    setWindowTitle(tr("LogEditor"));
    const mb::DialogUnitScale du = mb::DialogUnitsFor(font());
    auto button = [&](const QString& caption, int x, int y, int w, int h) {
        auto* b = new QPushButton(caption, this);
        b->setGeometry(DialogRect(du, x, y, w, h));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* import = button(tr("Import Image"), 7, 7, 58, 14);
    QPushButton* exportButton = button(tr("Export Image"), 69, 7, 58, 14);
    QPushButton* defaultButton = button(tr("Default"), 131, 7, 46, 14);

    // Conversion of imported pictures.
    m_pThresholdCheck->setGeometry(DialogRect(du, 190, 9, 46, 10));
    m_pThresholdSpin->setGeometry(DialogRect(du, 237, 7, 34, 14));
    m_pThresholdSpin->setRange(0, 255);
    m_pThresholdSpin->setValue(128);
    auto* ditherCaption = new QLabel(tr("Dither"), this);
    ditherCaption->setGeometry(DialogRect(du, 281, 10, 24, 8));
    m_pDitherBox->setGeometry(DialogRect(du, 306, 7, 74, 14));
    m_pDitherBox->addItems({tr("None"), tr("Floyd–Steinberg")});
    m_pFitCheck->setGeometry(DialogRect(du, 390, 9, 60, 10));
    m_pInvertCheck->setGeometry(DialogRect(du, 454, 9, 40, 10));

    m_pFrame->setGeometry(DialogRect(du, 7, 26, 516, 176));
    m_pFrame->hide();

    m_pTextGroup->setGeometry(DialogRect(du, 7, 205, 306, 66));
    m_pTextGroup->lower();
    m_pUserCharCheck->setGeometry(DialogRect(du, 14, 217, 72, 10));
    m_pFontChoose->setGeometry(DialogRect(du, 90, 215, 54, 14));
    m_pFontChoose->setAutoDefault(false);
    m_pFontLabel->setGeometry(DialogRect(du, 150, 218, 158, 8));
    m_pTextEdit->setGeometry(DialogRect(du, 14, 232, 292, 34));
    m_pTextEdit->setAcceptRichText(false);
    m_pTextEdit->setTabChangesFocus(true);
    QTextOption centred = m_pTextEdit->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    m_pTextEdit->document()->setDefaultTextOption(centred);

    // The shift cross: U above O, D below, L left, R right.
    struct Cross {
        const char* caption;
        int x, y;
    };
    const Cross cross[5] = {{QT_TRANSLATE_NOOP("CLogEditPanel", "U"), 346, 212},
                            {QT_TRANSLATE_NOOP("CLogEditPanel", "D"), 346, 244},
                            {QT_TRANSLATE_NOOP("CLogEditPanel", "L"), 328, 228},
                            {QT_TRANSLATE_NOOP("CLogEditPanel", "R"), 364, 228},
                            {QT_TRANSLATE_NOOP("CLogEditPanel", "O"), 346, 228}};
    for (int i = 0; i < 5; ++i)
        m_pShift[i] = button(tr(cross[i].caption), cross[i].x, cross[i].y, 16, 14);

    m_pOk->setGeometry(DialogRect(du, 417, 255, 50, 14));
    m_pCancel->setGeometry(DialogRect(du, 473, 255, 50, 14));
    m_pOk->setDefault(true);
    m_pCancel->setAutoDefault(false);

    m_pEditor = new CLogEditor(this);
    m_pEditor->setGeometry(m_pFrame->geometry());
    m_pEditor->show();
    resize(du.Dx(530), du.Dy(277));
    setMinimumSize(size());
    m_lastClientSize = size();
    nemora::widgets::OrderTabFocus({this}); // Tab goes through the panel top to bottom

    connect(import, &QPushButton::clicked, this, &CLogEditPanel::OnImportImage);
    connect(exportButton, &QPushButton::clicked, this, &CLogEditPanel::OnExportImage);
    connect(defaultButton, &QPushButton::clicked, this, &CLogEditPanel::OnDefault);
    connect(m_pOk, &QPushButton::clicked, this, &CLogEditPanel::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &CLogEditPanel::OnCancel);
    connect(m_pFontChoose, &QPushButton::clicked, this, &CLogEditPanel::OnFontChoose);
    connect(m_pUserCharCheck, &QCheckBox::clicked, this, &CLogEditPanel::OnUserCharMode);
    connect(m_pTextEdit, &QTextEdit::textChanged, this, &CLogEditPanel::OnUserTextChanged);
    connect(m_pShift[0], &QPushButton::clicked, this, [this] { OnShift(0, -1); });
    connect(m_pShift[1], &QPushButton::clicked, this, [this] { OnShift(0, 1); });
    connect(m_pShift[2], &QPushButton::clicked, this, [this] { OnShift(-1, 0); });
    connect(m_pShift[3], &QPushButton::clicked, this, [this] { OnShift(1, 0); });
    connect(m_pShift[4], &QPushButton::clicked, this, &CLogEditPanel::OnShiftOrigin);
    for (QCheckBox* box : {m_pThresholdCheck, m_pFitCheck, m_pInvertCheck})
        connect(box, &QCheckBox::toggled, this, &CLogEditPanel::OnImportOptionsChanged);
    connect(m_pThresholdSpin, &QSpinBox::valueChanged, this, &CLogEditPanel::OnImportOptionsChanged);
    connect(m_pDitherBox, &QComboBox::currentIndexChanged, this, &CLogEditPanel::OnImportOptionsChanged);
    connect(m_pEditor, &CLogEditor::PixelsEdited, this, [this](const nemora::MonoImage& before) {
        if (!(before == m_pEditor->Cells()))
            m_history.Record({before, m_pWorkingImage != nullptr});
    });
}

CLogEditPanel::~CLogEditPanel() = default;

void CLogEditPanel::SetScreenImage(nemora::MonoImage& screenImage)
{
    m_pScreenImage = &screenImage;
    m_pWorkingImage = &screenImage;
    m_history.Clear();
    if (m_pEditor) {
        m_pEditor->SetImage(screenImage);
        FitToImage();
    }
}

void CLogEditPanel::FitToImage()
{
    const QSize grow = (m_pEditor->sizeHint() - m_pEditor->size()).expandedTo(QSize(0, 0));
    if (grow.width() == 0 && grow.height() == 0)
        return;
    QSize target = size() + grow;
    const QScreen* where = parentWidget() ? parentWidget()->screen() : screen();
    if (where) {
        // Room for the window's frame, which is not known before it is shown.
        const QSize available = where->availableGeometry().size() - kFrameAllowance;
        target = target.boundedTo(available).expandedTo(minimumSize());
    }
    resize(target);
}

bool CLogEditPanel::IsModified() const
{
    return !m_pWorkingImage || !(m_pEditor->Cells() == *m_pWorkingImage);
}

void CLogEditPanel::SaveToScreenImage()
{
    if (!m_pEditor)
        return;
    m_pWorkingImage = nullptr;
    if (!m_pScreenImage)
        return;
    const nemora::MonoImage& cells = m_pEditor->Cells();
    const int w = std::min(cells.Width(), m_pScreenImage->Width());
    const int h = std::min(cells.Height(), m_pScreenImage->Height());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m_pScreenImage->SetLit(x, y, cells.IsLit(x, y));
}

void CLogEditPanel::OnOK()
{
    SaveToScreenImage();
    QDialog::accept();
}

void CLogEditPanel::accept()
{
    OnOK();
}

void CLogEditPanel::reject()
{
    OnCancel();
}

void CLogEditPanel::OnCancel()
{
    if (IsModified()) {
        CMessageBoxDialog question(this, tr(kSaveQuestion), tr("Ask"), nemora::widgets::kBoxYesNoCancelQuestion);
        const int answer = question.DoModal();
        if (answer == mb::kIdYes)
            SaveToScreenImage();
        else if (answer != mb::kIdNo)
            return; // Cancel: the editor stays open
    }
    QDialog::reject();
}

nemora::EditorState CLogEditPanel::CurrentState() const
{
    return {m_pEditor->Cells(), m_pWorkingImage != nullptr};
}

void CLogEditPanel::Apply(const nemora::EditorState& state)
{
    m_pEditor->SetImage(state.image);
    m_pWorkingImage = state.attached ? m_pScreenImage : nullptr;
}

template <typename Change>
void CLogEditPanel::Step(Change change)
{
    nemora::EditorState before = CurrentState();
    change();
    if (before.attached != (m_pWorkingImage != nullptr) || !(before.image == m_pEditor->Cells()))
        m_history.Record(std::move(before));
}

void CLogEditPanel::Undo()
{
    if (auto state = m_history.Undo(CurrentState()))
        Apply(*state);
}

void CLogEditPanel::Redo()
{
    if (auto state = m_history.Redo(CurrentState()))
        Apply(*state);
}

void CLogEditPanel::OnDefault()
{
    if (!m_pScreenImage || !m_pEditor)
        return;
    if (IsModified()) {
        CMessageBoxDialog question(this, tr(kDefaultQuestion), tr("Warning"), nemora::widgets::kBoxYesNoQuestion);
        if (question.DoModal() != mb::kIdYes)
            return;
    }
    Step([this] {
        m_pWorkingImage = m_pScreenImage;
        m_pEditor->SetImage(*m_pScreenImage);
    });
}

void CLogEditPanel::OnImportImage()
{
    if (!m_pEditor)
        return;
    using nemora::widgets::FileDialogKind;
    QFileDialog dialog(this, tr("Import Image"), nemora::widgets::StartFolder(FileDialogKind::PictureImport));
    // Every picture this program reads comes first, then the bitmap and all files.
    dialog.setNameFilters(QStringList{nemora::screens::ReadablePicturesFilter()} + tr(kFileFilter).split(";;"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix("bmp");
    dialog.selectFile("*.bmp");
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        nemora::widgets::KeepFolder(FileDialogKind::PictureImport, dialog.selectedFiles().front());
        OnImportFile(dialog.selectedFiles().front());
    }
}

void CLogEditPanel::OnExportImage()
{
    if (!m_pEditor)
        return;
    using nemora::widgets::FileDialogKind;
    QFileDialog dialog(this, tr("Export Image"), nemora::widgets::StartFolder(FileDialogKind::PictureExport),
                       tr(kFileFilter));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("bmp");
    dialog.selectFile("*.bmp");
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        nemora::widgets::KeepFolder(FileDialogKind::PictureExport, dialog.selectedFiles().front());
        OnExportFile(dialog.selectedFiles().front());
    }
}

QSize CLogEditPanel::TextScreenSize() const
{
    if (m_pScreenImage && !m_pScreenImage->IsNull())
        return {m_pScreenImage->Width(), m_pScreenImage->Height()};
    return {kFallbackWidth, kFallbackHeight};
}

void CLogEditPanel::ShowFileError(const QString& strText)
{
    CMessageBoxDialog box(this, strText, tr("Warning"), nemora::widgets::kBoxWarning);
    box.DoModal();
}

bool CLogEditPanel::OnImportFile(const QString& strPath)
{
    if (!m_pEditor)
        return false;
    m_strPath = strPath;
    nemora::EditorState before = CurrentState();
    m_pWorkingImage = nullptr;
    nemora::GreyImage picture;
    QString error;
    if (!nemora::screens::ReadPicture(strPath, picture, error)) {
        ShowFileError(tr("Could not import \"%1\": %2. Choose a picture file that can be read, such as "
                         "a BMP, PNG, JPEG or GIF file.")
                          .arg(strPath, error));
        return false;
    }
    m_keptPicture = std::move(picture);
    m_appliedOptions = ImportOptions();
    const QSize screen = TextScreenSize();
    m_pEditor->SetImage(nemora::ConvertPicture(*m_keptPicture, m_appliedOptions, screen.width(), screen.height()));
    m_history.Record(std::move(before));
    return true;
}

bool CLogEditPanel::OnExportFile(const QString& strPath)
{
    if (!m_pEditor)
        return false;
    m_strPath = strPath;
    QImage image;
    if (m_pEditor->GetImage(image) != 0)
        return false;
    QString error;
    if (!nemora::screens::WritePicture(strPath, image, error)) {
        ShowFileError(tr("Could not export to \"%1\": %2. Choose a folder you can write to and a file "
                         "name ending in .bmp, .png or .jpg.")
                          .arg(strPath, error));
        return false;
    }
    return true;
}

nemora::ImportOptions CLogEditPanel::ImportOptions() const
{
    nemora::ImportOptions options;
    if (m_pThresholdCheck->isChecked())
        options.threshold = m_pThresholdSpin->value();
    options.dither = m_pDitherBox->currentIndex() == 1;
    options.fit = m_pFitCheck->isChecked();
    options.invert = m_pInvertCheck->isChecked();
    return options;
}

void CLogEditPanel::SetImportOptions(const nemora::ImportOptions& options)
{
    {
        const QSignalBlocker b1(m_pThresholdCheck), b2(m_pThresholdSpin), b3(m_pDitherBox), b4(m_pFitCheck),
            b5(m_pInvertCheck);
        m_pThresholdCheck->setChecked(options.threshold.has_value());
        if (options.threshold)
            m_pThresholdSpin->setValue(*options.threshold);
        m_pDitherBox->setCurrentIndex(options.dither ? 1 : 0);
        m_pFitCheck->setChecked(options.fit);
        m_pInvertCheck->setChecked(options.invert);
    }
    OnImportOptionsChanged();
}

void CLogEditPanel::OnImportOptionsChanged()
{
    const nemora::ImportOptions options = ImportOptions();
    if (!m_keptPicture || options == m_appliedOptions)
        return;
    m_appliedOptions = options;
    const QSize screen = TextScreenSize();
    Step(
        [&] { m_pEditor->SetImage(nemora::ConvertPicture(*m_keptPicture, options, screen.width(), screen.height())); });
}

void CLogEditPanel::OnUserCharMode(bool bChecked)
{
    if (!bChecked)
        return; // the rendered text stays on the canvas
    m_bSettingText = true;
    m_pTextEdit->setPlainText("---");
    m_bSettingText = false;
    RenderUserText("---");
}

void CLogEditPanel::OnUserTextChanged()
{
    if (!m_bSettingText && m_pUserCharCheck->isChecked())
        RenderUserText(m_pTextEdit->toPlainText());
}

void CLogEditPanel::OnShift(int dx, int dy)
{
    m_textOffset += QPoint(dx, dy);
    OnUserTextChanged();
}

void CLogEditPanel::OnShiftOrigin()
{
    m_textOffset = QPoint(0, 0);
    OnUserTextChanged();
}

QFont CLogEditPanel::UserFont() const
{
    QFont font(m_strFaceName);
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(m_nFontHeight != 0 ? std::abs(m_nFontHeight) : -kDefaultFontHeight);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(m_nFontWeight, 1, 1000)));
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

void CLogEditPanel::RenderUserText(const QString& strText)
{
    if (!m_pEditor)
        return;
    const QSize screen = TextScreenSize();
    QImage picture(2 * screen.width(), 2 * screen.height(), QImage::Format_RGB888);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.setFont(UserFont());
        painter.setPen(Qt::black);
        painter.drawText(QRect(m_textOffset, picture.size()), Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic,
                         strText);
    }
    Step([&] { m_pEditor->SetImage(picture); });
}

void CLogEditPanel::OnFontChoose()
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, UserFont(), this, tr("Font"));
    if (ok)
        OnFontChosen(chosen);
}

void CLogEditPanel::OnFontChosen(const QFont& font)
{
    m_strFaceName = font.family();
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : qRound(font.pointSizeF() * logicalDpiY() / 72.0);
    m_nFontHeight = -std::max(pixels, 1);
    m_nFontWidth = 0; // the font dialog offers no width of its own: automatic
    m_nFontWeight = font.weight();
    m_pFontLabel->setText(tr("Font:%1").arg(m_strFaceName));
    update();
}

QPushButton* CLogEditPanel::Button(const QString& strCaption) const
{
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->text() == strCaption && b->parent() == this)
            return b;
    return nullptr;
}

void CLogEditPanel::keyPressEvent(QKeyEvent* pEvent)
{
    const auto mods = pEvent->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (pEvent->key() == Qt::Key_Z && mods == Qt::ControlModifier) {
        Undo();
        return;
    }
    if ((pEvent->key() == Qt::Key_Y && mods == Qt::ControlModifier) ||
        (pEvent->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
        Redo();
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

void CLogEditPanel::resizeEvent(QResizeEvent* pEvent)
{
    QDialog::resizeEvent(pEvent);
    if (isMinimized() || !m_pEditor || !m_lastClientSize.isValid())
        return;
    const int dx = width() - m_lastClientSize.width();
    const int dy = height() - m_lastClientSize.height();
    m_lastClientSize = size();
    if (dx == 0 && dy == 0)
        return;
    m_pFrame->resize(m_pFrame->width() + dx, m_pFrame->height() + dy);
    m_pEditor->setGeometry(m_pFrame->geometry());
    for (QWidget* w : {static_cast<QWidget*>(m_pOk), static_cast<QWidget*>(m_pCancel)})
        w->move(w->pos() + QPoint(dx, dy));
    QList<QWidget*> lower{m_pTextGroup, m_pUserCharCheck, m_pFontChoose, m_pFontLabel, m_pTextEdit};
    for (QPushButton* b : m_pShift)
        lower << b;
    for (QWidget* w : lower)
        w->move(w->pos() + QPoint(0, dy));
}
