#include "run/first_site.h"

#include "codecs/site_scan.h"
#include "notices/walk_notices.h"

namespace {

// The first site that reads and says which video it is: a parameter set,
// a VOL, a DV frame's pack.
struct FirstSite {
    SiteScanner scanner;
    const CodecRow* row;
    VideoLayout* video;
    uint32_t unread;  // headers of the codec this reader does not understand
};

void first_keep(FirstSite* f, const AspectSite* site, const SiteReading& reading) {
    VideoLayout* v = f->video;
    v->reference = reading;
    v->first_site = *site;
    v->first_bytes.assign(site->bytes, site->bytes + site->length);
    v->first_pos.assign(site->pos, site->pos + site->length);
    v->first_byte = f->row->marker_first(&reading, site->bytes);
}

int32_t first_site_take(void* context, const AspectSite* site) {
    FirstSite* f = static_cast<FirstSite*>(context);
    SiteReading reading;
    if (site_of_container(site)) return 0;
    if (!site_read(site, site->bytes, &reading)) {
        ++f->unread;
        return 0;
    }
    // A copy of a DV pack outside the frames (a type-1 AVI's DVINFO) says
    // nothing of which video it belongs to.
    if (!reading.keyed) return 0;
    first_keep(f, site, reading);
    return result_found;
}

// The first frame's own header, of video whose frames the tool never
// changes: the walk ends there, whether it records an aspect or not.
int32_t first_frame_take(void* context, const AspectSite* site) {
    FirstSite* f = static_cast<FirstSite*>(context);
    SiteReading reading;
    if (site->kind != site_frame_header) return 0;
    if (site_read(site, site->bytes, &reading) && reading.aspect_present) first_keep(f, site, reading);
    return result_found;
}

// Such video hands the walk no payload.
int32_t payload_none(void*, const uint8_t*, int64_t, const PayloadRange*, uint32_t) {
    return 0;
}

int32_t first_site_feed(void* context, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                        uint32_t count) {
    FirstSite* f = static_cast<FirstSite*>(context);
    return site_scan(&f->scanner, buffer, buffer_pos, ranges, count, first_site_take, f);
}

// Why the walk found no first site, where the file says it: headers this
// reader cannot read, or what the format saw of its video (a video PID
// named in the tables but never carried, or one whose packets are
// scrambled); else that the codec's header is missing.
int32_t reference_missing(const Walk* walk, const CodecRow* row, uint32_t unread) {
    if (unread > 0 && row->header == header_word_set) return result_sps_unreadable;
    if (walk->met.video_unseen != 0) return walk->met.video_unseen;
    switch (row->header) {
    case header_word_set: return result_no_sps;
    case header_word_vol: return result_no_vol;
    case header_word_pack: return result_no_dv_pack;
    case header_word_picture: return result_no_h263_picture;
    default: return result_no_sequence_header;
    }
}

// The walk of the window, or of the whole file, to the video's first site.
int32_t reference_walk(Walk* walk, const CodecRow* row, SequenceHeaderInfo* info, VideoLayout* video) {
    if (row->find == first_by_probe) {
        ProbeSink probe = {&info->video, info->video, true};
        walk->sink = WalkSink{probe_feed, &probe, nullptr, nullptr};
        int32_t result = walk_run(walk);
        return result == result_found ? 0 : result;
    }
    FirstSite* first = new FirstSite{};
    first->row = row;
    first->video = video;
    site_scanner_init(&first->scanner, info->layout.codec, nullptr);
    bool frames = row->find == first_none;
    walk->sink = frames ? WalkSink{payload_none, first, first_frame_take, nullptr}
                        : WalkSink{first_site_feed, first, first_site_take, nullptr};
    int32_t result = walk_run(walk);
    if (result == 0 && !frames) result = site_scan_finish(&first->scanner, first_site_take, first);
    if (result == 0 && !frames) result = reference_missing(walk, row, first->unread);
    delete first;
    return result == result_found ? 0 : result;
}

void walk_met_tell(const Walk* walk, int32_t result, NoticeSink notices) {
    const WalkMet& met = walk->met;
    if (met.damage_at >= 0) {
        notify(notices, DamageNotice{met.damage_at, {met.damage_bytes[0], met.damage_bytes[1], met.damage_bytes[2]}});
    }
    if (result == result_read_error) {
        notify(notices, ReadShortNotice{walk->reader.failed_at, walk->reader.failed_want, walk->reader.failed_got});
    }
}

}  // namespace

int32_t probe_feed(void* context, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                   uint32_t count) {
    ProbeSink* s = static_cast<ProbeSink*>(context);
    for (uint32_t i = 0; i < count; ++i) {
        const PayloadRange& r = ranges[i];
        if ((r.breaks & payload_repeat) != 0) {
            *s->probe = s->before;
        } else {
            if ((r.breaks & payload_gap) != 0) video_probe_gap(s->probe);
            s->before = *s->probe;
        }
        video_probe_feed(s->probe, buffer + r.first, r.end - r.first, buffer_pos + r.first);
        bool done = s->settle ? video_probe_settled(s->probe) : video_probe_found(s->probe);
        if (done) return result_found;
    }
    return 0;
}

int32_t reference_seek(FileHandleRec* file, const ConvertJob* job, NoticeSink notices,
                       SequenceHeaderInfo* info, VideoLayout* video) {
    const CodecRow* row = codec_row(info->layout.codec, 0);
    bool probed = row->find == first_by_probe;
    bool whole_file_seen = info->head_len >= file->size && video_probe_found(&info->video);
    if (probed && (video_probe_settled(&info->video) || whole_file_seen)) return 0;
    FileBuffer block;
    if (!file_buffer_make(&block, reader_buffer_size)) return result_data_buffer_error;
    Walk* walk = new Walk;
    walk_init(walk, file, block.bytes, info->layout, info->program.video_pid, job_resyncs(job), WalkSink{});
    if (probed) video_probe_init(&info->video);
    int32_t result = reference_walk(walk, row, info, video);
    info->broken_at = walk->reader.broken_at;
    if (result == 0 && probed && !video_probe_found(&info->video) && !info->video.part2) {
        result = reference_missing(walk, row, 0);
    }
    walk_met_tell(walk, result, notices);
    delete walk;
    return result;
}
