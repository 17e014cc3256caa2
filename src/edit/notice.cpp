#include "edit/notice.h"

int32_t notify(NoticeSink sink, NoticeKind kind, std::initializer_list<int64_t> numbers, const char* text,
               double real) {
    Notice notice = {};
    notice.kind = kind;
    int k = 0;
    for (int64_t n : numbers) {
        if (k < 8) notice.n[k++] = n;
    }
    notice.text = text;
    notice.real = real;
    return sink.send(sink.context, &notice);
}

int32_t notify_outcome(NoticeSink sink, const RunOutcome* outcome) {
    Notice notice = {};
    notice.kind = notice_outcome;
    notice.outcome = outcome;
    return sink.send(sink.context, &notice);
}
