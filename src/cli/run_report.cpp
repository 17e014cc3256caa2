#include "cli/run_report.h"

#include <string>

#include "cli/name_tables.h"
#include "cli/summary.h"
#include "codecs/shapes.h"
#include "codecs/site.h"
#include "console/console.h"
#include "console/messages.h"
#include "notices/file_notices.h"

namespace {

unsigned u(int64_t n) {
    return static_cast<unsigned>(n);
}

long long ll(int64_t n) {
    return static_cast<long long>(n);
}

// The message of a result, after the position of the damaged unit where
// it names one, then the closing line with its number.
void error_report(int64_t result, int64_t position) {
    std::string closing = text_string(msg_error_end, static_cast<int>(result));
    const char* message = result_message(result);
    console_text("\n");
    if (message != nullptr && position >= 0) console_text(text_string(msg_at_position, ll(position)).c_str());
    console_text(message != nullptr ? message : closing.c_str());
    console_text("\n");
    console_line(closing.c_str());
}

const char* stop_message(StopReason stop) {
    static const char* const messages[] = {
        msg_empty_file,     msg_all_zero_file,    msg_tail_unreadable,    msg_buffer_error,
        msg_head_read_error, msg_buffer_error,    msg_tail_read_error,    msg_not_mpeg,
        msg_no_mpeg_video,  msg_no_video_scrambled, msg_open_refused,     msg_not_regular_file,
        msg_no_file,        msg_dvd_code_only,    msg_video_encrypted,    msg_disc_image,
        msg_disc_code_only,
        msg_frames_unwalked,
    };
    return messages[stop];
}

std::string sar_text(uint32_t width, uint32_t height, SarRatio sar) {
    char name[sar_name_capacity] = {};
    sar_name(width, height, sar, name);
    return name;
}

// An aspect as the codec's row names it.
std::string aspect_text(const AspectName& name, SiteAspect aspect) {
    switch (name.naming) {
    case naming_samples: return sar_text(name.width, name.height, aspect.sar);
    case naming_shapes: return aspect_code_name(naming_shapes, shape_of_sar(name.width, name.height, aspect.sar));
    default: return aspect_code_name(name.naming, aspect.code);
    }
}

std::string shape_text(uint64_t num, uint64_t den) {
    if (num * 3 == den * 4) return "4:3";
    if (num * 9 == den * 16) return "16:9";
    return text_string(fmt_display_ratio, static_cast<double>(num) / static_cast<double>(den));
}

// The summary line, after the container's name where the notice has one.
void summary_print(const char* container, const char* line) {
    if (container != nullptr) {
        console_print(fmt_line, text_string(fmt_container_summary, container, line).c_str());
    } else {
        console_print(fmt_line, line);
    }
}

// A container's place as the messages name it: its box or element, a
// parameter set with what holds it, or a sequence header.
std::string place_name(SiteKind site, SiteHolder holder) {
    const char* box = site_holder_name(holder);
    if (site == site_sequence_header) return msg_place_sequence_header;
    if (site == site_frame_header) return msg_place_frame_header;
    if (site == site_h263_picture) return msg_place_stream_picture;
    if (site == site_vc1_sequence) {
        return box != nullptr ? text_string(msg_place_config_sequence, box) : std::string(msg_place_sequence_header);
    }
    if (site == site_video_object_layer) {
        return box != nullptr ? text_string(msg_place_config_vol, box) : std::string(msg_place_stream_vol);
    }
    if (site == site_dv_control && box == nullptr) return msg_place_dv_pack;
    if (site != site_parameter_set) return box;
    return box != nullptr ? text_string(msg_place_config_set, box) : msg_place_sample_set;
}

// A codec's own header, as the texts name it alone.
const char* header_name(HeaderWord header) {
    switch (header) {
    case header_word_set: return msg_header_set;
    case header_word_vol: return msg_header_vol;
    case header_word_pack: return msg_place_dv_pack;
    case header_word_frame: return msg_place_frame_header;
    case header_word_picture: return msg_header_picture;
    default: return msg_place_sequence_header;
    }
}

// A first header that records no aspect: whether the run leaves it or
// writes the target there.
void first_silent_report(const FirstSilentNotice& n) {
    const char* header = header_name(n.header);
    const char* text = !n.field ? msg_first_no_field : n.takes ? msg_first_undefined_takes : msg_first_undefined_kept;
    console_print(text, header, header);
}

// What -c would do instead: the container's places it would change.
void container_only_hint_report(const ContainerOnlyHintNotice& n) {
    std::string places;
    for (uint32_t k = 0; k < n.places.count; ++k) {
        const PlaceAspect& p = n.places.kinds[k];
        if (!site_kind_of_container(p.site)) continue;
        if (!places.empty()) places += msg_names_separator;
        places += place_name(p.site, p.holder);
    }
    const char* header = header_name(n.header);
    console_print(msg_container_only_hint, places.c_str(), header, header);
}

// Which place of an MP4 or MOV file cannot take the target, and why.
void place_refused_report(const SiteRefusal& n) {
    std::string place = place_name(n.site, n.holder);
    const char* why = msg_why_unread;
    if (n.why == aspect_edit_no_field) why = msg_why_no_field;
    if (n.why == aspect_edit_no_code) why = msg_why_no_code;
    if (n.why == aspect_edit_escaping) why = msg_why_escaping;
    if (n.why == aspect_edit_no_room) why = msg_why_no_room;
    if (n.why == aspect_edit_fixed) why = msg_why_fixed;
    console_print(msg_place_refused, ll(n.pos), place.c_str(), why);
}

// The places that disagree, each kind with its aspect, after the aspect
// the run goes by.
void places_disagree_report(const PlacesDisagreeNotice& n) {
    console_print(msg_places_disagree, sar_text(n.name.width, n.name.height, n.shown).c_str());
    for (uint32_t k = 0; k < n.places.count; ++k) {
        const PlaceAspect& p = n.places.kinds[k];
        SarRatio sar = p.present ? p.aspect.sar : SarRatio{0, 0};
        // A code of the codec's own table is named as its texts name it.
        bool coded = p.site == site_sequence_header || p.site == site_dv_control;
        std::string aspect = coded ? aspect_text(n.name, p.aspect) : sar_text(n.name.width, n.name.height, sar);
        console_print(msg_place_aspect, place_name(p.site, p.holder).c_str(), aspect.c_str());
    }
}

void mpeg_summary_report(const MpegSummaryNotice& n) {
    char line[512] = {};
    format_summary_line(&n.summary, line);
    summary_print(n.container, line);
}

void sar_summary_report(const SarSummaryNotice& n) {
    char line[512] = {};
    format_sar_summary_line(&n.summary, line);
    summary_print(n.container, line);
}

// What a run says of its file before the walk: aspects and summary.
bool file_report(const Notice* n) {
    switch (n->kind) {
    case notice_opened_late: console_text(msg_opened_late); return true;
    case notice_aspect: {
        const auto& r = notice_record<AspectNotice>(n);
        console_print(r.target ? msg_target_aspect : msg_source_aspect, aspect_text(r.name, r.aspect).c_str());
        return true;
    }
    case notice_display_unchanged: {
        const auto& r = notice_record<DisplayUnchangedNotice>(n);
        console_print(msg_display_unchanged, u(r.width), u(r.height), shape_text(r.shown_num, r.shown_den).c_str());
        return true;
    }
    case notice_display_size: {
        const auto& r = notice_record<DisplaySizeNotice>(n);
        console_print(msg_display_size, u(r.width), u(r.height));
        return true;
    }
    case notice_foreign_video:
        console_print(msg_foreign_video, foreign_video_name(notice_record<ForeignVideoNotice>(n).video));
        return true;
    case notice_other_tracks: {
        const auto& r = notice_record<OtherTracksNotice>(n);
        console_print(msg_other_tracks, u(r.count), static_cast<unsigned>(r.first_id));
        return true;
    }
    case notice_places_disagree: places_disagree_report(notice_record<PlacesDisagreeNotice>(n)); return true;
    case notice_mpeg_summary: mpeg_summary_report(notice_record<MpegSummaryNotice>(n)); return true;
    case notice_sar_summary: sar_summary_report(notice_record<SarSummaryNotice>(n)); return true;
    default: return false;
    }
}

// -o names no code the video takes: the range, then what was given.
void code_refused_report(const CodeRefusedNotice& n) {
    const char* const ranges[] = {msg_aspect_out_of_range, msg_sps_aspect_out_of_range, msg_dv_aspect_out_of_range};
    console_text(ranges[n.range]);
    if (n.digits) {
        console_print(msg_aspect_given, static_cast<int>(n.code));
    } else {
        console_print_name(msg_aspect_given_text, n.text);
    }
}

void open_failed_report(const OpenFailedNotice& n) {
    if (n.held_by_run) {
        console_print(msg_open_held_by_run, static_cast<int>(n.failed));
    } else {
        console_line(text_string(msg_open_gave_up, static_cast<int>(n.failed)).c_str());
    }
}

// That every one of the codec's own headers (or the container's places)
// holds the target already.
const char* already_message(HeaderWord header) {
    switch (header) {
    case header_word_set: return msg_sps_already_target;
    case header_word_vol: return msg_vols_already_target;
    case header_word_pack: return msg_packs_already_target;
    case header_word_frame: return msg_places_already_target;
    case header_word_picture: return msg_pictures_already_target;
    default: return msg_already_target;
    }
}

// Why a run has nothing to do: the target is there already.
bool same_report(const Notice* n) {
    switch (n->kind) {
    case notice_converted: {
        const auto& r = notice_record<ConvertedNotice>(n);
        console_print(msg_already_converted, aspect_text(r.name, r.original).c_str(),
                      aspect_text(r.name, r.target).c_str());
        return true;
    }
    case notice_already: {
        const auto& r = notice_record<AlreadyNotice>(n);
        console_print(already_message(r.header), aspect_text(r.name, r.aspect).c_str());
        return true;
    }
    case notice_first_silent: first_silent_report(notice_record<FirstSilentNotice>(n)); return true;
    case notice_container_placeless: console_text(msg_avi_no_place); return true;
    case notice_pixel_aspect_missing: console_text(msg_iso_no_pasp); return true;
    case notice_codec_place_left: {
        const auto& r = notice_record<CodecPlaceLeftNotice>(n);
        std::string place = place_name(r.place.site, r.place.holder);
        SarRatio sar = r.place.present ? r.place.aspect.sar : SarRatio{0, 0};
        console_print(msg_codec_place_left, place.c_str(), sar_text(r.width, r.height, sar).c_str());
        return true;
    }
    case notice_target_equals_source: console_text(msg_target_equals_source); return true;
    case notice_time_restored: console_text(msg_time_restored); return true;
    default: return false;
    }
}

// Why a run ends before its walk.
bool stop_report(const Notice* n) {
    switch (n->kind) {
    case notice_code_refused: code_refused_report(notice_record<CodeRefusedNotice>(n)); return true;
    case notice_no_aspect_field: {
        HeaderWord header = notice_record<NoAspectFieldNotice>(n).header;
        console_text(header == header_word_vol       ? msg_vol_no_aspect_field
                     : header == header_word_picture ? msg_picture_no_aspect_field
                     : header == header_word_vc1     ? msg_vc1_no_aspect_field
                                                     : msg_sps_no_aspect_field);
        return true;
    }
    case notice_sets_no_table_code: {
        const SarRatio& sar = notice_record<SetsNoTableCodeNotice>(n).sar;
        console_print(msg_sps_no_table_code, u(sar.width), u(sar.height));
        return true;
    }
    case notice_place_refused: place_refused_report(notice_record<SiteRefusal>(n)); return true;
    case notice_container_only_hint: container_only_hint_report(notice_record<ContainerOnlyHintNotice>(n)); return true;
    case notice_no_container_place: console_text(msg_no_container_place); return true;
    case notice_no_default_target: {
        const auto& r = notice_record<NoDefaultTargetNotice>(n);
        console_print(msg_no_default_target, sar_text(r.width, r.height, r.shown).c_str());
        return true;
    }
    case notice_stop: console_text(stop_message(notice_record<StopNotice>(n).reason)); return true;
    case notice_open_failed: open_failed_report(notice_record<OpenFailedNotice>(n)); return true;
    case notice_error: {
        const auto& error = notice_record<ErrorNotice>(n);
        error_report(error.result, error.position);
        return true;
    }
    default: return false;
    }
}

// The closing lines of the walk's outcome.
void outcome_report(const RunOutcome& outcome) {
    if (outcome.result < 0) {
        error_report(outcome.result, outcome.position);
        return;
    }
    switch (outcome.ending) {
    case ending_listed: console_text(msg_list_done); return;
    case ending_restored:
    case ending_restored_partly:
        console_text("\n");
        console_line(outcome.ending == ending_restored_partly ? msg_restore_partial : msg_restored);
        return;
    default:
        console_text("\n");
        console_line(outcome.marker_created ? msg_converted_ini_created : msg_converted);
        return;
    }
}

}  // namespace

