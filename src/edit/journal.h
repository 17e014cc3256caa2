// The journal of a rewrite: its changes on their way to the video, gathered
// in batches, each batch's record made durable before any of its bytes
// change, and each batch written by a committer thread while the walk fills
// the next.
#pragma once
#include <cstdint>

#include "fileio/fileio.h"
#include "platform/platform.h"
#include "edit/marker.h"

// A batch holds at most this many changes; it is handed over once it holds
// changes spread over this much of the file (a fraction of a second's
// reading) or more and the committer is free, and always at the end.
inline constexpr uint32_t batch_most = 4096;
inline constexpr int64_t batch_span = 4 << 20;

struct ChangeBatch {
    uint32_t count;
    int64_t pos[batch_most];
    uint8_t value[batch_most];
};

// A batch that the committer makes durable and writes.
struct BatchCommit {
    MarkerRec* marker;
    FileHandleRec* video;
    const ChangeBatch* batch;
    int32_t result;
    int64_t cut_at;  // result_file_cut: the file's length when a write was due past it
};

struct ChangeBatches {
    MarkerRec* marker;
    FileHandleRec* video;
    OsWorker* committer;     // null: batches are committed on the walk's thread
    ChangeBatch batches[2];  // one filled by the walk, one being committed
    int filling;             // the batch whose changes are recorded, not yet durable
    BatchCommit commit;
    bool committing;  // the committer has a batch
    bool written;     // a batch went to the video
};

void change_batches_init(ChangeBatches* c, MarkerRec* marker, FileHandleRec* video, OsWorker* committer);

// Records a byte about to change (unless the marker file lists its position
// already, with the byte it held before its first change) and queues the
// change: 0, or the failure of the record or of an earlier batch.
int32_t change_add(ChangeBatches* c, int64_t pos, uint8_t found, uint8_t value);
// The same for a byte whose listing the caller knows (a checksum's, which
// comes after bytes further on).
int32_t change_add_known(ChangeBatches* c, int64_t pos, bool listed, uint8_t found, uint8_t value);

// Commits what is queued and waits for it: 0, or the first failure.
int32_t changes_flush(ChangeBatches* c);
