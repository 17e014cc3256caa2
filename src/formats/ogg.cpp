// The pages of an Ogg file and its video streams' heads; the look at the
// first link's streams and the walk through every link's.
#include "formats/ogg.h"

#include <cstring>

#include "codecs/header_par.h"
#include "formats/format.h"
#include "formats/reader.h"
#include "formats/site_reader.h"
#include "formats/walk.h"

namespace {

constexpr uint32_t ogg_page_head_bytes = 27;
constexpr uint32_t ogg_crc_at = 22;  // in the page's head, little-endian

struct OggPage {
    int64_t start;
    int64_t body;  // after the segment table
    int64_t end;
    uint8_t type;  // 1 continued packet, 2 first page of a stream, 4 last
    uint32_t serial;
    uint8_t crc[4];
};

enum OggRead : uint8_t { ogg_page_found, ogg_page_none, ogg_page_cut, ogg_page_broken };

// A video stream's head, where a page that opens a stream holds one: the
// site's holder, and its bytes' file position and count.
struct OggVideoHead {
    SiteHolder holder;
    int64_t pos;
    uint32_t length;
    uint32_t width;
    uint32_t height;
    SarRatio par;
    // Its clock: frames in so many seconds, and for Theora the bits of a
    // granule position that count the frames since the last key frame.
    uint32_t rate[2];
    uint8_t shift;
    bool theora;
};

constexpr uint32_t page_head_most = ogg_page_head_bytes + 255;
constexpr uint8_t page_first = 2;  // header type: the stream's first page
// The stream heads, as far as their sites reach.
constexpr uint8_t theora_id[] = {0x80, 't', 'h', 'e', 'o', 'r', 'a'};
constexpr uint8_t vp8_id[] = {'O', 'V', 'P', '8', '0', 1};
constexpr uint32_t theora_shift_at = 40;  // KFGSHIFT, 5 bits after QUAL's 6
constexpr uint32_t vp8_rate_at = 18;
constexpr uint32_t head_bytes_most = theora_shift_at + 2;
constexpr uint32_t ogg_granule_at = 6;
constexpr uint32_t ogg_serial_at = 14;
// The largest page: its head, 255 segments of 255 bytes.
constexpr uint32_t page_bytes_most = page_head_most + 255 * 255;

bool opens_with(const uint8_t* b, uint32_t length, const uint8_t* id, uint32_t id_length) {
    return length >= id_length && std::memcmp(b, id, id_length) == 0;
}

// A page head, as far as it goes: fewer bytes than were asked for are
// the end of the file, which cuts a page whose head opens as one's.
OggRead page_parse(const uint8_t* b, uint32_t available, int64_t pos, int64_t size, OggPage* page) {
    if (available < ogg_page_head_bytes) {
        return std::memcmp(b, "OggS", available < 4 ? available : 4) == 0 ? ogg_page_cut : ogg_page_broken;
    }
    if (!ogg_opens(b, available)) return ogg_page_broken;
    uint32_t segments = b[26];
    if (available < ogg_page_head_bytes + segments) return ogg_page_cut;
    uint32_t body = 0;
    for (uint32_t k = 0; k < segments; ++k) body += b[ogg_page_head_bytes + k];
    page->start = pos;
    page->body = pos + ogg_page_head_bytes + segments;
    page->end = page->body + body;
    page->type = b[5];
    page->serial = le32_at(b + 14);
    std::memcpy(page->crc, b + ogg_crc_at, 4);
    return page->end > size ? ogg_page_cut : ogg_page_found;
}

}  // namespace

bool ogg_opens(const uint8_t* head, uint32_t length) {
    return length >= ogg_page_head_bytes && std::memcmp(head, "OggS", 4) == 0 && head[4] == 0;
}