const char* result_message(int64_t result) {
    switch (result) {
    case result_open_error: return msg_engine_open;
    case result_data_buffer_error: return msg_engine_buffer_1;
    case result_block_buffer_error: return msg_engine_buffer_2;
    case result_stream_id_error: return msg_engine_stream_id;
    case result_side_file_error: return msg_engine_ini_create;
    case result_write_error: return msg_engine_write;
    case result_read_error: return msg_engine_read;
    case result_marker_write_error: return msg_engine_marker_write;
    case result_list_write_error: return msg_engine_list_write;
    case result_close_error: return msg_engine_close;
    case result_no_sequence_header: return msg_engine_no_sequence_header;
    case result_marker_unreadable: return msg_engine_marker_unreadable;
    case result_marker_missing: return msg_engine_marker_missing;
    case result_marker_remove_error: return msg_engine_marker_remove;
    case result_marker_foreign: return msg_engine_marker_foreign;
    case result_marker_linked: return msg_engine_marker_linked;
    case result_not_dvd_ifo: return msg_engine_not_dvd_ifo;
    case result_no_sps: return msg_engine_no_sps;
    case result_list_not_ours: return msg_engine_list_not_ours;
    case result_sps_unreadable: return msg_engine_sps_unreadable;
    case result_video_pid_empty: return msg_engine_video_pid_empty;
    case result_video_scrambled: return msg_engine_video_scrambled;
    case result_no_movie: return msg_engine_no_movie;
    case result_box_broken: return msg_engine_box_broken;
    case result_samples_outside: return msg_engine_samples_outside;
    case result_samples_unaccounted: return msg_engine_samples_unaccounted;
    case result_file_cut: return msg_engine_file_cut;
    case result_no_vol: return msg_engine_no_vol;
    case result_element_broken: return msg_engine_element_broken;
    case result_chunk_broken: return msg_engine_chunk_broken;
    case result_clip_info_broken: return msg_engine_clip_info_broken;
    case result_object_broken: return msg_engine_object_broken;
    case result_klv_broken: return msg_engine_klv_broken;
    case result_tag_broken: return msg_engine_tag_broken;
    case result_page_broken: return msg_engine_page_broken;
    case result_disc_other: return msg_disc_image;
    case result_disc_split: return msg_engine_disc_split;
    case result_disc_disagree: return msg_engine_disc_disagree;
    case result_disc_broken: return msg_engine_disc_broken;
    case result_no_dv_pack: return msg_engine_no_dv_pack;
    case result_no_h263_picture: return msg_engine_no_h263_picture;
    default: return nullptr;
    }
}

bool run_notice_report(const Notice* n) {
    if (n->kind == notice_outcome) {
        outcome_report(notice_record<RunOutcome>(n));
        return true;
    }
    return file_report(n) || same_report(n) || stop_report(n);
}
