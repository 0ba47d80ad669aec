#include "widgets/dialog_units.h"

#include <QFontMetrics>
#include <QPalette>
#include <QTabWidget>
#include <QWidget>

namespace nemora::widgets {

DialogUnitScale DialogUnitsFor(const QFont& font)
{
    const QFontMetrics fm(font);
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int averageWidth = (letters / 26 + 1) / 2;
    return {1000 * averageWidth / 4, 1000 * fm.height() / 8};
}

QTabWidget* MakeMainTabControl(QWidget* pParent, QWidget* pPlaceholder)
{
    pPlaceholder->setWindowTitle("m_wndTabLocation");
    auto* tabs = new QTabWidget(pParent);
    tabs->setObjectName("m_MainTabCtrl");
    tabs->setWindowTitle("m_MainTabCtrl");
    tabs->setDocumentMode(true);
    tabs->setTabPosition(QTabWidget::North);
    tabs->setGeometry(pPlaceholder->geometry());
    return tabs;
}

void MakeWhitePage(QWidget* pPage)
{
    pPage->setAutoFillBackground(true);
    QPalette p = pPage->palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    pPage->setPalette(p);
}

QSize NeededSize(const QWidget* pPage)
{
    if (!pPage)
        return {0, 0};
    const QSize hint = pPage->sizeHint();
    if (hint.isValid())
        return hint;
    constexpr int kMargin = 8;
    const QRect controls = pPage->childrenRect();
    if (!controls.isValid())
        return {0, 0};
    return {controls.right() + 1 + kMargin, controls.bottom() + 1 + kMargin};
}

} // namespace nemora::widgets
