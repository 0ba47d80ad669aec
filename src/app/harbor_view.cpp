#include "app/harbor_view.h"

#include "widgets/dialog_units.h"

#include <QFrame>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

const char* const CHarborView::kTabLabels[kTabCount] = {
    QT_TRANSLATE_NOOP("CHarborView", "Welcome Page"), QT_TRANSLATE_NOOP("CHarborView", "Device Information"),
    QT_TRANSLATE_NOOP("CHarborView", "ROM Update"), QT_TRANSLATE_NOOP("CHarborView", "Customize")};

CHarborView::CHarborView(QWidget* pParent, IFrameServices* pFrame, const HarborViewPages& pages)
    : QWidget(pParent), m_pFrame(pFrame), m_pages(pages)
{
    // The tab control goes where the placeholder is; the form's scroll size is what the active page needs.
    const nemora::widgets::DialogUnitScale du = nemora::widgets::DialogUnitsFor(font());
    m_pPlaceholder = new QFrame(this);
    m_pPlaceholder->setGeometry(nemora::widgets::DialogRect(du, 1, 4, 597, 905));
    m_pPlaceholder->hide();
}

void CHarborView::OnInitialUpdate()
{
    if (m_pMainTabCtrl)
        return;
    m_pMainTabCtrl = nemora::widgets::MakeMainTabControl(this, m_pPlaceholder);

    QWidget* widgets[kTabCount] = {m_pages.pWelcome, m_pages.pInfo, m_pages.pUpdate, m_pages.pCustom};
    for (int i = 0; i < kTabCount; ++i) {
        QWidget* page = widgets[i] ? widgets[i] : new QWidget;
        m_pMainTabCtrl->addTab(page, tr(kTabLabels[i]));
    }
    m_pMainTabCtrl->setCurrentIndex(0);
    m_pMainTabCtrl->show();
    connect(m_pMainTabCtrl, &QTabWidget::currentChanged, this, &CHarborView::FollowActivePage);
    FollowActivePage();
    PlaceTabControl();

    if (m_pFrame) {
        m_pFrame->EnumerateDevices();
        if (m_pFrame->CheckFirstRun() && m_pages.pInfoRoute)
            m_pages.pInfoRoute->InstallDriver();
    }
}

bool CHarborView::OnNotify(std::uintptr_t wParam, PAGE_NOTIFY& notify)
{
    if (wParam != 0)
        return false;
    switch (notify.code) {
    case NOTIFY_SHOW_PAGE:
        // The label as written, whatever the language the tabs show.
        if (m_pMainTabCtrl) {
            for (int i = 0; i < m_pMainTabCtrl->count() && i < kTabCount; ++i) {
                if (notify.strText == QLatin1String(kTabLabels[i])) {
                    m_pMainTabCtrl->setCurrentIndex(i);
                    break;
                }
            }
        }
        return true;
    case NOTIFY_DEVICE_CHANGED:
        OnDeviceChanged(notify.strText);
        return true;
    case NOTIFY_UPLOAD_DONE:
        if (m_pages.pCustomRoute)
            m_pages.pCustomRoute->ApplyElement();
        return true;
    case NOTIFY_DISCONNECT:
        if (m_pages.pCustomRoute)
            m_pages.pCustomRoute->OnDisconnect();
        return true;
    case NOTIFY_INSTALL_DRIVER: // an engine could not open the device for lack of permission
        if (m_pages.pInfoRoute)
            m_pages.pInfoRoute->InstallDriver();
        return true;
    case NOTIFY_ENGINE_DONE:
        if (m_pages.pUpdateRoute) {
            m_pages.pUpdateRoute->EnableDownload(true);
            m_pages.pUpdateRoute->OnEngineDone(notify.hwndFrom);
        }
        if (m_pages.pCustomRoute)
            m_pages.pCustomRoute->OnEngineDone(notify.hwndFrom);
        return true;
    case NOTIFY_RESTORE_SNAPSHOT:
        if (m_pages.pCustomRoute)
            m_pages.pCustomRoute->RestoreSnapshot(notify.strText);
        return true;
    case NOTIFY_LOG:
        if (m_pFrame)
            m_pFrame->OnNotify(0, notify);
        return true;
    default:
        return false;
    }
}

void CHarborView::OnDeviceChanged(const QString& strPath)
{
    m_strDevicePath = strPath;
    if (m_pages.pCustomRoute) {
        m_pages.pCustomRoute->SetDevicePath(strPath);
    } else {
        const CDeviceIdentity read = m_identitySource ? m_identitySource(strPath) : CDeviceIdentity();
        m_DeviceIdentity.SetIds(read.m_wVid, read.m_wPid, read.m_wBcdDevice);
    }
    CDeviceIdentity& identity = m_pages.pCustomRoute ? m_pages.pCustomRoute->DeviceIdentity() : m_DeviceIdentity;

    std::string modelName;
    identity.GetModelName(modelName);
    PAGE_NOTIFY name;
    name.hwndFrom = this;
    name.idFrom = 0;
    name.code = NOTIFY_DEVICE_NAME;
    name.strText = QString::fromStdString(modelName);
    if (m_pFrame)
        m_pFrame->OnNotify(0, name);

    if (m_pages.pInfoRoute)
        m_pages.pInfoRoute->DeviceIdentity() = identity;
    if (m_pages.pUpdateRoute)
        m_pages.pUpdateRoute->DeviceIdentity() = identity;
    if (m_pages.pUpdateRoute)
        m_pages.pUpdateRoute->SetDevicePath(strPath);
    if (m_pages.pInfoRoute)
        m_pages.pInfoRoute->UpdateDeviceInfo();
}

void CHarborView::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    if (isVisible() && m_pMainTabCtrl)
        PlaceTabControl();
}

void CHarborView::PlaceTabControl()
{
    // The top-left corner stays; the right and bottom edges lie on the form's full extent, which the scroll
    // area makes at least what the active page needs.
    const QPoint topLeft = m_pMainTabCtrl->geometry().topLeft();
    m_pMainTabCtrl->setGeometry(QRect(topLeft, QPoint(width() - 1, height() - 1)));
}

QSize CHarborView::NeededSize(int nTab) const
{
    if (!m_pMainTabCtrl || !m_pMainTabCtrl->widget(nTab))
        return minimumSize();
    constexpr int kFrame = 6; // the tab control's frame around a page, both sides
    const QSize page = nemora::widgets::NeededSize(m_pMainTabCtrl->widget(nTab));
    const QPoint at = m_pMainTabCtrl->geometry().topLeft();
    const QSize bar = m_pMainTabCtrl->tabBar()->sizeHint();
    return {at.x() + std::max(page.width(), bar.width()) + kFrame, at.y() + bar.height() + page.height() + kFrame};
}

QSize CHarborView::LargestNeededSize() const
{
    QSize largest(0, 0);
    for (int i = 0; m_pMainTabCtrl && i < m_pMainTabCtrl->count(); ++i)
        largest = largest.expandedTo(NeededSize(i));
    return largest;
}

void CHarborView::FollowActivePage()
{
    setMinimumSize(NeededSize(m_pMainTabCtrl->currentIndex()));
}
