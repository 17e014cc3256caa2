// What the run of one file tells: its aspects and summary, why it stops
// before its walk, and how it ended.
#pragma once
#include <cstdint>

#include "codecs/codec_table.h"
#include "codecs/site.h"
#include "fileio/result.h"
#include "notices/notice.h"

// How an aspect is named: as the codec's row names its aspects, for a
// picture of the size.
struct AspectName {
    AspectNaming naming; uint32_t width; uint32_t height;
};

// The aspect of the video, or the target.
struct AspectNotice { static constexpr auto kind = notice_aspect; AspectName name; SiteAspect aspect; bool target; };

// The most common players would show the picture as they show it now: the
// display size and the shape it shows.
struct DisplayUnchangedNotice {
    static constexpr auto kind = notice_display_unchanged;
    uint32_t width; uint32_t height; uint64_t shown_num; uint64_t shown_den;
};
struct DisplaySizeNotice { static constexpr auto kind = notice_display_size; uint32_t width; uint32_t height; };

// The file's video is of a codec the tool does not change.
struct ForeignVideoNotice { static constexpr auto kind = notice_foreign_video; ForeignVideo video; };

// Video tracks the run leaves alone: the first one's ID, and how many.
struct OtherTracksNotice { static constexpr auto kind = notice_other_tracks; uint64_t first_id; uint32_t count; };

// The first site that cannot take the target in place, and why: a
// container's place that refuses the run.
struct SiteRefusal {
    static constexpr auto kind = notice_place_refused;
    bool found; SiteKind site; SiteHolder holder; int64_t pos; AspectEdit why;
};

// What a check found each kind of place of a container's file to hold:
// the kind, its holder, and the aspect its first place records.
struct PlaceAspect {
    SiteKind site; SiteHolder holder; bool present; SiteAspect aspect;
};
inline constexpr uint32_t place_kinds_most = 8;
struct PlaceAspects { uint32_t count; PlaceAspect kinds[place_kinds_most]; };

// -c: a kind of the codec's own places left as it was, with the aspect
// that players reading it alone show, for a picture of the size.
struct CodecPlaceLeftNotice {
    static constexpr auto kind = notice_codec_place_left;
    PlaceAspect place; uint32_t width; uint32_t height;
};

// Where a codec's own place refuses the target: what -c would change
// instead (the container's places, each kind with what it holds now), and
// the codec's header it would leave.
struct ContainerOnlyHintNotice {
    static constexpr auto kind = notice_container_only_hint;
    PlaceAspects places; HeaderWord header;
};

// The places disagree on the aspect: each kind with its own, and the one
// the most common players show, which the run goes by. Sequence headers'
// codes are named as the MPEG version names them, sample aspects against
// the picture.
struct PlacesDisagreeNotice {
    static constexpr auto kind = notice_places_disagree;
    PlaceAspects places; SarRatio shown; AspectName name;
};

// The aspect the video shows is neither 4:3 nor 16:9: there is no other of
// the two to change it to, and -o has to say what.
struct NoDefaultTargetNotice {
    static constexpr auto kind = notice_no_default_target;
    uint32_t width; uint32_t height; SarRatio shown;
};

// What the summary line of MPEG video says.
struct MpegSummary {
    int32_t mpeg_version;
    int32_t horizontal_size;
    int32_t vertical_size;
    uint8_t frame_rate_code;
    uint32_t bit_rate_value;  // units of 400 bit/s
    double duration_sec;
    int64_t file_size;
};

// What the summary line of any other video says: the codec's name, the
// picture (after cropping), and the aspects before and after, as the
// codec's row has its summary read.
struct SarSummary {
    SummaryStyle style;
    const char* codec;
    uint32_t width;
    uint32_t height;
    SarRatio current;
    SarRatio target;
    double duration_sec;
    int64_t file_size;
};

// The summaries, after the container's name where the video is no MPEG
// stream's (null otherwise).
struct MpegSummaryNotice {
    static constexpr auto kind = notice_mpeg_summary;
    MpegSummary summary; const char* container;
};
struct SarSummaryNotice { static constexpr auto kind = notice_sar_summary; SarSummary summary; const char* container; };

// The video was converted already, from the aspect it had before; or its
// own headers (or its places) hold the target given already.
struct ConvertedNotice {
    static constexpr auto kind = notice_converted;
    AspectName name; SiteAspect original; SiteAspect target;
};
struct AlreadyNotice {
    static constexpr auto kind = notice_already;
    AspectName name; SiteAspect aspect; HeaderWord header;
};

// The first of the codec's headers records no aspect, which cannot be
// added in place.
struct NoAspectFieldNotice { static constexpr auto kind = notice_no_aspect_field; HeaderWord header; };

// The first of the codec's headers, in a container, records no aspect:
// whether it has no field for one (an SPS without aspect information) or
// an undefined value there (a VOL's forbidden or reserved code), and
// whether the run writes the target into it.
struct FirstSilentNotice {
    static constexpr auto kind = notice_first_silent;
    HeaderWord header; bool field; bool takes;
};

// -o names no code the video takes: the range its codec takes, then what
// was given, its code or, where its characters are no digits, its text.
struct CodeRefusedNotice {
    static constexpr auto kind = notice_code_refused;
    OptionRange range; bool digits; int32_t code; const char* text;
};

// A sample aspect that the parameter sets' table has no code for.
struct SetsNoTableCodeNotice { static constexpr auto kind = notice_sets_no_table_code; SarRatio sar; };

// The texts that end a run before its walk.
enum StopReason : uint8_t {
    stop_empty_file,
    stop_all_zero_file,
    stop_tail_unreadable,
    stop_headbuf_error,
    stop_head_read_error,
    stop_tailbuf_error,
    stop_tail_read_error,
    stop_not_mpeg,
    stop_no_video,
    stop_no_video_scrambled,
    stop_open_refused,
    stop_not_regular_file,
    stop_no_file,
    stop_dvd_code_only,
    stop_video_encrypted,
    stop_disc_image,  // a disc's file system around its files (a DVD's .iso)
    stop_disc_code_only,  // -o other than 2 or 3 for a Blu-ray or AVCHD folder
    stop_frames_unwalked,  // a container whose frames of this codec record the aspect and are not walked
};
struct StopNotice { static constexpr auto kind = notice_stop; StopReason reason; };

// The opening gave up after its failed attempts, the last of them perhaps
// refused by another run's lock.
struct OpenFailedNotice { static constexpr auto kind = notice_open_failed; bool held_by_run; uint32_t failed; };

// A damaged unit of a container says where it lies (-1: the result says
// no place).
struct ErrorNotice { static constexpr auto kind = notice_error; Result result; int64_t position = -1; };

// How the walk a run asked for ended: its closing line says it, and its
// exit code follows from it.
enum RunEnding : uint8_t {
    ending_failed,           // the result says what stopped it
    ending_no_marker,        // an undo found no marker file it could take; the result says why
    ending_listed,
    ending_converted,
    ending_restored,
    ending_restored_partly,  // an undo left listed positions as they were
};

// What the run of one file came to.
struct RunOutcome {
    static constexpr auto kind = notice_outcome;
    RunEnding ending; Result result; bool marker_created; bool sets_left;
    int64_t position = -1;  // as ErrorNotice's
};
