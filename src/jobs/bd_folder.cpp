#include "jobs/bd_folder.h"

#include <vector>

#include "edit/editor.h"
#include "fileio/result.h"
#include "jobs/disc_parts.h"
#include "notices/job_notices.h"
#include "run/clip_run.h"
#include "run/dvd_run.h"
#include "run/exit_codes.h"

namespace {

constexpr size_t clip_name_length = 5;
constexpr uint32_t code_4x3 = 2;
constexpr uint32_t code_16x9 = 3;

struct Clip {
    std::string name;    // its five digits
    std::string stream;
    std::string info;    // its clip information, empty where there is none
    std::string backup;  // that file's copy under BACKUP/CLIPINF, empty where there is none
};

bool index_holds(const std::string& folder) {
    FolderNames names;
    if (!folder_names_read(folder, &names)) return false;
    return !folder_entry(names, "INDEX.BDMV").empty() || !folder_entry(names, "INDEX.BDM").empty();
}

// The folder at `path` under `folder`, one name after another, each in any
// letter case: empty where one is missing.
std::string folder_down(const std::string& folder, const std::vector<const char*>& path) {
    std::string at = folder;
    for (const char* name : path) {
        FolderNames names;
        if (!folder_names_read(at, &names)) return std::string();
        at = folder_entry(names, name);
        if (at.empty()) return at;
    }
    return at;
}

// The clip a stream's entry names (00001.M2TS, 00000.MTS): false for any
// other entry.
bool clip_name_of(const std::string& entry, std::string* name) {
    if (entry.size() <= clip_name_length) return false;
    for (size_t i = 0; i < clip_name_length; ++i) {
        if (entry[i] < '0' || entry[i] > '9') return false;
    }
    std::string extension = entry.substr(clip_name_length);
    if (!same_letters(extension, ".M2TS") && !same_letters(extension, ".MTS")) return false;
    *name = entry.substr(0, clip_name_length);
    return true;
}

std::string clip_info_entry(const FolderNames& names, const std::string& clip) {
    std::string found = folder_entry(names, (clip + ".CLPI").c_str());
    return found.empty() ? folder_entry(names, (clip + ".CPI").c_str()) : found;
}

std::vector<Clip> clips_find(const std::string& bdmv) {
    std::vector<Clip> clips;
    FolderNames streams;
    FolderNames infos;
    FolderNames backups;
    if (!folder_names_read(folder_down(bdmv, {"STREAM"}), &streams)) return clips;
    folder_names_read(folder_down(bdmv, {"CLIPINF"}), &infos);
    folder_names_read(folder_down(bdmv, {"BACKUP", "CLIPINF"}), &backups);
    for (const std::string& entry : streams.entries) {
        Clip clip;
        if (!clip_name_of(entry, &clip.name)) continue;
        clip.stream = path_join(streams.folder, entry);
        clip.info = clip_info_entry(infos, clip.name);
        clip.backup = clip_info_entry(backups, clip.name);
        clips.push_back(clip);
    }
    return clips;
}

// The clip's information files, its copy too.
std::vector<std::string> clip_infos(const Clip* clip) {
    std::vector<std::string> infos;
    if (!clip->info.empty()) infos.push_back(clip->info);
    if (!clip->backup.empty()) infos.push_back(clip->backup);
    return infos;
}

// One clip information file set to the target or put back, counted like a file.
void info_file_run(Batch* batch, const RunRequest* request, const std::string& path, uint32_t target, HeldFile* held) {
    batch_file_name(batch, path.c_str());
    if (batch_taken_before(batch, path.c_str())) return;
    int code = disc_part_run(path.c_str(), stream_clip_info, request, target, batch->notices, held);
    batch_count(batch, path.c_str(), code);
}

// A clip information file whose layout is not the one its version says is
// refused before any file of its clip is touched: its run says why, and
// the clip is said to be left whole. The other clips go on.
bool clip_infos_sound(Batch* batch, const RunRequest* request, const Clip* clip) {
    for (const std::string& path : clip_infos(clip)) {
        uint32_t code = 0;
        int32_t result = clip_info_look(path.c_str(), &code);
        if (result != result_clip_info_broken && result != result_no_mpeg_video) continue;
        info_file_run(batch, request, path, 0, nullptr);
        notify(batch->notices, notice_clip_left);
        return false;
    }
    return true;
}

// The clip's target: -o's; otherwise the other of 4:3 and 16:9 than the
// stream showed before the tool first changed it, so that a run cut off is
// finished and never swapped back; 0 where it shows neither. A clip
// information file that says another aspect than a stream the tool never
// changed is said, and set to the target with it.
uint32_t clip_target(Batch* batch, const TargetOption* option, const Clip* clip, const StreamLook* look) {
    uint32_t before = look->original != 0 ? look->original : look->shape;
    uint32_t target = before == code_4x3 ? code_16x9 : before == code_16x9 ? code_4x3 : 0;
    if (option->given) target = static_cast<uint32_t>(option->code);
    uint32_t info = 0;
    bool read = !clip->info.empty() && clip_info_look(clip->info.c_str(), &info) == 0;
    if (target != 0 && read && look->original == 0 && info != look->shape) {
        notify(batch->notices, ClipDisagreesNotice{info, look->shape, target});
    }
    return target;
}

bool file_done(int code) {
    return code == exit_ok || code == exit_same_aspect;
}

// The stream first, with the clip's target where the mode settles one; the
// clip information and its copy follow only once the stream is done, so
// that a clip left half done still shows it by a clip information that
// disagrees with its stream. A listing says what both record.
void clip_edit(Batch* batch, const RunRequest* request, const Clip* clip, const StreamLook* look, PartsHold* hold) {
    ModeNeeds needs = mode_needs(request->mode);
    RunRequest stream_request = *request;
    uint32_t target = needs.original ? clip_target(batch, &request->target, clip, look) : 0;
    if (target != 0) stream_request.set_target = static_cast<int32_t>(target);
    BatchRole role = needs.marker ? role_folder_file : role_named;
    int code = batch_file(batch, &stream_request, clip->stream.c_str(), role, held_file(hold, 0));
    uint32_t info = 0;
    if (!needs.writes) {
        if (!clip->info.empty() && clip_info_look(clip->info.c_str(), &info) == 0) {
            notify(batch->notices, ClipAspectsNotice{info, look->shape});
        }
        return;
    }
    if (!file_done(code) || (needs.original && target == 0)) {
        if (!clip->info.empty()) notify(batch->notices, notice_clip_info_kept);
        return;
    }
    std::vector<std::string> infos = clip_infos(clip);
    for (size_t k = 0; k < infos.size(); ++k) info_file_run(batch, request, infos[k], target, held_file(hold, k + 1));
}

void clip_run(Batch* batch, const RunRequest* request, const Clip* clip) {
    notify(batch->notices, ClipNotice{clip->name.c_str()});
    if (!clip_infos_sound(batch, request, clip)) return;
    StreamLook look = stream_look(clip->stream.c_str(), request);
    if (!look.found) {
        batch_file(batch, request, clip->stream.c_str(), role_folder_file, nullptr);
        return;
    }
    PartsHold hold;
    std::vector<std::string> paths = clip_infos(clip);
    paths.insert(paths.begin(), clip->stream);
    if (mode_needs(request->mode).writes && !parts_hold(batch, request, paths, notice_clip_set_left, &hold)) return;
    clip_edit(batch, request, clip, &look, &hold);
    parts_hold_release(&hold);
}

}  // namespace

bool bd_folder_find(const std::string& folder, std::string* bdmv) {
    const std::vector<std::vector<const char*>> places = {{}, {"BDMV"}, {"PRIVATE", "AVCHD", "BDMV"}};
    for (const auto& place : places) {
        std::string at = place.empty() ? folder : folder_down(folder, place);
        if (!at.empty() && index_holds(at)) {
            *bdmv = at;
            return true;
        }
    }
    return false;
}

void bd_folder_run(Batch* batch, const RunRequest* request, const std::string& bdmv) {
    for (const Clip& clip : clips_find(bdmv)) clip_run(batch, request, &clip);
}
