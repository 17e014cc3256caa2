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

IfoVideo video_of(uint8_t attributes) {
    uint8_t aspect = attributes & aspect_bits;
    return {attributes, (attributes & coding_bits) == 0x40, aspect == 0 ? 2u : aspect == aspect_bits ? 3u : 0u};
}

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
    std::string name = ifo_marker_path(path);
    if (file_exists(name.c_str()) != 0) {
        int32_t result = marker_create(marker, name.c_str(), original, &ifo->file, path);
        if (result == 0) result = marker_record(marker, ifo_title_video_attributes, original);
        return result == 0 ? marker_commit(marker) : result;
    }
    int32_t result = marker_load(marker, name.c_str(), &ifo->file);
    // The first line is the byte as it was: the only reference it has.
    if (result == 0 && marker_fit(marker, &ifo->file, path, marker->head.first_byte) != marker_fits) {
        result = rewrite_marker_foreign;
    }
    if (result == 0) result = marker_mend(marker, original, &ifo->file, path);
    if (result != 0) return result;
    uint8_t recorded = 0;
    if (marker_listed(marker, ifo_title_video_attributes, &recorded)) return 0;
    result = marker_record(marker, ifo_title_video_attributes, original);
    return result == 0 ? marker_commit(marker) : result;
}

int32_t byte_write(IfoFile* ifo, uint8_t value) {
    return file_write_at(&ifo->file, ifo_title_video_attributes, &value, 1) == 1 ? 0
                                                                                : rewrite_write_error;
}

// Whether the byte is one the tool writes in place of `original`: only
// then is `original` put back, so that another disc's IFO copied over this
// one keeps its own.
bool written_by_tool(uint8_t found, uint8_t original) {
    return found == ifo_attributes_for(original, 2) || found == ifo_attributes_for(original, 3);
}

// The recorded byte and time of the IFO's marker file, once it is known to
// be this file's: 0, restore_partial when the byte holds what the tool
// never wrote, or a negative result.
int32_t recorded_read(const std::string& name, const IfoFile* ifo, const char* path,
                      uint8_t attributes, uint8_t* original, MarkerOwner* owner) {
    MarkerRec marker;
    marker_init(&marker);
    int32_t result = marker_load(&marker, name.c_str(), &ifo->file);
    if (result == 0 && !marker.head.first_known) result = rewrite_marker_unreadable;
    if (result == 0 && marker_fit(&marker, &ifo->file, path, marker.head.first_byte) != marker_fits) {
        result = rewrite_marker_foreign;
    } else if (result == 0 && !marker_listed(&marker, ifo_title_video_attributes, original)) {
        result = rewrite_marker_unreadable;  // an IFO's marker lists that byte and no other
    } else if (result == 0 && attributes != *original && !written_by_tool(attributes, *original)) {
        marker_altered(&marker, ifo_title_video_attributes);
        marker_misses_print(&marker);
        result = restore_partial;
    }
    *owner = marker.head.owner;
    marker_release(&marker);
    return result;
}

}  // namespace

std::string ifo_marker_path(const char* path) {
    return std::string(path) + marker_extension;
}

int32_t ifo_video_read(const char* path, IfoVideo* video) {
    IfoFile ifo;
    int32_t result = ifo_open(&ifo, path, generic_read, &video->attributes);
    if (result != 0) return result;
    *video = video_of(video->attributes);
    return ifo_close(&ifo, false, 0);
}

uint32_t ifo_original_code(const char* path) {
    std::string name = ifo_marker_path(path);
    IfoFile ifo;
    uint8_t attributes = 0;
    if (file_exists(name.c_str()) != 0 || ifo_open(&ifo, path, generic_read, &attributes) != 0) return 0;
    MarkerRec marker;
    marker_init(&marker);
    bool fits = marker_load(&marker, name.c_str(), &ifo.file) == 0 && marker.head.first_known &&
                marker_fit(&marker, &ifo.file, path, marker.head.first_byte) == marker_fits;
    uint32_t code = fits ? video_of(marker.head.first_byte).aspect : 0;
    marker_release(&marker);
    ifo_close(&ifo, false, 0);
    return code;
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
    // A run cut before this one finished keeps the time it recorded.
    if (marker.head.owner.time_known) ifo.written = marker.head.owner.written;
    if (marker_release(&marker) != 0 && result == 0) result = rewrite_marker_write_error;
    if (result != 0) return ifo_close(&ifo, false, result);
    result = byte_write(&ifo, wanted);
    if (result == 0) result = created ? rewrite_done_marker_created : rewrite_done;
    return ifo_close(&ifo, true, result);
}

int32_t ifo_aspect_restore(const char* path) {
    std::string name = ifo_marker_path(path);
    if (file_exists(name.c_str()) != 0) return rewrite_marker_missing;
    IfoFile ifo;
    uint8_t attributes = 0;
    int32_t result = ifo_open(&ifo, path, generic_read | generic_write, &attributes);
    if (result != 0) return result;
    uint8_t original = 0;
    MarkerOwner owner = {};
    result = recorded_read(name, &ifo, path, attributes, &original, &owner);
    if (result != 0) return ifo_close(&ifo, false, result);
    if (owner.time_known) {
        ifo.written = owner.written;
        ifo.time_known = true;
    }
    bool change = original != attributes;
    result = ifo_close(&ifo, change, change ? byte_write(&ifo, original) : 0);
    if (result != 0) return result;
    return file_remove(name.c_str()) == 0 ? rewrite_done_marker_created : rewrite_marker_remove_error;
}
