#pragma once

// A view that keeps what the engine tells it: the page notifications in order, and the Log's lines.

#include "dfuse/dfuse_contract.h"
#include "widgets/page_notify.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

class RecordingView : public INotifyReceiver {
public:
    struct Note {
        std::uint32_t code = 0;
        const QObject* from = nullptr;
        DfuElement buffer;               // the watched buffer as it stood at the notification
        std::vector<std::uint8_t> bytes; // and its data
    };
    bool OnNotify(std::uintptr_t wParam, PAGE_NOTIFY& notify) override
    {
        EXPECT_EQ(wParam, 0u);
        if (notify.code == NOTIFY_LOG) {
            log << notify.strText; // the Log pane's lines, apart from the page notifications
            return true;
        }
        Note note{notify.code, notify.hwndFrom, {}, {}};
        if (watched != nullptr) {
            note.buffer = *watched;
            note.bytes.assign(watched->Data, watched->Data + watched->dwDataLength);
        }
        notes.push_back(std::move(note));
        return true;
    }
    int Count(std::uint32_t code) const
    {
        return static_cast<int>(
            std::count_if(notes.begin(), notes.end(), [&](const Note& n) { return n.code == code; }));
    }
    std::vector<Note> notes;
    QStringList log;
    const DfuElement* watched = nullptr;
};
