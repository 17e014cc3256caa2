// The walk of an ISO media file: the places its movie records the video's
// shape, and the parameter sets or sequence headers at the head of each
// video sample, in the order of their file positions. Only the boxes and
// the heads of the samples are read, never the pictures.
#include <algorithm>
#include <memory>
#include <vector>

#include "codecs/display_fields.h"
#include "codecs/nal_records.h"
#include "codecs/sps.h"
#include "fileio/result.h"
#include "formats/iso_samples.h"
#include "formats/walk.h"

namespace {

// What of an MPEG-2 sample's head is scanned for a sequence header, which
// opens the samples that have one.
constexpr uint32_t mpeg_head_bytes = 256;

// A place of the movie's, handed over when the walk reaches its position.
struct MoviePlace {
    int64_t pos;
    SiteKind kind;  // the decoder configuration's are its parameter sets
    SiteHolder holder;
};

struct IsoWalk {
    Walk* walk;
    IsoMovie movie;
    std::vector<IsoSample> samples;
    MoviePlace places[5];
    uint32_t place_count;
    uint32_t next_place;
    PayloadRange range;  // where the site being handed lies, for the progress
    uint8_t bytes[sps_bytes_most];
    int64_t pos[sps_bytes_most];
};

bool place_before(const MoviePlace& a, const MoviePlace& b) {
    return a.pos < b.pos;
}

void places_collect(IsoWalk* iw) {
    const IsoTrack& v = iw->movie.video;
    const MoviePlace all[] = {
        {v.track_header, site_display_size, holder_track_header},
        {v.pixel_aspect, site_pixel_aspect, holder_pixel_aspect},
        {v.clean_aperture, site_display_size, holder_clean_aperture},
        {v.production_aperture, site_display_size, holder_production_aperture},
        {v.config, site_parameter_set, holder_decoder_config},
    };
    // Every place lies in the movie box; anything else is no place of it.
    const IsoBox& movie = iw->movie.movie;
    for (const MoviePlace& p : all) {
        if (p.pos >= movie.body && p.pos < movie.end) iw->places[iw->place_count++] = p;
    }
    std::sort(iw->places, iw->places + iw->place_count, place_before);
}

// Copies `length` bytes at pos into the walk's site bytes, with their
// positions.
int32_t site_bytes_load(IsoWalk* iw, int64_t pos, uint32_t length) {
    for (uint32_t done = 0; done < length;) {
        const uint8_t* bytes = nullptr;
        uint32_t got = 0;
        uint32_t want = length - done < reader_fetch_most ? length - done : reader_fetch_most;
        int32_t result = reader_fetch_sparse(&iw->walk->reader, pos + done, want, &bytes, &got);
        if (result != 0) return result;
        if (got != want) return result_box_broken;
        for (uint32_t k = 0; k < got; ++k) {
            iw->bytes[done + k] = bytes[k];
            iw->pos[done + k] = pos + done + k;
        }
        done += got;
    }
    return 0;
}

// A sink that takes no sites (the search for the first sequence header)
// passes them over.
int32_t site_hand(IsoWalk* iw, AspectSite* site, int64_t unit_pos) {
    if (iw->walk->sink.site == nullptr) return 0;
    iw->range = {0, site->length, 0, unit_pos, unit_pos};
    site->bytes = iw->bytes;
    site->pos = iw->pos;
    site->range = &iw->range;
    site->codec = iw->movie.video.codec;
    site->again_from = -1;
    return iw->walk->sink.site(iw->walk->sink.context, site);
}

// A parameter set of `length` bytes at pos, in a sample or the decoder
// configuration.
int32_t parameter_set_hand(IsoWalk* iw, int64_t pos, uint32_t length, SiteHolder holder, int64_t unit_pos) {
    uint32_t kept = length < sps_bytes_most ? length : sps_bytes_most;
    int32_t result = site_bytes_load(iw, pos, kept);
    if (result != 0) return result;
    AspectSite site = {};
    site.kind = site_parameter_set;
    site.holder = holder;
    site.length = kept;
    site.cut = length > kept;
    return site_hand(iw, &site, unit_pos);
}

// Bytes that may hold a sequence header, handed to the payload's scanner
// as a run of their own.
int32_t mpeg_bytes_feed(IsoWalk* iw, int64_t pos, uint32_t length) {
    const uint8_t* bytes = nullptr;
    uint32_t got = 0;
    int32_t result = reader_fetch_sparse(&iw->walk->reader, pos, length, &bytes, &got);
    if (result != 0 || got == 0) return result;
    PayloadRange range = {0, got, payload_gap, pos, pos};
    const WalkSink& sink = iw->walk->sink;
    return sink.feed(sink.context, bytes, pos, &range, 1);
}

int32_t config_hand(IsoWalk* iw, const MoviePlace& place) {
    const IsoTrack& v = iw->movie.video;
    if (v.codec == codec_mpeg) return mpeg_bytes_feed(iw, v.config, v.config_length);
    uint32_t length = v.config_length < sps_bytes_most ? v.config_length : sps_bytes_most;
    int32_t result = site_bytes_load(iw, v.config, length);
    ConfigRecord record;
    if (result != 0 || !config_record_read(v.codec, iw->bytes, length, &record)) return result;
    for (uint32_t k = 0; k < record.set_count && result == 0; ++k) {
        result = parameter_set_hand(iw, v.config + record.sets[k].offset, record.sets[k].length, place.holder,
                                    place.pos);
    }
    return result;
}

int32_t place_hand(IsoWalk* iw, const MoviePlace& place) {
    if (place.kind == site_parameter_set) return config_hand(iw, place);
    int32_t result = site_bytes_load(iw, place.pos, display_size_bytes);
    if (result != 0) return result;
    AspectSite site = {};
    site.kind = place.kind;
    site.holder = place.holder;
    site.length = display_size_bytes;
    site.picture_width = iw->movie.video.width;
    site.picture_height = iw->movie.video.height;
    return site_hand(iw, &site, place.pos);
}

// The movie's places that lie before `pos`.
int32_t places_hand_before(IsoWalk* iw, int64_t pos) {
    int32_t result = 0;
    while (result == 0 && iw->next_place < iw->place_count && iw->places[iw->next_place].pos < pos) {
        result = place_hand(iw, iw->places[iw->next_place++]);
    }
    return result;
}

// The units of an H.264 or HEVC sample before its first slice: each
// parameter set among them is handed over. A sample whose lengths do not
// add up is left at the unit that breaks.
int32_t sample_sets_hand(IsoWalk* iw, const IsoSample& sample, uint32_t length_size) {
    VideoCodec codec = iw->movie.video.codec;
    uint32_t header = nal_header_size(codec);
    int64_t end = sample.pos + sample.size;
    for (int64_t at = sample.pos; end - at > length_size + header;) {
        const uint8_t* b = nullptr;
        uint32_t got = 0;
        int32_t result = reader_fetch_sparse(&iw->walk->reader, at, length_size + header, &b, &got);
        if (result != 0) return result;
        uint32_t unit = 0;
        for (uint32_t k = 0; k < length_size; ++k) unit = unit << 8 | b[k];
        int64_t unit_pos = at + length_size;
        if (unit < header || unit > end - unit_pos || nal_is_picture(codec, b[length_size])) return 0;
        if (sps_nal_is(codec, b + length_size, header)) {
            result = parameter_set_hand(iw, unit_pos, unit, holder_stream, sample.pos);
            if (result != 0) return result;
        }
        at = unit_pos + unit;
    }
    return 0;
}

// The length fields' size, from the decoder configuration (4 without one).
uint32_t length_size_of(IsoWalk* iw) {
    const IsoTrack& v = iw->movie.video;
    ConfigRecord record;
    uint32_t length = v.config_length < sps_bytes_most ? v.config_length : sps_bytes_most;
    if (v.config < 0 || site_bytes_load(iw, v.config, length) != 0) return 4;
    return config_record_read(v.codec, iw->bytes, length, &record) ? record.length_size : 4;
}

int32_t samples_walk(IsoWalk* iw) {
    bool sets = iw->movie.video.codec != codec_mpeg;
    uint32_t length_size = sets ? length_size_of(iw) : 0;
    for (const IsoSample& sample : iw->samples) {
        int32_t result = places_hand_before(iw, sample.pos);
        if (result == 0 && sets) result = sample_sets_hand(iw, sample, length_size);
        if (result == 0 && !sets) {
            result = mpeg_bytes_feed(iw, sample.pos, sample.size < mpeg_head_bytes ? sample.size : mpeg_head_bytes);
        }
        if (result != 0) return result;
    }
    return places_hand_before(iw, INT64_MAX);
}

}  // namespace

bool iso_media_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    if (!iso_media_opens(head, length)) return false;
    *layout = {stream_iso_media, {0, 0}, codec_mpeg};
    return true;
}

int32_t iso_media_walk(Walk* w) {
    std::unique_ptr<IsoWalk> iw(new IsoWalk{});
    iw->walk = w;
    int32_t result = iso_movie_read(&w->reader, &iw->movie);
    if (result == 0 && !iw->movie.found) return result_no_mpeg_video;
    if (result == 0) result = iso_samples_list(&w->reader, &iw->movie, &iw->samples);
    if (result != 0) return result;
    places_collect(iw.get());
    return samples_walk(iw.get());
}
