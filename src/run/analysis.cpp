#include "run/analysis.h"

#include <cstring>

#include "codecs/frame_headers.h"
#include "codecs/header_scan.h"
#include "formats/disc_image.h"
#include "formats/walk.h"
#include "notices/walk_notices.h"
#include "run/exit_codes.h"
#include "run/first_site.h"
#include "run/trailing_zero.h"

namespace {

constexpr uint32_t head_window = 0x200000;
constexpr uint32_t tail_window = 0x100000;

struct Windows {
    FileBuffer headbuf;
    FileBuffer tailbuf;
};

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

// The video as the editor takes it: MPEG video's first site is the byte 7
// of its first sequence header, as the probe found it.
void video_layout_fill(const SequenceHeaderInfo* info, VideoLayout* video) {
    const VideoFacts& facts = info->facts;
    video->layout = info->layout;
    video->row = facts.row;
    video->video_pid = info->program.video_pid;
    std::memcpy(video->header, info->video.header, sizeof video->header);
    if (facts.row->find == first_by_probe) {
        video->first_byte = info->video.header[7];
        video->first_bytes.assign(1, info->video.header[7]);
        video->first_pos.assign(1, info->video.byte7_pos);
        video->first_site = site_sequence_header_make(video->first_bytes.data(), video->first_pos.data(), nullptr,
                                                      info->video.header + 4);
    }
    // The sample aspect a marker file records it showed: where the codec
    // names its aspects by code, the container's field alone.
    video->shown = facts.row->code_sar != nullptr ? facts.field : facts_shown(&facts).sar;
}

// What the video is, once its first header and version are known: its
// row, its picture (the first header's, a container's where that records
// none), and its first header's aspect.
void facts_settle(SequenceHeaderInfo* info, const VideoLayout* video) {
    VideoFacts& f = info->facts;
    f.row = codec_row(info->layout.codec, info->mpeg_version);
    f.contained = info->container != nullptr;
    if (f.row->find == first_by_probe) {
        f.width = static_cast<uint32_t>(info->horizontal_size);
        f.height = static_cast<uint32_t>(info->vertical_size);
        f.first = SiteReading{};
        f.first.aspect_present = true;
        f.first.aspect.code = info->aspect_code;
        return;
    }
    if (f.row->find == first_none) f.first = video->reference;
    if (f.row->find != first_by_scan) return;
    f.first = video->reference;
    if (f.first.width != 0 && f.first.height != 0) {
        f.width = f.first.width;
        f.height = f.first.height;
    }
}

// A container's video track: its codec, its playing time, and the other
// video tracks it leaves alone. Returns an exit code, or -1 to go on.
int container_find(FileHandleRec* file, const Format* format, NoticeSink notices, SequenceHeaderInfo* info) {
    FileBuffer block;
    ContainerLook look = {};
    int32_t result = result_data_buffer_error;
    int64_t broken_at = -1;
    if (file_buffer_make(&block, reader_buffer_size)) {
        BlockReader reader;
        reader_init(&reader, file, block.bytes);
        result = format->look(&reader, &look);
        broken_at = reader.broken_at;
    }
    if (result != 0) {
        notify(notices, ErrorNotice{static_cast<Result>(result), result_of_broken_unit(result) ? broken_at : -1});
        return exit_engine_error;
    }
    // A file whose video is all of a codec the tool does not change is told
    // so by that codec, not as a track left alone.
    if (!look.found && !look.sealed && look.other_codec.codec != foreign_none) {
        notify(notices, ForeignVideoNotice{look.other_codec});
        return exit_not_mpeg;
    }
    if (look.others > 0) notify(notices, OtherTracksNotice{look.other_id, look.others});
    bool unwalked = look.unwalked || (look.found && foreign_records_aspect(look.foreign.codec));
    if (!look.found || unwalked) {
        StopReason why = look.sealed ? stop_video_encrypted : unwalked ? stop_frames_unwalked : stop_no_video;
        notify(notices, StopNotice{why});
        return exit_not_mpeg;
    }
    info->layout.codec = look.codec;
    info->duration_sec = look.duration_sec;
    info->container = look.name;
    info->facts.field = look.shown;
    info->facts.pixel_aspect_missing = look.pixel_aspect_missing;
    info->facts.placeless = look.placeless || look.fieldless;
    info->facts.fieldless = look.fieldless;
    info->facts.foreign = look.foreign;
    info->facts.width = look.width;
    info->facts.height = look.height;
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
        // Frames the tool does not change have no first site to find, but
        // where the container records no aspect, players may show the one
        // their first frame's header records.
        bool frame_shown = info->facts.field.width == 0 && frame_header_shown(info->facts.foreign.codec);
        if (codec_row(info->layout.codec, 0)->find == first_none && !frame_shown) return -1;
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
    VideoCodec probed = video_probe_codec(&info->video);
    if (result == 0 && probed != info->layout.codec && codec_row(info->layout.codec, 0)->find == first_by_probe) {
        info->layout.codec = probed;
        result = reference_seek(file, job, notices, info, video);
    }
    if (result != 0) {
        notify(notices, ErrorNotice{static_cast<Result>(result), result_of_broken_unit(result) ? info->broken_at : -1});
        return result_exit_code(static_cast<Result>(result));
    }
    return -1;
}

// A file the job names as one of a kind whose format finds its first site
// before the walk (a DVD's IFO or BUP, a clip information file). Returns an
// exit code, or -1 to go on.
int head_site_find(FileHandleRec* file, const Format* format, NoticeSink notices, VideoLayout* video) {
    int32_t refused = format->head_site(file, &video->layout, &video->reference, &video->first_byte);
    video->row = codec_row(video->layout.codec, 0);
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
    if (codec_row(info->layout.codec, 0)->find != first_by_probe || !video_known) return 0;
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
    // An image's streams are many files, with the IFOs beside them: walked
    // through its file system, and refused before anything is written
    // where that does not let each be changed in place.
    int32_t image = disc_image_holds(windows.headbuf.bytes, info->head_len) ? dvd_image_check(file) : 0;
    if (image == result_disc_other) {
        notify(notices, StopNotice{stop_disc_image});
        return exit_not_mpeg;
    }
    if (image != 0) {
        notify(notices, ErrorNotice{static_cast<Result>(image)});
        return result_exit_code(static_cast<Result>(image));
    }
    header_seek(windows.headbuf.bytes, info);
    if (info->not_mpeg != 0) {
        notify(notices, StopNotice{stop_not_mpeg});
        return exit_not_mpeg;
    }
    int exit_code = video_find(file, job, notices, info, video);
    if (exit_code >= 0) return exit_code;
    header_parse(windows.headbuf.bytes, windows.tailbuf.bytes, info);
    facts_settle(info, video);
    video_layout_fill(info, video);
    return -1;
}
