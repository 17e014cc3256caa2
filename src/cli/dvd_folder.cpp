#include "cli/dvd_folder.h"

#include <cstdio>
#include <cstring>

#include "analysis/name_tables.h"
#include "cli/run_driver.h"
#include "console/console.h"
#include "console/messages.h"
#include "rewrite/ifo_attributes.h"

namespace {

constexpr unsigned title_sets_most = 99;
constexpr unsigned title_vobs_most = 9;
constexpr uint32_t code_4x3 = 2;
constexpr uint32_t code_16x9 = 3;

typedef char PathText[sizeof(ConvertJob::path)];

struct TitleSet {
    unsigned number;
    PathText ifo;
    PathText bup;
    PathText vobs[title_vobs_most];
    unsigned vob_count;
    uint32_t first_codes[title_vobs_most];  // each VOB's first header's code, 0 when none
    bool mpeg2;
};

bool named_file(const char* folder, const char* name, char* path) {
    return path_join(folder, name, path) && file_exists(path) == 0;
}

bool title_set_find(const char* video_ts, unsigned number, TitleSet* set) {
    char name[16];
    std::snprintf(name, sizeof name, "VTS_%02u_0.IFO", number);
    if (!named_file(video_ts, name, set->ifo)) return false;
    set->number = number;
    std::snprintf(name, sizeof name, "VTS_%02u_0.BUP", number);
    if (!named_file(video_ts, name, set->bup)) set->bup[0] = '\0';
    set->vob_count = 0;
    for (unsigned k = 1; k <= title_vobs_most; ++k) {
        std::snprintf(name, sizeof name, "VTS_%02u_%u.VOB", number, k);
        if (named_file(video_ts, name, set->vobs[set->vob_count])) ++set->vob_count;
    }
    return true;
}

// What each title VOB's first sequence header says: its aspect code, and
// whether the video is MPEG-2.
void title_set_probe(TitleSet* set, const CommandLine* line) {
    set->mpeg2 = false;
    for (unsigned k = 0; k < set->vob_count; ++k) {
        ConvertJob job = line->job;
        std::strcpy(job.path, set->vobs[k]);
        VideoHeaderProbe probe;
        TsProgram program;
        bool found = video_header_seek(&job, &probe, &program, nullptr) == 0 && video_probe_found(&probe);
        set->first_codes[k] = found ? probe.header[7] >> 4 : 0;
        if (k == 0) set->mpeg2 = found && probe.extension == 1;
    }
}

// The set's target: -o's code; where a run left the set half done, or the
// IFO disagrees with the VOBs, the first VOB's code, which the others are
// made to follow; otherwise 4:3 and 16:9 exchanged.
uint32_t title_set_target(const TitleSet* set, const CommandLine* line) {
    if (command_line_has_o(line)) return static_cast<uint32_t>(o_option_value(line->o_text));
    uint32_t first = set->first_codes[0];
    bool mixed = false;
    for (unsigned k = 1; k < set->vob_count; ++k) {
        if (set->first_codes[k] != 0 && set->first_codes[k] != first) mixed = true;
    }
    IfoVideo ifo;
    if (ifo_video_read(set->ifo, &ifo) == 0 && ifo.aspect != first) mixed = true;
    if (mixed) {
        console_print(msg_dvd_made_consistent, aspect_name(2, first));
        return first;
    }
    return first == code_16x9 ? code_4x3 : code_16x9;
}

// One IFO or BUP set to the target or put back, counted like a file.
void ifo_file_run(Batch* batch, const CommandLine* line, const char* path, uint32_t target) {
    if (path[0] == '\0') return;
    batch_file_name(batch, path);
    bool undo = (line->job.mode_flags & mode_undo) != 0;
    int32_t result = undo ? ifo_aspect_restore(path) : ifo_aspect_set(path, target);
    int code = exit_ok;
    if (result == ifo_already) {
        console_print(msg_dvd_ifo_already, aspect_name(2, target));
        code = exit_same_aspect;
    } else if (undo && result == rewrite_marker_missing) {
        console_text(msg_batch_no_marker);
        code = exit_same_aspect;
    } else if (result == rewrite_open_refused) {
        console_text(msg_open_refused);
        code = exit_open_gave_up;
    } else {
        report_result(result, &line->job);
        code = exit_code_of(result, &line->job);
    }
    batch_count(batch, path, code);
}

void title_vobs_list(Batch* batch, const CommandLine* line, const TitleSet* set) {
    for (unsigned k = 0; k < set->vob_count; ++k) batch_file(batch, line, set->vobs[k], role_named);
    IfoVideo ifo;
    if (ifo_video_read(set->ifo, &ifo) == 0) {
        console_print(msg_dvd_aspects, aspect_name(2, ifo.aspect), aspect_name(2, set->first_codes[0]));
    }
}

void title_set_undo(Batch* batch, const CommandLine* line, const TitleSet* set) {
    for (unsigned k = 0; k < set->vob_count; ++k) {
        batch_file(batch, line, set->vobs[k], role_folder_file);
    }
    ifo_file_run(batch, line, set->ifo, 0);
    ifo_file_run(batch, line, set->bup, 0);
}

// The VOBs first; the IFO and BUP only once every VOB is done, so that a set
// left half done still shows it by an IFO that disagrees with the VOBs.
void title_set_rewrite(Batch* batch, const CommandLine* line, const TitleSet* set) {
    uint32_t target = title_set_target(set, line);
    CommandLine vob_line = *line;
    std::snprintf(vob_line.o_text, sizeof vob_line.o_text, "-o%u", target);
    bool all_done = true;
    for (unsigned k = 0; k < set->vob_count; ++k) {
        int code = batch_file(batch, &vob_line, set->vobs[k], role_named);
        if (code != exit_ok && code != exit_same_aspect) all_done = false;
    }
    if (!all_done) {
        console_text(msg_dvd_ifo_kept);
        return;
    }
    ifo_file_run(batch, line, set->ifo, target);
    ifo_file_run(batch, line, set->bup, target);
}

void title_set_run(Batch* batch, const CommandLine* line, TitleSet* set) {
    console_print(msg_dvd_title_set, set->number);
    if (set->vob_count == 0) {
        console_text(msg_dvd_no_title_vob);
        ++batch->skipped;
        return;
    }
    title_set_probe(set, line);
    if (!set->mpeg2) {
        console_text(msg_dvd_not_mpeg2);
        batch->skipped += set->vob_count;
        return;
    }
    if ((line->job.mode_flags & mode_list) != 0) {
        title_vobs_list(batch, line, set);
    } else if ((line->job.mode_flags & mode_undo) != 0) {
        title_set_undo(batch, line, set);
    } else {
        title_set_rewrite(batch, line, set);
    }
}

}  // namespace

bool dvd_folder_find(const char* folder, char* video_ts) {
    PathText path;
    if (named_file(folder, "VIDEO_TS.IFO", path)) {
        std::strcpy(video_ts, folder);
        return true;
    }
    return path_join(folder, "VIDEO_TS", video_ts) && named_file(video_ts, "VIDEO_TS.IFO", path);
}

void dvd_folder_run(Batch* batch, const CommandLine* line, const char* video_ts) {
    TitleSet set;
    for (unsigned number = 1; number <= title_sets_most; ++number) {
        if (title_set_find(video_ts, number, &set)) title_set_run(batch, line, &set);
    }
}
