#include "edit/marker.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "console/messages.h"
#include "edit/marker_name.h"
#include "fileio/result.h"

namespace {

int64_t entry_position(uint64_t entry) {
    return static_cast<int64_t>(entry >> 8);
}

struct EntryFill {
    uint64_t* entries;
    size_t count;
};

void entry_count(void* context, uint64_t) {
    ++static_cast<EntryFill*>(context)->count;
}

void entry_store(void* context, uint64_t entry) {
    EntryFill* fill = static_cast<EntryFill*>(context);
    fill->entries[fill->count++] = entry;
}

// Sorted by position; a position listed twice is kept once when both lines
// agree, and makes the file unreadable when they do not.
bool entries_settle(MarkerRec* marker) {
    std::sort(marker->entries, marker->entries + marker->count);
    size_t kept = 0;
    for (size_t i = 0; i < marker->count; ++i) {
        uint64_t entry = marker->entries[i];
        if (kept > 0 && entry_position(marker->entries[kept - 1]) == entry_position(entry)) {
            if (marker->entries[kept - 1] != entry) return false;
            continue;
        }
        marker->entries[kept++] = entry;
    }
    marker->count = kept;
    return true;
}

void miss_note(MarkerMisses* misses, int64_t position) {
    if (misses->count < marker_misses_shown) misses->first[misses->count] = position;
    ++misses->count;
}

int32_t marker_read(MarkerRec* marker, FileHandleRec* file) {
    EntryFill fill = {nullptr, 0};
    if (marker_parse(file, &marker->head, entry_count, &fill) != 0) return result_marker_unreadable;
    fill.entries = new (std::nothrow) uint64_t[fill.count > 0 ? fill.count : 1];
    if (fill.entries == nullptr) return result_block_buffer_error;
    marker->entries = fill.entries;
    size_t expected = fill.count;
    fill.count = 0;
    file_seek(file, 0, file_begin);
    if (marker_parse(file, &marker->head, entry_store, &fill) != 0 || fill.count != expected) {
        return result_marker_unreadable;  // it changed between the two readings
    }
    marker->count = fill.count;
    if (!entries_settle(marker)) return result_marker_unreadable;
    marker->reached = new (std::nothrow) uint8_t[marker->count > 0 ? marker->count : 1]();
    return marker->reached != nullptr ? 0 : result_block_buffer_error;
}

// The first lines of a marker file that begins now: the byte, the video's
// name and size, its last-write time, and the aspect it shows.
int32_t head_write(MarkerRec* marker, uint8_t first_byte, SarRatio shown, const FileHandleRec* video,
                   const char* video_path) {
    MarkerHead& head = marker->head;
    head = MarkerHead{};
    marker->grown = false;
    head.torn_at = -1;
    head.first_known = true;
    head.first_byte = first_byte;
    MarkerOwner& owner = head.owner;
    owner.known = true;
    owner.size = video->size;
    std::string name = marker_owner_name(video_path);
    std::strncpy(owner.name, name.c_str(), sizeof owner.name - 1);
    owner.time_known = os_last_write_get(video->handle, &owner.written);
    text_file_print(&marker->text, fmt_marker_first, first_byte);
    text_file_print(&marker->text, fmt_marker_owner, static_cast<long long>(owner.size), owner.name);
    if (owner.time_known) {
        text_file_print(&marker->text, fmt_marker_time, static_cast<long long>(owner.written.seconds),
                        static_cast<long long>(owner.written.nanoseconds));
    }
    if (shown.width != 0 && shown.height != 0) {
        head.shown = shown;
        text_file_print(&marker->text, fmt_marker_shown, static_cast<unsigned>(shown.width),
                        static_cast<unsigned>(shown.height));
    }
    return text_file_flush(&marker->text) == 0 ? 0 : result_marker_write_error;
}

// The video's size and last-write time now, which stand for it from here
// on: a later run finds the marker fits it as it is, and an undo or a run
// that finishes this one puts that time back.
int grown_write(MarkerRec* marker, const FileHandleRec* video) {
    MarkerOwner& owner = marker->head.owner;
    marker->grown = false;
    owner.size = video->size;
    owner.time_known = os_last_write_get(video->handle, &owner.written);
    long long size = static_cast<long long>(owner.size);
    if (!owner.time_known) return text_file_print(&marker->text, fmt_marker_grown, size);
    return text_file_print(&marker->text, fmt_marker_grown_time, size, static_cast<long long>(owner.written.seconds),
                           static_cast<long long>(owner.written.nanoseconds));
}

// The file cut to `length`, and the text appended from there.
int32_t marker_cut(MarkerRec* marker, int64_t length) {
    FileHandleRec file = marker->text.file;
    if (text_file_flush(&marker->text) != 0 || file_truncate(&file, length) != 0) {
        return result_marker_write_error;
    }
    text_file_attach(&marker->text, &file);
    return 0;
}

}  // namespace

void marker_init(MarkerRec* marker) {
    *marker = MarkerRec{};
    marker->text = text_file_closed;
    marker->head.torn_at = -1;
}

int32_t marker_create(MarkerRec* marker, const char* name, uint8_t first_byte, SarRatio shown,
                      const FileHandleRec* video, const char* video_path) {
    if (text_file_create(&marker->text, name) != 0) return result_side_file_error;
    marker->name = name;
    marker->created = true;
    if (head_write(marker, first_byte, shown, video, video_path) == 0) return 0;
    // Nothing is recorded and nothing changed: leave no marker file behind
    // that would keep a later run from recording.
    text_file_close(&marker->text);
    file_remove(name);
    return result_marker_write_error;
}

