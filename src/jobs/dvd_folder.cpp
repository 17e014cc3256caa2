#include "jobs/dvd_folder.h"

#include <vector>

#include "edit/editor.h"
#include "formats/dvd_ifo.h"
#include "jobs/disc_parts.h"
#include "notices/job_notices.h"
#include "run/dvd_run.h"
#include "run/exit_codes.h"

namespace {

constexpr uint32_t code_4x3 = 2;
constexpr uint32_t code_16x9 = 3;

struct TitleSet {
    unsigned number;
    std::string ifo;
    std::string bup;
    std::vector<std::string> vobs;
    uint32_t first_codes[title_vobs_most];  // each VOB's first header's code, 0 when none
    uint32_t original;  // what the set was before the tool changed it: 2, 3, or 0 when unknown
    bool mpeg2;
};

std::string set_file(const FolderNames& names, unsigned number, unsigned k, const char* extension) {
    return folder_entry(names, title_set_file_name(number, k, extension).c_str());
}

bool title_set_find(const FolderNames& names, unsigned number, TitleSet* set) {
    set->ifo = set_file(names, number, 0, "IFO");
    if (set->ifo.empty()) return false;
    set->number = number;
    set->bup = set_file(names, number, 0, "BUP");
    set->vobs.clear();
    for (unsigned k = 1; k <= title_vobs_most; ++k) {
        std::string vob = set_file(names, number, k, "VOB");
        if (!vob.empty()) set->vobs.push_back(vob);
    }
    return true;
}

// Whether the IFO or BUP reads, and the aspect code its attributes say.
bool ifo_code(const std::string& path, uint32_t* code) {
    return !path.empty() && ifo_look(path.c_str(), code);
}

// A title set's IFO and BUP that disagree: a run was cut off between the
// two writes.
bool backup_differs(const TitleSet* set) {
    uint32_t ifo = 0;
    uint32_t bup = 0;
    return ifo_code(set->ifo, &ifo) && ifo_code(set->bup, &bup) && ifo != bup;
}

// What each title VOB's first sequence header says: its aspect code, and
// whether the video is MPEG-2; and what the set was before the tool first
// changed it, as the first VOB's marker file says, or the IFO's.
void title_set_probe(TitleSet* set, const RunRequest* request) {
    set->mpeg2 = false;
    set->original = 0;
    for (size_t k = 0; k < set->vobs.size(); ++k) {
        VideoLook look = video_look(set->vobs[k].c_str(), request);
        set->first_codes[k] = look.code;
        if (k > 0) continue;
        set->mpeg2 = look.mpeg2;
        set->original = look.original_code != 0 ? look.original_code : ifo_original_code(set->ifo.c_str());
    }
}

// The set's target: -o's; otherwise the other of 4:3 and 16:9 than the set
// was before the tool first changed it, so that a run cut off is finished
// and never swapped back. A set that the tool never changed but whose VOBs
// disagree, or whose IFO or BUP disagrees with them (a set half fixed by
// hand), is made to follow its first VOB; otherwise 4:3 and 16:9 are
// exchanged.
uint32_t title_set_target(Batch* batch, const TitleSet* set, const TargetOption* option) {
    if (option->given) return static_cast<uint32_t>(option->code);
    uint32_t first = set->first_codes[0];
    bool mixed = false;
    for (size_t k = 1; k < set->vobs.size(); ++k) {
        if (set->first_codes[k] != 0 && set->first_codes[k] != first) mixed = true;
    }
    uint32_t ifo = 0;
    if ((ifo_code(set->ifo, &ifo) && ifo != first) || backup_differs(set)) mixed = true;
    uint32_t target = first == code_16x9 ? code_4x3 : code_16x9;
    if (set->original == code_4x3 || set->original == code_16x9) {
        target = set->original == code_16x9 ? code_4x3 : code_16x9;
    } else if (mixed) {
        target = first;
    }
    if (mixed) notify(batch->notices, MadeConsistentNotice{target});
    return target;
}

// The title VOBs, the IFO and the BUP, held together.
bool title_set_hold(Batch* batch, const RunRequest* request, const TitleSet* set, PartsHold* hold) {
    std::vector<std::string> paths = set->vobs;
    paths.push_back(set->ifo);
    if (!set->bup.empty()) paths.push_back(set->bup);
    return parts_hold(batch, request, paths, notice_dvd_set_left, hold);
}

// One IFO or BUP set to the target or put back, counted like a file.
void ifo_file_run(Batch* batch, const RunRequest* request, const std::string& path, uint32_t target, HeldFile* held) {
    if (path.empty()) return;
    batch_file_name(batch, path.c_str());
    if (batch_taken_before(batch, path.c_str())) return;
    batch_count(batch, path.c_str(), disc_part_run(path.c_str(), stream_dvd_ifo, request, target, batch->notices, held));
}

// The IFO and its backup, once the VOBs are done; a backup that disagrees
// with its IFO was cut off between the two writes, and is made to agree.
void ifo_pair_run(Batch* batch, const RunRequest* request, const TitleSet* set, uint32_t target, PartsHold* hold) {
    if (backup_differs(set)) notify(batch->notices, notice_dvd_bup_differs);
    size_t ifo = set->vobs.size();
    ifo_file_run(batch, request, set->ifo, target, held_file(hold, ifo));
    ifo_file_run(batch, request, set->bup, target, held_file(hold, ifo + 1));
}

bool file_done(int code) {
    return code == exit_ok || code == exit_same_aspect;
}

// The VOBs first, with the set's one target where the mode settles one from
// what the set was before; a VOB without a marker file has nothing to undo.
// The IFO and BUP follow only once every VOB is done, so that a set left
// half done (a VOB that fails on its way) still shows it by an IFO that
// disagrees with the VOBs, and another disc's files copied over a set keep
// their own attributes as well as their video. A walk that writes nothing
// leaves them, and says what the IFO holds.
void title_set_edit(Batch* batch, const RunRequest* request, const TitleSet* set, PartsHold* hold) {
    ModeNeeds needs = mode_needs(request->mode);
    RunRequest vob_request = *request;
    if (needs.original) vob_request.set_target = static_cast<int32_t>(title_set_target(batch, set, &request->target));
    BatchRole role = needs.marker ? role_folder_file : role_named;
    bool all_done = true;
    for (size_t k = 0; k < set->vobs.size(); ++k) {
        int code = batch_file(batch, &vob_request, set->vobs[k].c_str(), role, held_file(hold, k));
        if (!file_done(code)) all_done = false;
    }
    if (!needs.writes) {
        uint32_t ifo = 0;
        if (ifo_code(set->ifo, &ifo)) notify(batch->notices, DvdAspectsNotice{ifo, set->first_codes[0]});
        return;
    }
    if (!all_done) {
        notify(batch->notices, needs.marker ? notice_dvd_ifo_not_restored : notice_dvd_ifo_kept);
        return;
    }
    ifo_pair_run(batch, request, set, needs.original ? static_cast<uint32_t>(vob_request.set_target) : 0, hold);
}

void title_set_run(Batch* batch, const RunRequest* request, TitleSet* set) {
    notify(batch->notices, TitleSetNotice{set->number});
    if (set->vobs.empty()) {
        notify(batch->notices, notice_dvd_no_title_vob);
        batch_skip(batch, set->ifo.c_str(), exit_not_mpeg);
        return;
    }
    title_set_probe(set, request);
    if (!set->mpeg2) {
        notify(batch->notices, notice_dvd_not_mpeg2);
        for (const std::string& vob : set->vobs) batch_skip(batch, vob.c_str(), exit_not_mpeg);
        return;
    }
    PartsHold hold;
    if (mode_needs(request->mode).writes && !title_set_hold(batch, request, set, &hold)) return;
    title_set_edit(batch, request, set, &hold);
    parts_hold_release(&hold);
}

}  // namespace

bool dvd_folder_find(const std::string& folder, std::string* video_ts) {
    FolderNames names;
    if (!folder_names_read(folder, &names)) return false;
    if (!folder_entry(names, "VIDEO_TS.IFO").empty()) {
        *video_ts = folder;
        return true;
    }
    std::string inner = folder_entry(names, "VIDEO_TS");
    FolderNames inner_names;
    if (inner.empty() || !folder_names_read(inner, &inner_names)) return false;
    if (folder_entry(inner_names, "VIDEO_TS.IFO").empty()) return false;
    *video_ts = inner;
    return true;
}

void dvd_folder_run(Batch* batch, const RunRequest* request, const std::string& video_ts) {
    FolderNames names;
    folder_names_read(video_ts, &names);
    TitleSet set;
    for (unsigned number = 1; number <= title_sets_most; ++number) {
        if (title_set_find(names, number, &set)) title_set_run(batch, request, &set);
    }
}
