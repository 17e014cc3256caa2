// The walk of an ISO media file: the places its movie records the video's
// shape, and the parameter sets or sequence headers at the head of each
// video sample, in the order of their file positions. Only the boxes and
// the heads of the samples are read, never the pictures.
#include <algorithm>
#include <memory>
#include <vector>

#include "codecs/display_fields.h"
#include "codecs/frame_headers.h"
#include "codecs/pixel_aspect.h"
#include "codecs/sar.h"
#include "fileio/result.h"
#include "formats/dv_stream.h"
#include "formats/iso_samples.h"
#include "formats/site_reader.h"

namespace {

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
    SiteReader sites;
};

bool place_before(const MoviePlace& a, const MoviePlace& b) {
    return a.pos < b.pos;
}

// The pasp's pair, where it is or would be; a pasp of another size than 16
// bytes is its pair alone.
int64_t pair_of(const IsoTrack& v) {
    return v.pair.at >= 0 ? v.pair.at + pixel_aspect_bytes : v.pixel_aspect;
}

void places_collect(IsoWalk* iw) {
    const IsoTrack& v = iw->movie.video;
    const MoviePlace all[] = {
        {v.track_header, site_display_size, holder_track_header},
        {pair_of(v), site_pixel_aspect, holder_pixel_aspect},
        {v.clean_aperture, site_display_size, holder_clean_aperture},
        {v.production_aperture, site_display_size, holder_production_aperture},
        {v.config, site_parameter_set, v.config_holder},
    };
    // Every place lies in the movie box; anything else is no place of it.
    const IsoBox& movie = iw->movie.movie;
    for (const MoviePlace& p : all) {
        if (p.pos >= movie.body && p.pos < movie.end) iw->places[iw->place_count++] = p;
    }
    std::sort(iw->places, iw->places + iw->place_count, place_before);
}

// The pasp's pair, and where it is framed (see pixel_aspect.h) the head of
// its box or of the room, the head after it, and the entry's size field.
int32_t pair_hand(IsoWalk* iw, int64_t pos) {
    const IsoPairPlace& p = iw->movie.video.pair;
    SiteReader* r = &iw->sites;
    int32_t result = site_reader_gather(r, 0, pos, pixel_aspect_bytes);
    uint32_t heads = p.at >= 0 ? p.heads : 0;
    for (uint32_t k = 0; k < heads && result == 0; ++k) {
        result = site_reader_gather(r, r->length, p.at + k * pixel_aspect_box_bytes, pair_head_bytes);
    }
    bool field = heads > 0 && p.entry_size >= 0;
    if (result == 0 && field) result = site_reader_gather(r, r->length, p.entry_size, p.entry_size_length);
    if (result != 0) return result;
    PairFrame frame = {r->bytes, r->pos, r->length, heads, field ? 1u : 0u, &p.entry_size_length};
    AspectSite site = site_pixel_aspect_make(r->codec, &frame, r->pos, site_reader_range(r, pos));
    return site_reader_hand(r, &site);
}

// A place of the movie's: a display size, a pixel aspect, or the decoder
// configuration, whose places are taken as it holds them.
int32_t place_hand(IsoWalk* iw, const MoviePlace& place) {
    const IsoTrack& v = iw->movie.video;
    SiteReader* r = &iw->sites;
    if (place.kind == site_parameter_set) return config_places_hand(r, v.config, v.config_length, place.holder);
    if (place.kind == site_pixel_aspect) return pair_hand(iw, place.pos);
    int32_t result = site_reader_gather(r, 0, place.pos, display_size_bytes);
    if (result != 0) return result;
    const PayloadRange* range = site_reader_range(r, place.pos);
    AspectSite site = site_display_size_make(r->codec, place.holder, r->bytes, r->pos, range, v.width, v.height);
    return site_reader_hand(r, &site);
}

// The movie's places that lie before `pos`.
int32_t places_hand_before(IsoWalk* iw, int64_t pos) {
    int32_t result = 0;
    while (result == 0 && iw->next_place < iw->place_count && iw->places[iw->next_place].pos < pos) {
        result = place_hand(iw, iw->places[iw->next_place++]);
    }
    return result;
}

// The units' length fields have the size the decoder configuration says,
// which lies in the movie: read before the samples, which may come first.
int32_t samples_walk(IsoWalk* iw) {
    const IsoTrack& v = iw->movie.video;
    bool sets = codec_has_sets(v.codec);
    uint32_t length_size = sets && v.config >= 0 ? config_length_size(&iw->sites, v.config, v.config_length) : 4;
    for (const IsoSample& sample : iw->samples) {
        int32_t result = places_hand_before(iw, sample.pos);
        if (result != 0) return result;
        if (v.codec == codec_container) {
            result = frame_header_hand(&iw->sites, v.foreign.codec, v.width, v.height, sample.pos, sample.size);
        } else if (sets) {
            result = unit_sets_hand(&iw->sites, sample.pos, sample.size, length_size);
        } else if (v.codec == codec_mpeg4) {
            result = start_code_head_feed(&iw->sites, sample.pos, sample.size);
        } else {
            result = v.codec == codec_dv ? dv_frame_feed(iw->walk, sample.pos, sample.size)
                                         : mpeg_head_feed(&iw->sites, sample.pos, sample.size);
        }
        if (result != 0) return result;
    }
    return places_hand_before(iw, INT64_MAX);
}

// What the most common players show over the video's own aspect: the
// pixel aspect box, else a display size other than the picture's own (one
// of the picture's size says nothing the video does not).
SarRatio movie_shown(const IsoTrack& v) {
    SarRatio pair = sar_reduced(v.pixel_aspect_sar.width, v.pixel_aspect_sar.height);
    if (pair.width != 0) return pair;
    return v.display_sar.width == v.display_sar.height ? SarRatio{0, 0} : v.display_sar;
}

}  // namespace

int32_t iso_media_walk(Walk* w) {
    std::unique_ptr<IsoWalk> iw(new IsoWalk{});
    iw->walk = w;
    int32_t result = iso_movie_read(&w->reader, &iw->movie);
    site_reader_init(&iw->sites, w, iw->movie.video.codec, result_box_broken);
    if (result == 0 && !iw->movie.found) return result_no_mpeg_video;
    // Frames the tool does not change are never visited: at most the first
    // one's header is read.
    const IsoTrack& v = iw->movie.video;
    bool frames = v.codec != codec_container || frame_header_bytes(v.foreign.codec) > 0;
    uint64_t beyond = 0;
    if (result == 0 && frames) result = iso_samples_list(&w->reader, &iw->movie, &iw->samples, &beyond);
    if (result != 0) return result;
    if (v.codec == codec_container && iw->samples.size() > 1) iw->samples.resize(1);
    if (beyond > 0) walk_cut_note(w, beyond);
    places_collect(iw.get());
    return samples_walk(iw.get());
}

int32_t iso_media_look(BlockReader* reader, ContainerLook* look) {
    std::unique_ptr<IsoMovie> movie(new IsoMovie{});
    int32_t result = iso_movie_read(reader, movie.get());
    ContainerName name = movie->quicktime ? container_mov : container_mp4;
    *look = {movie->found,     movie->video.codec,       movie->video.duration_sec,
             movie->others,    movie->other_id,          movie->encrypted,
             container_name_text(name), movie_shown(movie->video), movie->other_codec,
             movie->video.foreign, movie->video.width, movie->video.height};
    if (result == 0 && movie->found) look->duration_sec += iso_fragments_duration(reader, movie.get());
    look->pixel_aspect_missing = movie->found && movie->video.pair.at >= 0 && movie->video.pair.missing;
    return result;
}
