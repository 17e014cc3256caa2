#include "rewrite/walk.h"

void walk_init(Walk* walk, FileHandleRec* file, uint8_t* block, StreamLayout layout,
               uint16_t video_pid, bool range_search, WalkSink sink) {
    *walk = Walk{};
    reader_init(&walk->reader, file, block);
    walk->layout = layout;
    walk->video_pid = video_pid;
    walk->range_search = range_search;
    walk->sink = sink;
}

int32_t walk_run(Walk* walk) {
    switch (walk->layout.kind) {
    case stream_elementary: return elementary_walk(walk);
    case stream_program: return program_walk(walk);
    case stream_transport: return transport_walk(walk);
    case stream_not_mpeg: break;
    }
    return 0;
}
