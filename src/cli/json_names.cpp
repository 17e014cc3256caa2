#include "cli/json_names.h"

#include "cli/name_tables.h"
#include "notices/job_notices.h"
#include "notices/walk_notices.h"

namespace {

template <typename T>
struct Named {
    T value;
    const char* name;
};

template <typename T, size_t N>
const char* name_of(const Named<T> (&table)[N], T value) {
    for (const Named<T>& entry : table) {
        if (entry.value == value) return entry.name;
    }
    return nullptr;
}

const Named<Result> result_names[] = {
    {result_open_error, "open_error"},
    {result_data_buffer_error, "data_buffer_error"},
    {result_block_buffer_error, "block_buffer_error"},
    {result_stream_id_error, "stream_damaged"},
    {result_side_file_error, "side_file_error"},
    {result_write_error, "write_error"},
    {result_read_error, "read_error"},
    {result_marker_write_error, "marker_write_error"},
    {result_list_write_error, "list_write_error"},
    {result_close_error, "close_error"},
    {result_no_sequence_header, "no_sequence_header"},
    {result_marker_unreadable, "marker_unreadable"},
    {result_marker_missing, "marker_missing"},
    {result_marker_remove_error, "marker_remove_error"},
    {result_marker_foreign, "marker_foreign"},
    {result_marker_linked, "marker_linked"},
    {result_no_mpeg_video, "no_video"},
    {result_not_dvd_ifo, "not_dvd_ifo"},
    {result_open_refused, "open_refused"},
    {result_no_sps, "no_sps"},
    {result_list_not_ours, "list_not_ours"},
    {result_sps_unreadable, "sps_unreadable"},
    {result_video_pid_empty, "video_pid_empty"},
    {result_video_scrambled, "video_scrambled"},
    {result_no_movie, "no_movie"},
    {result_box_broken, "box_broken"},
    {result_samples_outside, "samples_outside"},
    {result_element_broken, "element_broken"},
    {result_chunk_broken, "chunk_broken"},
    {result_object_broken, "object_broken"},
    {result_klv_broken, "klv_broken"},
    {result_tag_broken, "tag_broken"},
    {result_page_broken, "page_broken"},
    {result_samples_unaccounted, "samples_unaccounted"},
    {result_file_cut, "file_cut"},
    {result_no_vol, "no_vol"},
    {result_no_dv_pack, "no_dv_pack"},
    {result_clip_info_broken, "clip_info_broken"},
    {result_no_h263_picture, "no_h263_picture"},
    {result_disc_other, "disc_image"},
    {result_disc_split, "disc_file_split"},
    {result_disc_disagree, "disc_systems_disagree"},
    {result_disc_broken, "disc_broken"},
};

// By StopReason.
const char* const stop_names[] = {
    "empty_file",   "all_zero_file",      "tail_unreadable",  "headbuf_error",
    "head_read_error", "tailbuf_error",   "tail_read_error",  "not_mpeg",
    "no_video",     "no_video_scrambled", "open_refused",     "not_regular_file",
    "no_file",      "dvd_code_only",      "video_encrypted",  "disc_image",
    "disc_code_only", "frames_unwalked",
};
static_assert(sizeof stop_names / sizeof *stop_names == stop_frames_unwalked + 1, "a name for every stop");

// The notices whose key is their kind's alone.
const Named<NoticeKind> notice_names[] = {
    {notice_target_equals_source, "target_equals_source"},
    {notice_time_restored, "time_restored"},
    {notice_converted, "already_converted"},
    {notice_already, "already_target"},
    {notice_dvd_ifo_already, "already_target"},
    {notice_code_refused, "code_refused"},
    {notice_no_aspect_field, "no_aspect_field"},
    {notice_sets_no_table_code, "no_table_code"},
    {notice_place_refused, "place_refused"},
    {notice_no_container_place, "no_container_place"},
    {notice_sets_left, "sets_left"},
    {notice_sets_other, "sets_other"},
    {notice_file_cut, "file_cut"},
    {notice_cut_short, "cut_short"},
    {notice_file_missing, "file_missing"},
    {notice_file_no_video, "no_video"},
    {notice_foreign_video, "foreign_video"},
    {notice_no_default_target, "no_default_target"},
    {notice_file_no_marker, "no_marker"},
    {notice_file_taken_before, "taken_before"},
    {notice_folder_unreadable, "folder_unreadable"},
    {notice_folder_no_mpeg, "no_mpeg_file"},
    {notice_dvd_no_title_vob, "no_title_vob"},
    {notice_dvd_not_mpeg2, "not_mpeg2"},
};

// Notices that only say more of a failure that another notice keys.
const NoticeKind text_only[] = {
    notice_marker_other_name, notice_marker_other_size, notice_marker_other_rate,
    notice_damage,            notice_read_short,        notice_container_only_hint,
    notice_dvd_set_left,      notice_clip_left,         notice_clip_set_left,
};

}  // namespace

const char* result_key(int64_t result) {
    return name_of(result_names, static_cast<Result>(result));
}

const char* stop_key(StopReason reason) {
    return stop_names[reason];
}

const char* notice_key(const Notice* n) {
    switch (n->kind) {
    case notice_stop: return stop_key(notice_record<StopNotice>(n).reason);
    case notice_error: return result_key(notice_record<ErrorNotice>(n).result);
    case notice_outcome: return result_key(notice_record<RunOutcome>(n).result);
    case notice_open_failed: return notice_record<OpenFailedNotice>(n).held_by_run ? "held_by_run" : "open_gave_up";
    case notice_restore_misses:
        return notice_record<RestoreMissesNotice>(n).altered ? "restore_altered" : "restore_missed";
    default: break;
    }
    return name_of(notice_names, n->kind);
}

bool notice_has_text(const Notice* n) {
    for (NoticeKind kind : text_only) {
        if (kind == n->kind) return true;
    }
    return notice_key(n) != nullptr;
}

const char* container_name(const VideoFactsNotice* facts) {
    if (facts->container != nullptr) return facts->container;
    switch (facts->stream) {
    case stream_elementary: return "ES";
    case stream_program: return "PS";
    case stream_transport: return "TS";
    case stream_dvd_ifo: return "IFO";
    case stream_clip_info: return "CLPI";
    case stream_dv: return "DV";
    case stream_dvd_image: return "ISO";
    default: return nullptr;
    }
}

const char* site_kind_name(SiteKind kind) {
    static const char* const names[] = {
        "sequence_header", "parameter_set", "dvd_attributes", "display_size", "pixel_aspect", "display_elements",
        "frame_header", "video_object_layer", "dv_control", "frame_aspect", "clip_aspect",
        "asf_aspect", "mxf_aspect", "h263_picture", "header_par", "vc1_sequence_header",
    };
    static_assert(sizeof names / sizeof *names == site_vc1_sequence + 1, "a name for every kind of place");
    return names[kind];
}

const char* left_name(PlaceLeft left) {
    static const char* const names[] = {
        nullptr, "no_field", "no_code", "escaping", "unread", "no_room", "across_repeat", "other_video", "altered", "no_place",
        "container_only",
    };
    static_assert(sizeof names / sizeof *names == left_container_only + 1, "a name for every reason");
    return names[left];
}
