#include "screens/page_custom_display.h"

#include "widgets/dialog_units.h"

#include "screens/default_sets.h"
#include "screens/log_edit_panel.h"
#include "screens/logo_codec.h"
#include "screens/picture_file.h"
#include "widgets/message_box_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

namespace {

struct ScreenTexts {
    const char* label;
    const char* restoreName;
};

// Rows 11 and 12 name the two battery warnings the other way round in the restore question.
constexpr std::array<ScreenTexts, CPageCustomDisplay::kScreenCount> kScreens = {{
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "01. Logo for power on"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "01. Logo for power on")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "02. Detecting coil"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "02. Detecting coil")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "03. Coil resistance too low"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "03. Coil resistance too low")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "04. Coil resistance too high"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "04. Coil resistance too high")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "05. Coil not found"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "05. Coil not found")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "06. Coil short"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "06. Coil short")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "07. Warning for over time"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "07. Warning for over time")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "08. Warning for Locked"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "08. Warning for Locked")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "09. Warning for Unlocked"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "09. Warning for Unlocked")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "10. Logo for power off"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "10. Logo for power off")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "11. Warning for low battery"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "11. Warning for low power")},
    {QT_TRANSLATE_NOOP("CPageCustomDisplay", "12. Warning for low power"),
     QT_TRANSLATE_NOOP("CPageCustomDisplay", "12. Warning for low battery")},
}};

constexpr const char* kRestoreQuestion = QT_TRANSLATE_NOOP(
    "CPageCustomDisplay",
    "Are you sure you will recover the data to the default value, which will discard the changes you have make!");

} // namespace

namespace nemora::screens {

// A framed picture of one screen image, drawn from the image itself at every paint, so that it always
// shows the image's current pixels.
class ScreenPreview : public QFrame {
public:
    ScreenPreview(QWidget* pParent, const MonoImage& image) : QFrame(pParent), m_image(image)
    {
        setFrameShape(QFrame::Box);
        setLineWidth(1);
    }

protected:
    void paintEvent(QPaintEvent* pEvent) override
    {
        QFrame::paintEvent(pEvent);
        QPainter painter(this);
        const QRect inside = contentsRect();
        painter.fillRect(inside, Qt::white);
        if (m_image.IsNull())
            return;
        const QImage picture = PictureFromMono(m_image);
        const QPoint at(inside.left() + (inside.width() - picture.width()) / 2,
                        inside.top() + (inside.height() - picture.height()) / 2);
        painter.drawImage(at, picture);
    }

private:
    const MonoImage& m_image;
};

} // namespace nemora::screens

using nemora::MonoImage;
using nemora::screens::ScreenPreview;

CPageCustomDisplay::CPageCustomDisplay(QWidget* pParent) : QWidget(pParent)
{
    m_DeviceIdentity.UpdateGeometry();
    m_nCurrentSet = DefaultImageSetForModel(m_DeviceIdentity.m_wModelId);
    for (int i = 0; i < kScreenCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        m_previews[k] = new ScreenPreview(this, m_images[k]);
        m_labels[k] = new QLabel(tr(kScreens[k].label), this);
        m_unreadLabels[k] = new QLabel(tr("not read from the device"), this);
        m_unreadLabels[k]->setStyleSheet("color: #808080; font-style: italic;");
        m_unreadLabels[k]->setToolTip(tr("The built-in screen is shown: read the device's screens with \"Read From "
                                         "Device\" before writing, or the device gets this one."));
        m_unreadLabels[k]->hide();
        m_editButtons[k] = new QPushButton(tr("Edit"), this);
        m_defaultButtons[k] = new QPushButton(tr("Default"), this);
        m_editButtons[k]->setAutoDefault(false);
        m_defaultButtons[k]->setAutoDefault(false);
        connect(m_editButtons[k], &QPushButton::clicked, this, [this, i] { EditScreen(i); });
        connect(m_defaultButtons[k], &QPushButton::clicked, this, [this, i] { ResetScreen(i + 1); });
    }
}

CPageCustomDisplay::~CPageCustomDisplay() = default;

bool CPageCustomDisplay::OnInitDialog()
{
    if (m_bInitialized)
        return true;
    m_bInitialized = true;
    nemora::widgets::MakeWhitePage(this);
    m_labelFont = font();
    m_labelFont.setPointSize(10);
    for (QLabel* label : m_labels)
        label->setFont(m_labelFont);
    LoadSet();
    LayoutRows();
    return true;
}

MonoImage CPageCustomDisplay::LoadAsset(int nScreen) const
{
    const DefaultImageSet& set = GetDefaultImageSet(m_nCurrentSet);
    if (std::optional<MonoImage> image = LoadDefaultAsset(set.assets[static_cast<std::size_t>(nScreen - 1)]))
        return std::move(*image);
    return MonoImage(set.nWidth, set.nHeight); // an asset that cannot be had: a blank screen of the right size
}

void CPageCustomDisplay::LoadSet()
{
    for (int n = 1; n <= kScreenCount; ++n)
        m_images[static_cast<std::size_t>(n - 1)] = LoadAsset(n);
}

