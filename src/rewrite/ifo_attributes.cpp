#include "rewrite/ifo_attributes.h"

#include <cstring>

#include "fileio/fileio.h"
#include "rewrite/engine.h"
#include "rewrite/marker.h"
#include "rewrite/side_files.h"

namespace {

constexpr char vts_identifier[] = "DVDVIDEO-VTS";
constexpr uint8_t aspect_bits = 0x0C;
constexpr uint8_t display_bits = 0x03;  // automatic pan-scan, letterbox disallowed
constexpr uint8_t coding_bits = 0xC0;

// The open IFO and the time to put back when it closes.
struct IfoFile {
    FileHandleRec file;
    OsFileTime written;
    bool time_known;
};

int32_t byte_at(FileHandleRec* file, int64_t at, uint8_t* value) {
    file_seek(file, at, file_begin);
    return file_read(file, value, 1) == 1 ? 0 : rewrite_read_error;
}

// Opens the file and checks that it is a title set's IFO before a byte of
// it is touched; *attributes gets the byte at 0x200.
int32_t ifo_open(IfoFile* ifo, const char* path, uint32_t access, uint8_t* attributes) {
    ifo->file = {os_invalid_handle, 0, 0};
    int opened = file_open(&ifo->file, path, access);
    if (opened == file_open_refused) return rewrite_open_refused;
    if (opened != file_opened) return rewrite_open_error;
    ifo->time_known = os_last_write_get(ifo->file.handle, &ifo->written);
    char identifier[sizeof vts_identifier - 1] = {};
    file_seek(&ifo->file, 0, file_begin);
    bool named = file_read(&ifo->file, identifier, sizeof identifier) == sizeof identifier &&
                 std::memcmp(identifier, vts_identifier, sizeof identifier) == 0;
    int32_t result = named ? byte_at(&ifo->file, ifo_title_video_attributes, attributes)
                           : rewrite_not_dvd_ifo;
    if (result != 0) file_close(&ifo->file);
    return result;
}

// A write keeps the file's last-write time, as a video's does.
int32_t ifo_close(IfoFile* ifo, bool written, int32_t result) {
    if (written && file_sync(&ifo->file) != 0 && result >= 0) result = rewrite_write_error;
    if (written && ifo->time_known) os_last_write_set(ifo->file.handle, &ifo->written);
    if (file_close(&ifo->file) == 0 && result >= 0) result = rewrite_close_error;
    return result;
}

// The marker file for the change, made or taken up: the byte's position
// listed and on the disk before the byte changes.
int32_t marker_ready(MarkerRec* marker, const IfoFile* ifo, const char* path, uint8_t original) {
    char name[side_path_capacity] = {};
    if (ifo_marker_name(path, name) != 0) return rewrite_marker_name_error;
    if (file_exists(name) != 0) {
        int32_t result = marker_create(marker, name, original, &ifo->file, path);
        if (result == 0) result = marker_record(marker, ifo_title_video_attributes, original);
        return result == 0 ? marker_commit(marker) : result;
    }
    int32_t result = marker_load(marker, name, &ifo->file);
    if (result != 0) return result;
    // The first line is the byte as it was: the only reference it has.
    MarkerFit fit = marker_fit(marker, &ifo->file, path, marker->first_byte);
    if (fit != marker_fits) return rewrite_marker_foreign;
    uint8_t recorded = 0;
    if (marker_listed(marker, ifo_title_video_attributes, &recorded)) return 0;
    result = marker_record(marker, ifo_title_video_attributes, original);
    return result == 0 ? marker_commit(marker) : result;
}

int32_t byte_write(IfoFile* ifo, uint8_t value) {
    return file_write_at(&ifo->file, ifo_title_video_attributes, &value, 1) == 1 ? 0
                                                                                : rewrite_write_error;
}

}  // namespace

int ifo_marker_name(const char* path, char* out) {
    size_t length = std::strlen(path);
    if (length + sizeof marker_extension > side_path_capacity) return 1;
    std::memcpy(out, path, length);
    std::memcpy(out + length, marker_extension, sizeof marker_extension);
    return 0;
}

int32_t ifo_video_read(const char* path, IfoVideo* video) {
    IfoFile ifo;
    int32_t result = ifo_open(&ifo, path, generic_read, &video->attributes);
    if (result != 0) return result;
    video->mpeg2 = (video->attributes & coding_bits) == 0x40;
    uint8_t aspect = video->attributes & aspect_bits;
    video->aspect = aspect == 0 ? 2 : aspect == aspect_bits ? 3 : 0;
    return ifo_close(&ifo, false, 0);
}

uint8_t ifo_attributes_for(uint8_t attributes, uint32_t target) {
    uint8_t kept = attributes & static_cast<uint8_t>(~(aspect_bits | display_bits));
    return target == 3 ? kept | aspect_bits : kept | display_bits;
}

int32_t ifo_aspect_set(const char* path, uint32_t target) {
    IfoFile ifo;
    uint8_t attributes = 0;
    int32_t result = ifo_open(&ifo, path, generic_read | generic_write, &attributes);
    if (result != 0) return result;
    uint8_t wanted = ifo_attributes_for(attributes, target);
    if (wanted == attributes) return ifo_close(&ifo, false, ifo_already);
    MarkerRec marker;
    marker_init(&marker);
    result = marker_ready(&marker, &ifo, path, attributes);
    bool created = marker.created;
    if (marker_release(&marker) != 0 && result == 0) result = rewrite_marker_write_error;
    if (result != 0) return ifo_close(&ifo, false, result);
    result = byte_write(&ifo, wanted);
    if (result == 0) result = created ? rewrite_done_marker_created : rewrite_done;
    return ifo_close(&ifo, true, result);
}

int32_t ifo_aspect_restore(const char* path) {
    char name[side_path_capacity] = {};
    if (ifo_marker_name(path, name) != 0) return rewrite_marker_name_error;
    if (file_exists(name) != 0) return rewrite_marker_missing;
    IfoFile ifo;
    uint8_t attributes = 0;
    int32_t result = ifo_open(&ifo, path, generic_read | generic_write, &attributes);
    if (result != 0) return result;
    MarkerRec marker;
    marker_init(&marker);
    result = marker_load(&marker, name, &ifo.file);
    uint8_t original = 0;
    if (result == 0 && marker_fit(&marker, &ifo.file, path, marker.first_byte) != marker_fits) {
        result = rewrite_marker_foreign;
    } else if (result == 0 && !marker_listed(&marker, ifo_title_video_attributes, &original)) {
        result = rewrite_marker_unreadable;  // an IFO's marker lists that byte and no other
    }
    marker_release(&marker);
    if (result != 0) return ifo_close(&ifo, false, result);
    bool change = original != attributes;
    result = ifo_close(&ifo, change, change ? byte_write(&ifo, original) : 0);
    if (result != 0) return result;
    return file_remove(name) == 0 ? rewrite_done_marker_created : rewrite_marker_remove_error;
}
