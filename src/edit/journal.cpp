#include "edit/journal.h"

#include <cstring>

#include "fileio/result.h"

namespace {

// The bytes of the place from its first that changes to its last: [*first,
// *end), empty when none changes.
void place_span(const PlaceEdit* place, uint32_t* first, uint32_t* end) {
    uint32_t a = 0;
    uint32_t b = place->count;
    while (a < b && place->found[a] == place->value[a]) ++a;
    while (b > a && place->found[b - 1] == place->value[b - 1]) --b;
    *first = a;
    *end = b;
}

// The end of the run of positions that goes on from `from`, below `end`.
uint32_t run_end(const PlaceEdit* place, uint32_t from, uint32_t end) {
    uint32_t k = from + 1;
    while (k < end && place->pos[k] == place->pos[k - 1] + 1) ++k;
    return k;
}

uint32_t place_write_count(const PlaceEdit* place, uint32_t first, uint32_t end) {
    uint32_t writes = 0;
    for (uint32_t k = first; k < end; k = run_end(place, k, end)) ++writes;
    return writes;
}

// A file that another program cut shorter since the walk read it would
// grow back, with zeros up to the place, if the write were made: it is not,
// nor any other of the batch's. Its length is looked at before each write,
// since a cut between two writes of one batch would be missed otherwise.
int32_t write_put(BatchCommit* c, const BatchWrite& w) {
    int64_t size = file_size_now(c->video);
    if (size >= 0 && w.place_end > size) {
        c->cut_at = size;
        return result_file_cut;
    }
    return file_write_at(c->video, w.pos, c->batch->value + w.at, w.length) == w.length ? 0 : result_write_error;
}

// The record of the batch goes to the disk, then its places to the video.
void batch_commit_job(void* context) {
    BatchCommit* c = static_cast<BatchCommit*>(context);
    const ChangeBatch& b = *c->batch;
    int32_t result = c->marker != nullptr ? marker_sync(c->marker) : 0;
    for (uint32_t i = 0; i < b.writes && result == 0; ++i) result = write_put(c, b.write[i]);
    // The disk takes the changed pages while the walk reads on, not all of
    // them at the closing sync.
    if (result == 0) file_write_out_start(c->video);
    c->result = result;
}

// What became of the last batch committed, once it is through.
int32_t commit_wait(ChangeBatches* c) {
    if (c->committing) os_worker_wait(c->committer);
    c->committing = false;
    return c->commit.result;
}

// Whether the committer is still writing its batch, without waiting.
bool commit_busy(ChangeBatches* c) {
    if (c->committing && os_worker_poll(c->committer)) c->committing = false;
    return c->committing;
}

// Hands the filled batch to the committer, once the one before it is
// through; its recorded lines reach the marker file first. After a failure
// no batch is committed: its changes stay unmade.
int32_t batch_commit(ChangeBatches* c) {
    ChangeBatch& b = c->batches[c->filling];
    if (b.writes == 0) return 0;
    int32_t result = commit_wait(c);
    if (result == 0 && c->marker != nullptr) result = marker_flush(c->marker);
    if (result != 0) {
        b.bytes = b.writes = 0;
        return result;
    }
    c->written = true;
    c->commit = BatchCommit{c->marker, c->video, &b, 0, -1};
    c->filling = 1 - c->filling;
    c->batches[c->filling].bytes = c->batches[c->filling].writes = 0;
    if (c->committer == nullptr) {
        batch_commit_job(&c->commit);
        return c->commit.result;
    }
    os_worker_post(c->committer, batch_commit_job, &c->commit);
    c->committing = true;
    return 0;
}

// Joins a run of `bytes` at `pos` to the batch's last write, through the
// window's bytes between, where that write ends at the frontier (no write
// queued lies past it) and the run begins a little past it.
bool run_join(ChangeBatches* c, int64_t pos, uint32_t bytes, int64_t place_end, const ReadWindow* window) {
    ChangeBatch* b = &c->batches[c->filling];
    if (window == nullptr || window->bytes == nullptr || b->writes == 0) return false;
    BatchWrite& last = b->write[b->writes - 1];
    int64_t from = last.pos + last.length;
    if (from != c->frontier || pos < from || pos - from > batch_join_most) return false;
    if (from < window->base || pos > window->base + window->length) return false;
    uint32_t gap = static_cast<uint32_t>(pos - from);
    if (b->bytes + gap + bytes > batch_most) return false;
    std::memcpy(b->value + b->bytes, window->bytes + (from - window->base), gap);
    b->bytes += gap;
    last.length += gap;
    if (place_end > last.place_end) last.place_end = place_end;
    return true;
}

// The place's bytes from first to end go into the batch, a write per run
// of positions, or joined to the write before.
void place_queue(ChangeBatches* c, const PlaceEdit* place, uint32_t first, uint32_t end, const ReadWindow* window) {
    ChangeBatch* b = &c->batches[c->filling];
    // A place's bytes need not rise (a box's size field after its child's).
    int64_t place_end = 0;
    for (uint32_t k = first; k < end; ++k) place_end = place->pos[k] + 1 > place_end ? place->pos[k] + 1 : place_end;
    for (uint32_t k = first; k < end;) {
        uint32_t next = run_end(place, k, end);
        int64_t pos = place->pos[k];
        if (!run_join(c, pos, end - k, place_end, window)) b->write[b->writes++] = BatchWrite{pos, b->bytes, 0, place_end};
        b->write[b->writes - 1].length += next - k;
        if (pos + (next - k) > c->frontier) c->frontier = pos + (next - k);
        for (; k < next; ++k) b->value[b->bytes++] = place->value[k];
    }
}

}  // namespace

void place_fill(PlaceEdit* place, const int64_t* pos, const uint8_t* found, const uint8_t* value, uint32_t count) {
    place->count = count;
    for (uint32_t k = 0; k < count; ++k) {
        place->pos[k] = pos[k];
        place->found[k] = found[k];
        place->value[k] = value[k];
        place->listed[k] = false;
    }
}

void change_batches_init(ChangeBatches* c, MarkerRec* marker, FileHandleRec* video, OsWorker* committer) {
    c->marker = marker;
    c->video = video;
    c->committer = committer;
    c->batches[0].bytes = c->batches[0].writes = 0;
    c->batches[1].bytes = c->batches[1].writes = 0;
    c->filling = 0;
    c->commit = BatchCommit{marker, video, nullptr, 0, -1};
    c->committing = false;
    c->written = false;
    c->frontier = 0;
}

int32_t place_add(ChangeBatches* c, const PlaceEdit* place, const ReadWindow* window) {
    uint32_t first = 0;
    uint32_t end = 0;
    place_span(place, &first, &end);
    if (first == end) return 0;
    uint32_t writes = place_write_count(place, first, end);
    const ChangeBatch& filled = c->batches[c->filling];
    bool full = filled.bytes + (end - first) > batch_most || filled.writes + writes > batch_writes_most;
    bool spread = filled.writes > 0 && place->pos[first] - filled.write[0].pos > batch_span;
    if (full || (spread && !commit_busy(c))) {
        int32_t committed = batch_commit(c);
        if (committed != 0) return committed;
    }
    for (uint32_t k = first; k < end && c->marker != nullptr; ++k) {
        if (place->found[k] == place->value[k] || place->listed[k]) continue;
        int32_t result = marker_record(c->marker, place->pos[k], place->found[k]);
        if (result != 0) return result;
    }
    place_queue(c, place, first, end, window);
    return 0;
}

int32_t changes_flush(ChangeBatches* c) {
    int32_t committed = batch_commit(c);
    return committed == 0 ? commit_wait(c) : committed;
}