void CPageCustomDisplay::LayoutRows()
{
    int top = kAnchorTop;
    int right = 0;
    for (std::size_t k = 0; k < m_images.size(); ++k) {
        const MonoImage& image = m_images[k];
        const QRect preview(kAnchorLeft, top, image.Width() + 4, image.Height() + 4);
        m_previews[k]->setGeometry(preview);
        const int bottom = top + image.Height() + 4;
        const int mid = (top + bottom) / 2;
        m_labels[k]->setGeometry(50, mid, 200, 25);
        m_unreadLabels[k]->setGeometry(50, mid + 22, 200, 18);
        const QRect edit(preview.x() + preview.width() + 40, mid, kButtonWidth, kButtonHeight);
        m_editButtons[k]->setGeometry(edit);
        const QRect reset(edit.x() + edit.width() + 20, mid, kButtonWidth, kButtonHeight);
        m_defaultButtons[k]->setGeometry(reset);
        right = std::max(right, reset.x() + reset.width());
        top = bottom + 20;
    }
    // The rows need this much room; a scrolling host shows the rest.
    setMinimumSize(right + 20, top + kButtonHeight);
    update();
}

void CPageCustomDisplay::EditScreen(int nIndex)
{
    MonoImage* image = GetScreenImage(nIndex);
    if (!image)
        return;
    CLogEditPanel panel(this);
    panel.SetScreenImage(*image);
    panel.DoModal(); // saved or not, the preview shows what the image holds now
    update();
    m_previews[static_cast<std::size_t>(nIndex)]->update();
}

void CPageCustomDisplay::ResetScreen(int nScreen)
{
    if (nScreen < 1 || nScreen > kScreenCount)
        return;
    const QString text = tr(kRestoreQuestion) + QString(8, ' ') + QString::fromUtf8("【") + tr(RestoreName(nScreen)) +
                         QString::fromUtf8("】");
    CMessageBoxDialog question(this, text, tr("Warning"), nemora::widgets::kBoxYesNoQuestion);
    if (question.DoModal() == nemora::widgets::kIdYes)
        RestoreDefaultScreen(nScreen);
}

void CPageCustomDisplay::RestoreDefaultScreen(int nScreen)
{
    if (nScreen < 1 || nScreen > GetScreenCount())
        return;
    const auto k = static_cast<std::size_t>(nScreen - 1);
    m_images[k] = LoadAsset(nScreen);
    m_previews[k]->update();
    update();
}

void CPageCustomDisplay::ResetAllScreens()
{
    for (int n = 1; n <= kScreenCount; ++n)
        RestoreDefaultScreen(n);
}

void CPageCustomDisplay::SetDeviceIdentity(const CDeviceIdentity& identity)
{
    m_DeviceIdentity = identity;
    m_DeviceIdentity.UpdateGeometry();
    const int set = DefaultImageSetForModel(m_DeviceIdentity.m_wModelId);
    if (set == m_nCurrentSet)
        return; // the same family: the user's images stay
    m_nCurrentSet = set;
    LoadSet();
    LayoutRows();
}

MonoImage* CPageCustomDisplay::GetScreenImage(int nIndex)
{
    if (nIndex < 0 || nIndex >= GetScreenCount())
        return nullptr;
    return &m_images[static_cast<std::size_t>(nIndex)];
}

void CPageCustomDisplay::DecodeLogoArea(std::span<const std::uint8_t> area, const CDeviceIdentity& identity)
{
    CDeviceIdentity geometry(identity);
    geometry.UpdateGeometry();
    // Only whole pages: a page is one byte per screen column.
    const auto page = static_cast<std::size_t>(std::max(geometry.m_nScreenWidth, 1));
    ::DecodeLogoArea(area.first(area.size() / page * page), m_images, geometry);
    for (ScreenPreview* preview : m_previews)
        preview->update();
}

void CPageCustomDisplay::EncodeLogoArea(std::span<std::uint8_t> area, const CDeviceIdentity& identity) const
{
    CDeviceIdentity geometry(identity);
    geometry.UpdateGeometry();
    ::EncodeLogoArea(area, m_images, geometry);
}

QWidget* CPageCustomDisplay::Preview(int nIndex) const
{
    return nIndex >= 0 && nIndex < kScreenCount ? m_previews[static_cast<std::size_t>(nIndex)] : nullptr;
}

void CPageCustomDisplay::MarkScreensUnread(bool bUnread)
{
    for (QLabel* label : m_unreadLabels) {
        if (label != nullptr) {
            label->setVisible(bUnread);
        }
    }
}

QLabel* CPageCustomDisplay::UnreadLabel(int nIndex) const
{
    return nIndex >= 0 && nIndex < kScreenCount ? m_unreadLabels[static_cast<std::size_t>(nIndex)] : nullptr;
}

QLabel* CPageCustomDisplay::RowLabel(int nIndex) const
{
    return nIndex >= 0 && nIndex < kScreenCount ? m_labels[static_cast<std::size_t>(nIndex)] : nullptr;
}

QPushButton* CPageCustomDisplay::EditButton(int nIndex) const
{
    return nIndex >= 0 && nIndex < kScreenCount ? m_editButtons[static_cast<std::size_t>(nIndex)] : nullptr;
}

QPushButton* CPageCustomDisplay::DefaultButton(int nIndex) const
{
    return nIndex >= 0 && nIndex < kScreenCount ? m_defaultButtons[static_cast<std::size_t>(nIndex)] : nullptr;
}

const char* CPageCustomDisplay::RowLabelText(int nScreen)
{
    return nScreen >= 1 && nScreen <= kScreenCount ? kScreens[static_cast<std::size_t>(nScreen - 1)].label : "";
}

const char* CPageCustomDisplay::RestoreName(int nScreen)
{
    return nScreen >= 1 && nScreen <= kScreenCount ? kScreens[static_cast<std::size_t>(nScreen - 1)].restoreName : "";
}
