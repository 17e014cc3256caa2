#include "edit/journal.h"

#include "fileio/result.h"

namespace {

// A file that another program cut shorter since the walk read it would
// grow back, with zeros up to the byte, if the write were made: it is not.
int32_t byte_put(BatchCommit* c, int64_t pos, uint8_t value) {
    int64_t size = file_size_now(c->video);
    if (size >= 0 && pos >= size) {
        c->cut_at = size;
        return result_file_cut;
    }
    return file_write_at(c->video, pos, &value, 1) == 1 ? 0 : result_write_error;
}

// The record of the batch goes to the disk, then its bytes to the video.
void batch_commit_job(void* context) {
    BatchCommit* c = static_cast<BatchCommit*>(context);
    const ChangeBatch& b = *c->batch;
    int32_t result = marker_sync(c->marker);
    for (uint32_t i = 0; i < b.count && result == 0; ++i) result = byte_put(c, b.pos[i], b.value[i]);
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
    if (b.count == 0) return 0;
    int32_t result = commit_wait(c);
    if (result == 0) result = marker_flush(c->marker);
    if (result != 0) {
        b.count = 0;
        return result;
    }
    c->written = true;
    c->commit = BatchCommit{c->marker, c->video, &b, 0, -1};
    c->filling = 1 - c->filling;
    c->batches[c->filling].count = 0;
    if (c->committer == nullptr) {
        batch_commit_job(&c->commit);
        return c->commit.result;
    }
    os_worker_post(c->committer, batch_commit_job, &c->commit);
    c->committing = true;
    return 0;
}

}  // namespace

void change_batches_init(ChangeBatches* c, MarkerRec* marker, FileHandleRec* video, OsWorker* committer) {
    c->marker = marker;
    c->video = video;
    c->committer = committer;
    c->batches[0].count = 0;
    c->batches[1].count = 0;
    c->filling = 0;
    c->commit = BatchCommit{marker, video, nullptr, 0, -1};
    c->committing = false;
    c->written = false;
}

int32_t change_add(ChangeBatches* c, int64_t pos, uint8_t found, uint8_t value) {
    uint8_t original = 0;
    return change_add_known(c, pos, marker_listed(c->marker, pos, &original), found, value);
}

int32_t change_add_known(ChangeBatches* c, int64_t pos, bool listed, uint8_t found, uint8_t value) {
    const ChangeBatch& filled = c->batches[c->filling];
    bool spread = filled.count > 0 && pos - filled.pos[0] > batch_span;
    if (filled.count == batch_most || (spread && !commit_busy(c))) {
        int32_t committed = batch_commit(c);
        if (committed != 0) return committed;
    }
    if (!listed) {
        int32_t result = marker_record(c->marker, pos, found);
        if (result != 0) return result;
    }
    ChangeBatch& b = c->batches[c->filling];
    b.pos[b.count] = pos;
    b.value[b.count++] = value;
    return 0;
}

int32_t changes_flush(ChangeBatches* c) {
    int32_t committed = batch_commit(c);
    return committed == 0 ? commit_wait(c) : committed;
}
