// The journal of a rewrite: its changes on their way to the video, gathered
// in batches, each batch's record made durable before any of its bytes
// change, and each batch written by a committer thread while the walk fills
// the next. A change is made a place at a time (an aspect code, a parameter
// set's changed bytes, a pixel aspect pair, a checksum): a place goes to the
// file in one positioned write, never in two batches, so that a kill or a
// power cut leaves it either as it was or as it became, or, at the worst,
// cut inside that one write. Places a few KiB apart or less share a write,
// the bytes between them written as the walk read them.
#pragma once
#include <cstdint>

#include "codecs/sps.h"
#include "fileio/fileio.h"
#include "platform/platform.h"
#include "edit/marker.h"

// One place's bytes on their way to the file, each with its position, what
// it holds and what it is to hold, and whether the marker file lists it
// already. Positions rise. Only the bytes from the first that changes to the
// last are written, those between that keep their value with it, so that
// the place goes in one write; where its positions do not run on (a
// parameter set split across packets, display elements with the size
// fields of the elements around them) it goes in one write per run of them.
inline constexpr uint32_t place_bytes_most = sps_bytes_most;
struct PlaceEdit {
    uint32_t count;
    int64_t pos[place_bytes_most];
    uint8_t found[place_bytes_most];
    uint8_t value[place_bytes_most];
    bool listed[place_bytes_most];
};

// The place's bytes: each's position, what it holds and what it is to
// hold, none listed yet.
void place_fill(PlaceEdit* place, const int64_t* pos, const uint8_t* found, const uint8_t* value, uint32_t count);

// A batch holds at most this many bytes, in at most so many writes; it is
// handed over once it holds changes spread over this much of the file (a
// fraction of a second's reading) or more and the committer is free, and
// always at the end. The largest place fits in an empty batch; the bytes
// that join a place to the write before it are taken only where the batch
// has room for them and the place.
inline constexpr uint32_t batch_join_most = 4096;
inline constexpr uint32_t batch_most = 64 * place_bytes_most;
inline constexpr uint32_t batch_writes_most = place_bytes_most;
inline constexpr int64_t batch_span = 4 << 20;

// Bytes the walk read, as the file held them then: a place this far or
// less past the last byte the run is to write joins that write, with the
// bytes between from here, where it holds them all. Past that last byte
// no write of the run has changed the file, so they are still the file's.
struct ReadWindow {
    const uint8_t* bytes;
    int64_t base;  // the file position of bytes[0]
    uint32_t length;
};

// One positioned write, and the end of the place it belongs to: no part of
// a place is written where the file no longer holds all of it.
struct BatchWrite {
    int64_t pos;
    uint32_t at;  // of its first byte in the batch's values
    uint32_t length;
    int64_t place_end;
};

struct ChangeBatch {
    uint32_t bytes;
    uint32_t writes;
    uint8_t value[batch_most];
    BatchWrite write[batch_writes_most];
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
    MarkerRec* marker;  // null: an undo, which records nothing
    FileHandleRec* video;
    OsWorker* committer;     // null: batches are committed on the walk's thread
    ChangeBatch batches[2];  // one filled by the walk, one being committed
    int filling;             // the batch whose changes are recorded, not yet durable
    BatchCommit commit;
    bool committing;   // the committer has a batch
    bool written;      // a batch went to the video
    int64_t frontier;  // past the last byte of every write queued so far
};

void change_batches_init(ChangeBatches* c, MarkerRec* marker, FileHandleRec* video, OsWorker* committer);

// Records each byte of the place about to change that the marker file does
// not list yet, with the byte it holds (an undo's none), and queues the place's writes,
// joined to the write before where the window holds the bytes between: 0,
// or the failure of the record or of an earlier batch.
int32_t place_add(ChangeBatches* c, const PlaceEdit* place, const ReadWindow* window);

// Commits what is queued and waits for it: 0, or the first failure.
int32_t changes_flush(ChangeBatches* c);
