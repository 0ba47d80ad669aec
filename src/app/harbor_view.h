#pragma once

#include "device/device_identity.h"
#include "widgets/page_notify.h"

#include <QWidget>

#include <functional>

class QTabWidget;
class QFrame;
class QLabel;

// The four pages of the view, made by the main frame. A missing widget gets an empty tab; a missing
// route skips that page's routing steps.
struct HarborViewPages {
    QWidget* pWelcome = nullptr;
    QWidget* pInfo = nullptr;
    QWidget* pUpdate = nullptr;
    QWidget* pCustom = nullptr;
    IInfoPageRoute* pInfoRoute = nullptr;
    IRomUpdatePageRoute* pUpdateRoute = nullptr;
    ICustomizePageRoute* pCustomRoute = nullptr;
};

// The main view: the scrolling form with the page tabs, and the switchboard through which the frame, the
// pages and the engines reach each other.
class CHarborView : public QWidget, public INotifyReceiver {
    Q_OBJECT
public:
    CHarborView(QWidget* pParent, IFrameServices* pFrame, const HarborViewPages& pages);

    // Replaces the pages before the initial update (pages that need the view are made after it).
    void SetPages(const HarborViewPages& pages) { m_pages = pages; }

    // Runs once: tabs, tab 0, device enumeration, then the first-run check.
    void OnInitialUpdate();
    bool OnNotify(std::uintptr_t wParam, PAGE_NOTIFY& notify) override;

    QTabWidget* TabControl() const { return m_pMainTabCtrl; }
    // The view's size that shows a page whole (its scroll size while that page is active), and the largest
    // of them.
    QSize NeededSize(int nTab) const;
    QSize LargestNeededSize() const;
    // The device path of the last NOTIFY_DEVICE_CHANGED.
    const QString& DevicePath() const { return m_strDevicePath; }

    // The identity the view copies to the pages when there is no customize page to take it from, and
    // where it comes from (by default: none, a reset identity).
    CDeviceIdentity m_DeviceIdentity;
    void SetIdentitySource(std::function<CDeviceIdentity(const QString& strPath)> source)
    {
        m_identitySource = std::move(source);
    }

    static constexpr int kTabCount = 4;
    // The tabs' labels as written; the tabs show them translated (context "CHarborView").
    static const char* const kTabLabels[kTabCount];

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void OnDeviceChanged(const QString& strPath);
    void PlaceTabControl();
    // The scroll size follows the active page: a small page shows without scroll bars.
    void FollowActivePage();

    IFrameServices* m_pFrame;
    HarborViewPages m_pages;
    QTabWidget* m_pMainTabCtrl = nullptr;
    QFrame* m_pPlaceholder = nullptr;
    QString m_strDevicePath;
    std::function<CDeviceIdentity(const QString&)> m_identitySource;
};
