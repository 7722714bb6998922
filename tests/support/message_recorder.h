#pragma once

#include <QObject>
#include <vector>

#include "link/window_messages.h"

// A post target that keeps every private message it receives, in order.
class MessageRecorder : public QObject {
public:
    struct Entry {
        QEvent::Type type;
        int wParam;
        std::int64_t lParam;
        Payload reply;
        int droppedReplies = 0;
        std::uint8_t firstDroppedCode = 0;
        int bytesWritten = -1;
    };
    std::vector<Entry> entries;

    std::vector<Entry> of(QEvent::Type type) const {
        std::vector<Entry> out;
        for (const Entry& e : entries)
            if (e.type == type) out.push_back(e);
        return out;
    }

protected:
    bool event(QEvent* e) override {
        if (auto* reply = dynamic_cast<AdapterReplyMessage*>(e)) {
            entries.push_back({e->type(), reply->wParam, reply->lParam, reply->reply, reply->droppedReplies,
                               reply->firstDroppedCode, reply->bytesWritten});
            return true;
        }
        if (auto* m = dynamic_cast<WindowMessage*>(e)) {
            entries.push_back({e->type(), m->wParam, m->lParam, {}});
            return true;
        }
        return QObject::event(e);
    }
};
