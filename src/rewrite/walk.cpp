#include "rewrite/walk.h"

int32_t walk_run(Walk* walk) {
    switch (walk->layout.kind) {
    case stream_elementary: return elementary_walk(walk);
    case stream_program: return program_walk(walk);
    case stream_transport: return transport_walk(walk);
    case stream_not_mpeg: break;
    }
    return 0;
}

void walk_init(Walk* walk, FileHandleRec* file, uint8_t* block, StreamLayout layout,
               uint16_t video_pid, bool range_search, WalkSink sink) {
    *walk = Walk{};
    reader_init(&walk->reader, file, block);
    walk->layout = layout;
    walk->video_pid = video_pid;
    walk->range_search = range_search;
    walk->sink = sink;
    walk->other_video = {ts_pid_none, 0, 0xFFFFFFFFu};
}

int32_t walk_feed_one(Walk* walk, const uint8_t* buffer, int64_t buffer_pos, uint32_t first,
                      uint32_t end, int64_t unit_pos, int64_t progress_pos) {
    PayloadRange range = {first, end, 0, unit_pos, progress_pos};
    return walk->sink.feed(walk->sink.context, buffer, buffer_pos, &range, 1);
}
