#pragma once

#include "device/device_identity.h"
#include "screens/mono_image.h"

#include <QFont>
#include <QRect>
#include <QWidget>

#include <array>
#include <cstdint>
#include <span>

class QLabel;
class QPushButton;

namespace nemora::screens {
class ScreenPreview;
}

// The "Display" sub-page: the twelve screen images of the device, one row each with a framed preview,
// the screen's name, "Edit" (the logo edit panel on that image) and "Default" (back to the artwork of the
// device's family). The images start as the default set for an unknown device and follow the device's
// family once the customize page hands over an identity.
class CPageCustomDisplay : public QWidget {
    Q_OBJECT
public:
    static constexpr int kScreenCount = 12;
    // Where the first preview goes and the size of every button.
    static constexpr int kAnchorLeft = 270;
    static constexpr int kAnchorTop = 16;
    static constexpr int kButtonWidth = 75;
    static constexpr int kButtonHeight = 23;

    explicit CPageCustomDisplay(QWidget* pParent = nullptr);
    ~CPageCustomDisplay() override;

    // White page, the label font, the twelve images of the current set and their rows.
    bool OnInitDialog();

    // "Edit" of row nIndex + 1: the edit panel on that image, modally; the page repaints whatever it returns.
    void EditScreen(int nIndex);
    // "Default" of screen nScreen (1 to 12): asks, then restores on Yes.
    void ResetScreen(int nScreen);
    // Screen nScreen back to the current set's artwork, without asking. Numbers outside 1 to 12 do nothing.
    void RestoreDefaultScreen(int nScreen);
    // Every screen back to the current set's artwork, without asking.
    void ResetAllScreens();

    // The device worked on. A device of another family brings that family's twelve images and lays the
    // rows out again; one of the same family keeps the images, edited or not.
    void SetDeviceIdentity(const CDeviceIdentity& identity);

    nemora::MonoImage* GetScreenImage(int nIndex);
    int GetScreenCount() const { return kScreenCount; }
    std::span<nemora::MonoImage> ScreenImages() { return m_images; }

    // A logo area into the images, where images and screen overlap. A short area (a damaged settings file,
    // say) changes only the whole pages it holds; nothing past its end is read.
    void DecodeLogoArea(std::span<const std::uint8_t> area, const CDeviceIdentity& identity);
    // The images into a logo area; bytes no image covers keep what the caller put there.
    void EncodeLogoArea(std::span<std::uint8_t> area, const CDeviceIdentity& identity) const;

    int CurrentSet() const { return m_nCurrentSet; }
    const CDeviceIdentity& Identity() const { return m_DeviceIdentity; }
    QWidget* Preview(int nIndex) const;
    QLabel* RowLabel(int nIndex) const;
    // Each row says under its name that its screen was not read from the device (the built-in one is
    // shown), or says nothing.
    void MarkScreensUnread(bool bUnread);
    QLabel* UnreadLabel(int nIndex) const;
    QPushButton* EditButton(int nIndex) const;
    QPushButton* DefaultButton(int nIndex) const;

    // Texts of the screen table: the row label and the name in the restore question of screen 1 to 12.
    static const char* RowLabelText(int nScreen);
    static const char* RestoreName(int nScreen);

private:
    void LoadSet();
    nemora::MonoImage LoadAsset(int nScreen) const;
    void LayoutRows();

    CDeviceIdentity m_DeviceIdentity;
    int m_nCurrentSet = 1;
    std::array<nemora::MonoImage, kScreenCount> m_images;
    std::array<nemora::screens::ScreenPreview*, kScreenCount> m_previews{};
    std::array<QLabel*, kScreenCount> m_labels{};
    std::array<QLabel*, kScreenCount> m_unreadLabels{};
    std::array<QPushButton*, kScreenCount> m_editButtons{};
    std::array<QPushButton*, kScreenCount> m_defaultButtons{};
    QFont m_labelFont;
    bool m_bInitialized = false;
};