int32_t marker_load(MarkerRec* marker, const char* name, const FileHandleRec* video) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    int opened = file_open_unlinked(&file, name);
    if (opened == file_open_linked) return result_marker_linked;
    if (opened != file_opened) return result_side_file_error;
    // A video named like its own marker file must not be read as one, let
    // alone appended to.
    int32_t result = file_same(&file, video) ? result_side_file_error : marker_read(marker, &file);
    if (result != 0) {
        file_close(&file);
        return result;
    }
    text_file_attach(&marker->text, &file);
    marker->name = name;
    return 0;
}

int32_t marker_mend(MarkerRec* marker, uint8_t first_byte, SarRatio shown, const FileHandleRec* video,
                    const char* video_path) {
    if (marker->head.torn_at < 0) return 0;
    if (marker->count > 0) return marker_cut(marker, marker->head.torn_at);
    // Cut before its first batch was synced: nothing it records was changed.
    int32_t result = marker_cut(marker, 0);
    return result == 0 ? head_write(marker, first_byte, shown, video, video_path) : result;
}

MarkerFit marker_fit(const MarkerRec* marker, const FileHandleRec* video, const char* video_path,
                     uint8_t reference_byte) {
    const MarkerHead& head = marker->head;
    // One cut before it recorded anything fits any video.
    if (!head.first_known) return marker_fits;
    // Markers made before they named their video are judged by the frame
    // rate alone.
    if (!marker_names_video(&head, video_path)) return marker_other_name;
    if ((head.first_byte & 0x0F) != (reference_byte & 0x0F)) return marker_other_rate;
    if (!head.owner.known || head.owner.size == video->size) return marker_fits;
    return head.owner.size < video->size ? marker_grown : marker_other_size;
}

int32_t marker_target_note(MarkerRec* marker, SiteAspect target, const FileHandleRec* video) {
    if (marker->target_noted) return 0;
    marker->target_noted = true;
    if (marker->grown && grown_write(marker, video) != 0) return result_marker_write_error;
    const std::vector<SiteAspect>& targets = marker->head.targets;
    const SiteAspect* last = targets.empty() ? nullptr : &targets.back();
    if (last != nullptr && last->code == target.code && last->sar.width == target.sar.width &&
        last->sar.height == target.sar.height) {
        return 0;
    }
    marker->head.targets.push_back(target);
    int failed = text_file_print(&marker->text, fmt_marker_target, target.code, target.sar.width, target.sar.height);
    return failed == 0 ? 0 : result_marker_write_error;
}

int32_t marker_record(MarkerRec* marker, int64_t position, uint8_t original) {
    int failed = 0;
    if (!marker->whole_bytes && (original >> 4) == (marker->head.first_byte >> 4)) {
        failed = text_file_print(&marker->text, fmt_marker_position, static_cast<long long>(position));
    } else {
        failed = text_file_print(&marker->text, fmt_marker_position_byte,
                                 static_cast<long long>(position), original);
    }
    return failed == 0 ? 0 : result_marker_write_error;
}

int32_t marker_flush(MarkerRec* marker) {
    return text_file_flush(&marker->text) == 0 ? 0 : result_marker_write_error;
}

int32_t marker_sync(MarkerRec* marker) {
    // On the disk before the bytes change: a run cut off by a crash or a
    // power cut must leave no change that the record does not hold.
    if (file_sync(&marker->text.file) != 0) return result_marker_write_error;
    if (marker->created && !marker->folder_synced) {
        if (!os_folder_sync(marker->name.c_str())) return result_marker_write_error;
        marker->folder_synced = true;
    }
    return 0;
}

namespace {

// The entry of the position, or none: its index, or the count.
size_t entry_find(const MarkerRec* marker, int64_t position) {
    uint64_t key = static_cast<uint64_t>(position) << 8;
    const uint64_t* begin = marker->entries;
    const uint64_t* end = begin + marker->count;
    const uint64_t* at = std::lower_bound(begin, end, key);
    return at == end || entry_position(*at) != position ? marker->count : static_cast<size_t>(at - begin);
}

}  // namespace

bool marker_listed(MarkerRec* marker, int64_t position, uint8_t* original) {
    size_t at = entry_find(marker, position);
    if (at == marker->count) return false;
    marker->reached[at] = 1;
    *original = static_cast<uint8_t>(marker->entries[at]);
    return true;
}

bool marker_lookup(const MarkerRec* marker, int64_t position, uint8_t* original) {
    size_t at = entry_find(marker, position);
    if (at == marker->count) return false;
    *original = static_cast<uint8_t>(marker->entries[at]);
    return true;
}

void marker_altered(MarkerRec* marker, int64_t position) {
    miss_note(&marker->altered, position);
}

void marker_misses_finish(MarkerRec* marker) {
    for (size_t i = 0; i < marker->count; ++i) {
        if (marker->reached[i] == 0) miss_note(&marker->missed, entry_position(marker->entries[i]));
    }
}

int marker_release(MarkerRec* marker) {
    delete[] marker->entries;
    delete[] marker->reached;
    marker->entries = nullptr;
    marker->reached = nullptr;
    return text_file_close(&marker->text);
}
