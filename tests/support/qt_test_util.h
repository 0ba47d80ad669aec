#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs action on the next modal widget that opens (for example to press a button of a message box that
// code under test shows with exec()).
inline void OnNextModal(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
}

// Clicks the push button with that caption inside a widget.
inline bool ClickButton(QWidget* parent, const QString& caption)
{
    for (QPushButton* b : parent->findChildren<QPushButton*>()) {
        if (b->text() == caption) {
            b->click();
            return true;
        }
    }
    return false;
}
