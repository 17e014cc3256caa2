#include "formats/dvd_ifo.h"

#include <cstdio>
#include <cstring>

#include "codecs/codec_table.h"
#include "codecs/dvd_attributes.h"
#include "fileio/result.h"
#include "formats/walk.h"

namespace {

constexpr char vts_identifier[] = "DVDVIDEO-VTS";

}  // namespace

// A title set's IFO before a byte of it is touched: its identifier, and the
// attributes byte within the head.
bool dvd_ifo_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    if (length < ifo_head_length || std::memcmp(head, vts_identifier, sizeof vts_identifier - 1) != 0) {
        return false;
    }
    *layout = {stream_dvd_ifo, {0, 0}, codec_dvd_attributes};
    return true;
}

// The attributes byte is the whole payload.
int32_t dvd_ifo_walk(Walk* w) {
    const uint8_t* bytes = nullptr;
    uint32_t available = 0;
    int32_t result = reader_fetch(&w->reader, ifo_title_video_attributes, 1, &bytes, &available);
    if (result != 0 || available == 0) return result;
    return walk_feed_one(w, bytes, ifo_title_video_attributes, 0, 1, ifo_title_video_attributes, w->reader.size);
}

// The attributes byte, the one site, read from the head.
int32_t dvd_ifo_head_site(FileHandleRec* file, StreamLayout* layout, SiteReading* reading, uint8_t* byte) {
    uint8_t head[ifo_head_length] = {};
    uint32_t got = file_read_at(file, 0, head, sizeof head);
    int32_t refused = !dvd_ifo_probe(head, sizeof head, layout) ? result_not_dvd_ifo
                      : got < sizeof head                       ? result_read_error
                                                                : 0;
    if (refused != 0) return refused;
    *byte = head[ifo_title_video_attributes];
    AspectSite site = site_dvd_attributes_make(head + ifo_title_video_attributes, nullptr, nullptr);
    site_read(&site, site.bytes, reading);
    return 0;
}

std::string title_set_file_name(unsigned number, unsigned k, const char* extension) {
    char name[16];
    std::snprintf(name, sizeof name, "VTS_%02u_%u.%s", number, k, extension);
    return name;
}
