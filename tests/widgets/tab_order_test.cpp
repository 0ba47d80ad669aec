// Tab through a window as it is read, whatever order its widgets were made in, and back to the start.

#include "widgets/tab_order.h"

#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QPushButton* Button(QWidget* parent, const char* text, int x, int y)
{
    auto* b = new QPushButton(text, parent);
    b->setGeometry(x, y, 60, 20);
    return b;
}

TEST(TabOrder, FollowsTheRowsFromTopToBottomAndLeftToRightAcrossRoots)
{
    QWidget window;
    window.resize(400, 300);
    auto* top = new QWidget(&window);
    top->setGeometry(0, 0, 400, 40);
    auto* page = new QWidget(&window);
    page->setGeometry(0, 40, 400, 260);
    // Made bottom first, right before left, and a tab widget made before what stands above it.
    Button(page, "bottom", 10, 200);
    auto* tabs = new QTabWidget(page);
    tabs->setGeometry(0, 60, 400, 100);
    tabs->addTab(new QWidget, "one");
    Button(page, "right", 200, 10);
    Button(page, "left", 10, 12); // a few pixels lower: the same line
    // A widget placed by a point of its own, below "left" and "right".
    auto* chart = new QWidget(page);
    chart->setGeometry(0, 0, 400, 50);
    chart->setFocusPolicy(Qt::StrongFocus);
    chart->setProperty(nemora::widgets::kFocusAnchor, QPoint(0, 40));
    Button(top, "first", 10, 10);
    nemora::widgets::OrderTabFocus({top, page});
    window.show();
    QApplication::setActiveWindow(&window);

    QStringList order;
    QWidget* start = top->findChild<QPushButton*>();
    start->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 7; ++i) {
        QWidget* focus = QApplication::focusWidget();
        const auto* b = qobject_cast<QPushButton*>(focus);
        order << (b ? b->text() : focus == chart ? "chart" : QString(focus->metaObject()->className()));
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(order.join(" "), "first left right chart QTabBar bottom first") << order.join(" ").toStdString();
}

} // namespace
