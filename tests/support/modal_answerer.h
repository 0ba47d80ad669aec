#pragma once

#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>

// Answers every message box that opens with the given button and keeps its text.
class ModalAnswerer {
public:
    explicit ModalAnswerer(int answer) : m_answer(answer)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<CMessageBoxDialog*>(QApplication::activeModalWidget())) {
                texts << box->Text();
                box->done(m_answer);
            }
        });
        m_timer.start(5);
    }
    QStringList texts;

private:
    int m_answer;
    QTimer m_timer;
};
