#include "run/analysis.h"

#include <cstring>

#include "codecs/mpeg4_vol.h"
#include "codecs/dv_dif.h"
#include "codecs/site_scan.h"
#include "formats/disc_image.h"
#include "formats/walk.h"
#include "notices/walk_notices.h"
#include "run/exit_codes.h"
#include "run/trailing_zero.h"

namespace {

constexpr uint32_t head_window = 0x200000;
constexpr uint32_t tail_window = 0x100000;

struct Windows {
    FileBuffer headbuf;
    FileBuffer tailbuf;
};

// The video's first sequence header, as the payload goes by; a packet sent
// twice is read from the state before its first copy, and a break loses
// what was put together.
struct ProbeSink {
    VideoHeaderProbe* probe;
    VideoHeaderProbe before;
    bool settle;  // on to the start code after it, not only the header
};

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

// The first site that reads: a parameter set, a VOL, or a DVD's attributes byte.
struct FirstSite {
    SiteScanner scanner;
    VideoLayout* video;
    uint32_t unread;  // parameter sets or VOLs this reader does not understand
};

// What a new marker file's first line holds of the first site: a
// parameter set's aspect_ratio_idc, a VOL's aspect_ratio_info; a DV pack's shape as a sequence
// header's byte 7 holds its code, in the high four bits; a DVD's byte.
uint8_t first_byte_of(const AspectSite* site, const SiteReading* reading) {
    bool coded = site->kind == site_parameter_set || site->kind == site_video_object_layer;
    if (coded) return static_cast<uint8_t>(reading->aspect.code);
    if (site->kind == site_dv_control) return static_cast<uint8_t>(reading->aspect.code << 4);
    return site->bytes[0];
}

int32_t first_site_take(void* context, const AspectSite* site) {
    FirstSite* f = static_cast<FirstSite*>(context);
    // A container's fields say nothing of the video's key, nor does a copy
    // of a DV pack outside the frames (a type-1 AVI's DVINFO).
    if (site_of_container(site)) return 0;
    if (!site_read(site, site->bytes, &f->video->reference)) {
        ++f->unread;
        return 0;
    }
    if (site->kind == site_dv_control && f->video->reference.form == 0) return 0;
    f->video->set_bytes.assign(site->bytes, site->bytes + site->length);
    f->video->set_pos.assign(site->pos, site->pos + site->length);
    f->video->first_byte = first_byte_of(site, &f->video->reference);
    return result_found;
}

int32_t first_site_feed(void* context, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                        uint32_t count) {
    FirstSite* f = static_cast<FirstSite*>(context);
    return site_scan(&f->scanner, buffer, buffer_pos, ranges, count, first_site_take, f);
}

// Why the walk found no first site, where the file says it: parameter
// sets this reader cannot read, or what the format saw of its video (a
// video PID named in the tables but never carried, or one whose packets
// are scrambled).
int32_t reference_missing(const Walk* walk, VideoCodec codec, uint32_t unread) {
    bool sets = codec_has_sets(codec);
    if (sets && unread > 0) return result_sps_unreadable;
    if (walk->met.video_unseen != 0) return walk->met.video_unseen;
    if (codec == codec_mpeg4) return result_no_vol;
    if (codec == codec_dv) return result_no_dv_pack;
    return sets ? result_no_sps : result_no_sequence_header;
}

// The walk of the window, or of the whole file, to the video's first site:
// MPEG video's first sequence header through the probe, any other's first
// site through its scanner.
int32_t reference_walk(Walk* walk, SequenceHeaderInfo* info, VideoLayout* video) {
    if (info->layout.codec == codec_mpeg) {
        ProbeSink probe = {&info->video, info->video, true};
        walk->sink = WalkSink{probe_feed, &probe, nullptr, nullptr};
        int32_t result = walk_run(walk);
        return result == result_found ? 0 : result;
    }
    FirstSite* first = new FirstSite{};
    first->video = video;
    site_scanner_init(&first->scanner, info->layout.codec, nullptr);
    walk->sink = WalkSink{first_site_feed, first, first_site_take, nullptr};
    int32_t result = walk_run(walk);
    if (result == 0) result = site_scan_finish(&first->scanner, first_site_take, first);
    if (result == 0) result = reference_missing(walk, info->layout.codec, first->unread);
    delete first;
    return result == result_found ? 0 : result;
}

// Places the head window at the start and the tail window so that it ends
// where the trailing zero bytes begin, never before the start of the file.
void windows_place(int64_t size, int64_t zeros, SequenceHeaderInfo* info) {
    int64_t data = size - zeros;
    info->head_len = size < head_window ? static_cast<uint32_t>(data) : head_window;
    info->tail_len = data < tail_window ? static_cast<uint32_t>(data) : tail_window;
    info->tail_base = data - info->tail_len;
}

// Reads both windows; returns the stop, or -1.
int64_t windows_fill(FileHandleRec* file, const SequenceHeaderInfo* info, Windows* w) {
    bool head_made = file_buffer_make(&w->headbuf, info->head_len);
    bool tail_made = file_buffer_make(&w->tailbuf, info->tail_len);
    if (!head_made) return stop_headbuf_error;
    file_seek(file, 0, file_begin);
    if (file_read(file, w->headbuf.bytes, info->head_len) == 0) return stop_head_read_error;
    if (!tail_made) return stop_tailbuf_error;
    if (info->tail_len == 0) return -1;  // nothing but zeros before the tail
    file_seek(file, info->tail_base, file_begin);
    if (file_read(file, w->tailbuf.bytes, info->tail_len) < info->tail_len) return stop_tail_read_error;
    return -1;
}

// The stop of an empty or unreadable file, or -1; *zeros gets the run of
// zero bytes at its end.
int64_t zeros_measure(FileHandleRec* file, int64_t* zeros) {
    *zeros = 0;
    if (file->size == 0) return stop_empty_file;
    if (trailing_zero_count(file, zeros) != 0) return stop_tail_unreadable;
    return *zeros == file->size ? int64_t{stop_all_zero_file} : -1;
}

// The first site from the rest of the file, where the head window did not
// hold it (or, for MPEG video, what follows the first header, or that its
// start codes are MPEG-4 video's). A head window that held the whole file
// and no header may have stopped at damage, which the walk of the file
// reports (or, with -r, walks past).
int32_t reference_seek(FileHandleRec* file, const ConvertJob* job, NoticeSink notices,
                       SequenceHeaderInfo* info, VideoLayout* video) {
    bool probed = info->layout.codec == codec_mpeg;
    bool whole_file_seen = info->head_len >= file->size && video_probe_found(&info->video);
    if (probed && (video_probe_settled(&info->video) || whole_file_seen)) return 0;
    FileBuffer block;
    if (!file_buffer_make(&block, reader_buffer_size)) return result_data_buffer_error;
    Walk* walk = new Walk;
    walk_init(walk, file, block.bytes, info->layout, info->program.video_pid,
              job_resyncs(job), WalkSink{});
    if (probed) video_probe_init(&info->video);
    int32_t result = reference_walk(walk, info, video);
    if (result == 0 && probed && !video_probe_found(&info->video) && !info->video.part2) {
        result = reference_missing(walk, codec_mpeg, 0);
    }
    const WalkMet& met = walk->met;
    if (met.damage_at >= 0) {
        notify(notices, DamageNotice{met.damage_at, {met.damage_bytes[0], met.damage_bytes[1], met.damage_bytes[2]}});
    }
    if (result == result_read_error) {
        notify(notices, ReadShortNotice{walk->reader.failed_at, walk->reader.failed_want, walk->reader.failed_got});
    }
    delete walk;
    return result;
}

void video_layout_fill(const SequenceHeaderInfo* info, VideoLayout* video) {
    video->layout = info->layout;
    video->video_pid = info->program.video_pid;
    std::memcpy(video->header, info->video.header, sizeof video->header);
    if (info->layout.codec == codec_mpeg) video->first_byte = info->video.header[7];
    video->shown = info->shown;
}

// What the most common players show of H.264, HEVC or MPEG-4 video: a
// container's own field, else the first parameter set's or VOL's aspect,
// else, in a container, the square samples it shows where nothing says
// another.
void shown_settle(SequenceHeaderInfo* info) {
    if (info->shown.width == 0) info->shown = sps_sar(&info->sps);
    if (info->shown.width == 0 && info->container != nullptr) info->shown = {1, 1};
}

// The picture and sample aspect of the first parameter set or VOL; a VOL
// of a shape that records no size keeps the container's.
void first_site_settle(SequenceHeaderInfo* info, const VideoLayout* video) {
    const uint8_t* bytes = video->set_bytes.data();
    uint32_t length = static_cast<uint32_t>(video->set_bytes.size());
    if (info->layout.codec != codec_mpeg4) {
        sps_read(info->layout.codec, bytes, length, &info->sps);
        return;
    }
    VolInfo vol;
    vol_read(bytes, length, &vol);
    SpsInfo container = info->sps;
    info->sps = vol_as_sps(&vol);
    if (info->sps.width == 0 || info->sps.height == 0) {
        info->sps.width = container.width;
        info->sps.height = container.height;
    }
}

// A container's video track: its codec, its playing time, and the other
// video tracks it leaves alone. Returns an exit code, or -1 to go on.
int container_find(FileHandleRec* file, const Format* format, NoticeSink notices, SequenceHeaderInfo* info) {
    FileBuffer block;
    ContainerLook look = {};
    int32_t result = result_data_buffer_error;
    if (file_buffer_make(&block, reader_buffer_size)) {
        BlockReader reader;
        reader_init(&reader, file, block.bytes);
        result = format->look(&reader, &look);
    }
    if (result != 0) {
        notify(notices, ErrorNotice{static_cast<Result>(result)});
        return exit_engine_error;
    }
    // A file whose video is all of a codec the tool does not change is told
    // so by that codec, not as a track left alone.
    if (!look.found && !look.sealed && look.other_codec.codec != foreign_none) {
        notify(notices, ForeignVideoNotice{look.other_codec});
        return exit_not_mpeg;
    }
    if (look.others > 0) notify(notices, OtherTracksNotice{look.other_id, look.others});
    if (look.placeless) notify(notices, notice_container_placeless);
    if (!look.found) {
        notify(notices, StopNotice{look.sealed ? stop_video_encrypted : stop_no_video});
        return exit_not_mpeg;
    }
    info->layout.codec = look.codec;
    info->duration_sec = look.duration_sec;
    info->container = look.name;
    info->shown = look.shown;
    info->foreign = look.foreign;
    info->sps.width = look.width;
    info->sps.height = look.height;
    return -1;
}

// The video of a stream the head opens: its first site from the windows or
// the rest of the file. Where the file holds several streams, the one with
// the video can be named past the head window (a transport stream that
// opens with null packets): it is looked for there, and tables that name
// no video the tool takes settle it. Returns an exit code, or -1 to go on.
int video_find(FileHandleRec* file, const ConvertJob* job, NoticeSink notices, SequenceHeaderInfo* info,
               VideoLayout* video) {
    const Format* format = format_of(info->layout.kind);
    if (format->look != nullptr) {
        int stop = container_find(file, format, notices, info);
        if (stop >= 0) return stop;
        // Frames the tool does not change have no first site to find.
        if (info->layout.codec == codec_container) {
            shown_settle(info);
            return -1;
        }
    }
    int32_t result = 0;
    if (format->stream_find != nullptr) {
        result = format->stream_seek(file, head_window, &info->layout, &info->program);
        if (result == 0 && !info->program.found) {
            notify(notices, StopNotice{info->program.scrambled ? stop_no_video_scrambled : stop_no_video});
            return exit_not_mpeg;
        }
    }
    if (result == 0) result = reference_seek(file, job, notices, info, video);
    // Start codes that MPEG-1 and MPEG-2 never use: MPEG-4 video, whose
    // first VOL is then looked for.
    if (result == 0 && info->video.part2 && info->layout.codec == codec_mpeg) {
        info->layout.codec = codec_mpeg4;
        result = reference_seek(file, job, notices, info, video);
    }
    if (result != 0) {
        notify(notices, ErrorNotice{static_cast<Result>(result)});
        return result_exit_code(static_cast<Result>(result));
    }
    if (codec_records_sar(info->layout.codec)) {
        first_site_settle(info, video);
        shown_settle(info);
    }
    return -1;
}

// DV video: its picture as its first frame's header block or its
// container gives it, its code as its first pack's, and a DV file's
// playing time by its whole frames, which have no clock.
void dv_info_fill(const uint8_t* headbuf, int64_t file_size, SequenceHeaderInfo* info, const VideoLayout* video) {
    DvShape shape = {};
    if (info->container == nullptr && dv_frame_opens(headbuf, info->head_len, &shape)) {
        info->sps.width = shape.width;
        info->sps.height = shape.height;
        double rate = shape.lines_625 ? 25.0 : 30000.0 / 1001.0;
        info->duration_sec = static_cast<double>(file_size / shape.frame_size) / rate;
    }
    info->horizontal_size = static_cast<int32_t>(info->sps.width);
    info->vertical_size = static_cast<int32_t>(info->sps.height);
    info->aspect_code = static_cast<uint8_t>(video->reference.aspect.code);
    info->mpeg_version = mpeg_version_dv;
}

// A file the job names as one of a kind whose head holds its one site (a
// DVD's IFO or BUP). Returns an exit code, or -1 to go on.
int head_site_find(FileHandleRec* file, const Format* format, NoticeSink notices, VideoLayout* video) {
    int32_t refused = format->head_site(file, &video->layout, &video->reference, &video->first_byte);
    if (refused != 0) {
        notify(notices, ErrorNotice{static_cast<Result>(refused)});
        return exit_engine_error;
    }
    return -1;
}

}  // namespace