namespace {

// The page at pos: none at the file's end, cut where it runs past it,
// broken where no page head reads there (*result 0), or a read's failure
// (*result set).
OggRead ogg_page_read(BlockReader* reader, int64_t pos, OggPage* page, int32_t* result) {
    *result = 0;
    if (pos >= reader->size) return ogg_page_none;
    OggRead read = reader_header_read(reader, pos, page_head_most, ogg_page_broken, result,
                                      [&](const uint8_t* b, uint32_t available) {
        return page_parse(b, available, pos, reader->size, page);
    });
    return *result != 0 ? ogg_page_broken : read;
}

// Whether the page opens a Theora or VP8 stream: 0 and *found, or a
// read's failure.
int32_t ogg_video_head_read(BlockReader* reader, const OggPage* page, OggVideoHead* head, bool* found) {
    *found = false;
    if ((page->type & page_first) == 0) return 0;
    int64_t room = page->end - page->body;
    uint32_t want = room < head_bytes_most ? static_cast<uint32_t>(room) : head_bytes_most;
    const uint8_t* b = nullptr;
    uint32_t got = 0;
    int32_t result = reader_fetch_sparse(reader, page->body, want, &b, &got);
    if (result != 0) return result;
    bool theora = opens_with(b, got, theora_id, sizeof theora_id) && got >= head_bytes_most;
    bool vp8 = opens_with(b, got, vp8_id, sizeof vp8_id) && got >= vp8_rate_at + 8;
    if (!theora && !vp8) return 0;
    const uint8_t* rate = b + (theora ? theora_par_from + 8 : vp8_rate_at);
    head->rate[0] = be32_at(rate);
    head->rate[1] = be32_at(rate + 4);
    head->shift = theora ? static_cast<uint8_t>((b[theora_shift_at] & 3) << 3 | b[theora_shift_at + 1] >> 5) : 0;
    head->theora = theora;
    head->holder = theora ? holder_theora_header : holder_vp8_header;
    uint32_t from = theora ? theora_par_from : vp8_par_from;
    head->pos = page->body + from;
    head->length = theora ? theora_par_span : vp8_par_span;
    *found = header_par_read(head->holder, b + from, head->length, &head->width, &head->height, &head->par);
    return 0;
}

struct OggWalk {
    Walk* walk;
    SiteReader sites;
    // The first video's picture, which the target's sample aspect is of.
    bool first_taken;
    uint32_t first_width;
    uint32_t first_height;
};

ForeignVideo foreign_of(const OggVideoHead& head) {
    return {head.holder == holder_theora_header ? foreign_theora : foreign_vp8, {}};
}

// A link's video head: its page's CRC, then its site.
int32_t head_hand(OggWalk* ow, const OggPage& page, const OggVideoHead& head) {
    if (!ow->first_taken) {
        ow->first_taken = true;
        ow->first_width = head.width;
        ow->first_height = head.height;
    }
    const WalkSink& sink = ow->walk->sink;
    if (sink.checksum != nullptr) {
        ChecksumRegion region =
            checksum_region_make(checksum_ogg_crc, page.start + ogg_crc_at, page.crc, page.start, page.end);
        int32_t result = sink.checksum(sink.context, &region);
        if (result != 0) return result;
    }
    SiteReader* r = &ow->sites;
    int32_t result = site_reader_gather(r, 0, head.pos, head.length);
    if (result != 0) return result;
    AspectSite site = site_header_par_make(head.holder, r->bytes, r->pos, r->length, site_reader_range(r, page.start),
                                           ow->first_width, ow->first_height);
    return site_reader_hand(r, &site);
}

// Each page in turn, to the end of the file: `take` gets each whole one,
// and whether it opens a link (a first page after pages that are not).
// A page the end of a file cut short cuts ends them.
template <typename Take>
int32_t pages_each(BlockReader* r, bool* cut, Take take) {
    bool in_heads = false;
    int64_t pos = 0;
    for (;;) {
        OggPage page = {};
        int32_t result = 0;
        OggRead read = ogg_page_read(r, pos, &page, &result);
        if (result != 0 || read == ogg_page_none) return result;
        if (read == ogg_page_cut) {
            *cut = true;
            return 0;
        }
        if (read == ogg_page_broken) return reader_broken(r, pos, result_page_broken);
        bool first = (page.type & page_first) != 0;
        result = take(page, first && !in_heads);
        if (result != 0) return result == result_found ? 0 : result;
        in_heads = first;
        pos = page.end;
    }
}

}  // namespace

// Every link's first video stream: a link's other video streams, which the
// look has counted in the first, are left alone.
int32_t ogg_walk(Walk* w) {
    OggWalk ow = {};
    ow.walk = w;
    site_reader_init(&ow.sites, w, codec_container, result_page_broken);
    bool link_taken = false;
    bool cut = false;
    int32_t result = pages_each(&w->reader, &cut, [&](const OggPage& page, bool link_opens) {
        if (link_opens) link_taken = false;
        OggVideoHead head = {};
        bool found = false;
        int32_t read = link_taken ? 0 : ogg_video_head_read(&w->reader, &page, &head, &found);
        if (read != 0 || !found) return read;
        link_taken = true;
        return head_hand(&ow, page, head);
    });
    if (cut) walk_cut_note(w, 0);
    return result;
}

namespace {

// The frames a granule position counts: Theora's key frame's number and
// the frames after it (from 1, as libtheora counts since 3.2.1), VP8's
// presentation count.
uint64_t granule_frames(const OggVideoHead& head, uint64_t granule) {
    if (!head.theora) return granule >> 32;
    return (granule >> head.shift) + (granule & ((uint64_t{1} << head.shift) - 1));
}

// The playing time of the stream `serial`: its last page in the tail of
// the file that gives a granule position. 0 where none is found (a chained
// file whose last link is another stream's).
double playing_time(BlockReader* r, uint32_t serial, const OggVideoHead& head) {
    if (head.rate[0] == 0 || head.rate[1] == 0) return 0;
    uint32_t want = r->size < page_bytes_most ? static_cast<uint32_t>(r->size) : page_bytes_most;
    const uint8_t* b = nullptr;
    uint32_t got = 0;
    if (reader_fetch_sparse(r, r->size - want, want, &b, &got) != 0 || got != want) return 0;
    for (uint32_t at = want >= ogg_page_head_bytes ? want - ogg_page_head_bytes + 1 : 0; at-- > 0;) {
        const uint8_t* page = b + at;
        if (!ogg_opens(page, want - at) || le32_at(page + ogg_serial_at) != serial) continue;
        uint64_t granule = le64_at(page + ogg_granule_at);
        if (granule == UINT64_MAX) continue;
        return static_cast<double>(granule_frames(head, granule)) * head.rate[1] / head.rate[0];
    }
    return 0;
}

}  // namespace

// The first link's streams: their first pages come before any other.
int32_t ogg_look(BlockReader* reader, ContainerLook* look) {
    *look = ContainerLook{};
    look->codec = codec_container;
    look->name = container_name_text(container_ogg);
    bool cut = false;
    return pages_each(reader, &cut, [&](const OggPage& page, bool) {
        if ((page.type & page_first) == 0) return int32_t{result_found};
        OggVideoHead head = {};
        bool found = false;
        int32_t read = ogg_video_head_read(reader, &page, &head, &found);
        if (read != 0 || !found) return read;
        if (look->found) {
            if (look->others++ == 0) {
                look->other_id = page.serial;
                look->other_codec = foreign_of(head);
            }
            return 0;
        }
        look->found = true;
        look->shown = head.par;
        look->foreign = foreign_of(head);
        look->width = head.width;
        look->height = head.height;
        look->duration_sec = playing_time(reader, page.serial, head);
        return 0;
    });
}
