#pragma once

#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>

// Answers every message box that opens with the given button (a box with one button gets that button) and
// keeps its text, after its title and '|' when asked to.
class ModalAnswerer {
public:
    enum class Keep { Text, TitleAndText };

    explicit ModalAnswerer(int answerWith, Keep keep = Keep::Text) : answer(answerWith)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, keep] {
            if (auto* box = qobject_cast<CMessageBoxDialog*>(QApplication::activeModalWidget())) {
                texts << (keep == Keep::TitleAndText ? box->windowTitle() + "|" + box->Text() : box->Text());
                const auto& buttons = box->Spec().buttons;
                box->done(buttons.size() == 1 ? buttons.front().id : answer);
            }
        });
        m_timer.start(5);
    }
    int answer; // may change between boxes
    QStringList texts;

private:
    QTimer m_timer;
};