int header_seek(const uint8_t* headbuf, SequenceHeaderInfo* info) {
    info->not_mpeg = 0xFF;
    info->first_pack_pos = -1;
    info->last_pack_pos = -1;
    info->first_seqhdr_pos = -1;
    info->program = ts_program_none;
    video_probe_init(&info->video);
    info->layout = stream_layout_detect(headbuf, info->head_len);
    const Format* format = format_of(info->layout.kind);
    if (format == nullptr) return 0;
    info->not_mpeg = 0;
    if (format->stream_find != nullptr) format->stream_find(headbuf, info->head_len, &info->layout, &info->program);
    // A parameter set is found by the walk of the file, with its own scanner;
    // the video of a file of several streams only once its stream is known,
    // a container's only from its tracks.
    bool video_known = (format->stream_find == nullptr || info->program.found) && format->look == nullptr;
    if (info->layout.codec != codec_mpeg || !video_known) return 0;
    Walk* walk = new Walk;
    ProbeSink probe = {&info->video, info->video, true};
    walk_init_window(walk, headbuf, info->head_len, info->layout, info->program.video_pid, false,
                     WalkSink{probe_feed, &probe, nullptr, nullptr});
    walk_run(walk);
    delete walk;
    return 0;
}

int header_parse(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info) {
    SequenceHeaderFields fields = {0, 0, 0, 0, 0};
    info->first_seqhdr_pos = -1;
    if (video_probe_found(&info->video)) {
        info->first_seqhdr_pos = info->video.code_pos - 3;
        sequence_header_parse(&fields, info->video.header + 4);
    }
    info->horizontal_size = fields.horizontal_size;
    info->vertical_size = fields.vertical_size;
    info->aspect_code = fields.aspect_code;
    info->frame_rate_code = fields.frame_rate_code;
    info->bit_rate_value = fields.bit_rate_value;

    StreamClocks clocks = {false, 0, 0, -1, -1};
    const Format* format = format_of(info->layout.kind);
    ClockLook look = {headbuf, info->head_len, tailbuf, info->tail_len, info->tail_base, info->layout,
                      info->program.pcr_pid, info->program.video_pid};
    if (format != nullptr && format->clocks != nullptr) format->clocks(&look, &clocks);
    info->first_pack_pos = clocks.first_pack_pos;
    info->last_pack_pos = clocks.last_pack_pos;
    // A file without clocks keeps the playing time its analysis found.
    if (clocks.found) {
        uint32_t ticks = clocks.last - clocks.first;
        info->duration_sec = static_cast<double>(static_cast<long double>(ticks) * (1.0L / 90000.0L));
    }

    // The aspect nibble belongs to the video, so the video decides the
    // version: an MPEG-2 sequence header is followed by its extension, and
    // the system layer around it may be of either kind.
    info->mpeg_version = info->video.extension == 1 ? 2 : 1;
    return 0;
}

