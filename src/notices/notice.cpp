#include "notices/notice.h"

namespace {

int32_t notice_drop(void*, const Notice*) {
    return 0;
}

}  // namespace

int32_t notify(NoticeSink sink, NoticeKind kind) {
    Notice notice = {kind, nullptr};
    return sink.send(sink.context, &notice);
}

NoticeSink notice_sink_quiet() {
    return NoticeSink{notice_drop, nullptr};
}
