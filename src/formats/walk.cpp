#include "formats/walk.h"

namespace {

void walk_set(Walk* walk, StreamLayout layout, uint16_t video_pid, bool range_search, WalkSink sink) {
    walk->layout = layout;
    walk->video_pid = video_pid;
    walk->range_search = range_search;
    walk->sink = sink;
    walk->met.other_video = {ts_pid_none, 0, 0xFFFFFFFFu};
}

}  // namespace

int32_t walk_run(Walk* walk) {
    const Format* format = format_of(walk->layout.kind);
    if (format == nullptr) return 0;
    if (format->viewed) reader_views_begin(&walk->reader);
    return reader_views_end(&walk->reader, format->walk(walk));
}

void walk_init(Walk* walk, FileHandleRec* file, uint8_t* block, StreamLayout layout,
               uint16_t video_pid, bool range_search, WalkSink sink) {
    *walk = Walk{};
    reader_init(&walk->reader, file, block);
    walk_set(walk, layout, video_pid, range_search, sink);
}

void walk_init_window(Walk* walk, const uint8_t* window, uint32_t length, StreamLayout layout,
                      uint16_t video_pid, bool range_search, WalkSink sink) {
    *walk = Walk{};
    reader_init_window(&walk->reader, window, length);
    walk_set(walk, layout, video_pid, range_search, sink);
}

void walk_cut_note(Walk* walk, uint64_t beyond) {
    walk->met.cut_at = walk->reader.size;
    walk->met.cut_beyond += beyond;
}

int32_t walk_feed_one(Walk* walk, const uint8_t* buffer, int64_t buffer_pos, uint32_t first,
                      uint32_t end, int64_t unit_pos, int64_t progress_pos) {
    PayloadRange range = {first, end, 0, unit_pos, progress_pos};
    return walk->sink.feed(walk->sink.context, buffer, buffer_pos, &range, 1);
}