int file_analyse(FileHandleRec* file, const ConvertJob* job, StreamKind kind, NoticeSink notices,
                 SequenceHeaderInfo* info, VideoLayout* video) {
    const Format* named = format_of(kind);
    if (named != nullptr && named->head_site != nullptr) return head_site_find(file, named, notices, video);
    Windows windows;
    int64_t zeros = 0;
    int64_t stop = zeros_measure(file, &zeros);
    windows_place(file->size, zeros, info);
    if (stop < 0) stop = windows_fill(file, info, &windows);
    if (stop >= 0) {
        notify(notices, StopNotice{static_cast<StopReason>(stop)});
        return exit_usage;
    }
    // An image's streams are many files, with the IFOs beside them: never
    // walked as one.
    if (disc_image_holds(windows.headbuf.bytes, info->head_len)) {
        notify(notices, StopNotice{stop_disc_image});
        return exit_not_mpeg;
    }
    header_seek(windows.headbuf.bytes, info);
    if (info->not_mpeg != 0) {
        notify(notices, StopNotice{stop_not_mpeg});
        return exit_not_mpeg;
    }
    int exit_code = video_find(file, job, notices, info, video);
    if (exit_code >= 0) return exit_code;
    header_parse(windows.headbuf.bytes, windows.tailbuf.bytes, info);
    if (info->layout.codec == codec_dv) dv_info_fill(windows.headbuf.bytes, file->size, info, video);
    video_layout_fill(info, video);
    return -1;
}
