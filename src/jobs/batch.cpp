#include "jobs/batch.h"

#include <algorithm>

#include "edit/side_files.h"
#include "jobs/batch_file.h"
#include "jobs/bd_folder.h"
#include "jobs/dvd_folder.h"
#include "notices/file_notices.h"
#include "notices/job_notices.h"
#include "run/exit_codes.h"
#include "run/file_run.h"

namespace {

void entry_collect(void* context, const char* entry) {
    static_cast<std::vector<std::string>*>(context)->push_back(entry);
}

// The files directly in a folder that is no DVD-Video folder, in name
// order, as the folder held them before any run: the side files the runs
// make or remove (an undo removes its marker) never join or leave the
// list, and those the tool made before are passed over, never counted.
void folder_run(Batch* batch, const RunRequest* request, const std::string& folder) {
    std::vector<std::string> entries;
    if (!os_folder_list(folder.c_str(), entry_collect, &entries)) {
        batch_file_name(batch, folder.c_str());
        notify(batch->notices, notice_folder_unreadable);
        batch_count(batch, folder.c_str(), exit_no_file);
        return;
    }
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> files;
    for (const std::string& entry : entries) {
        std::string path = path_join(folder, entry);
        if (!os_name_is_folder(path.c_str()) && !side_file_ours(path.c_str())) files.push_back(path);
    }
    for (const std::string& path : files) batch_file(batch, request, path.c_str(), role_folder_file, nullptr);
}

void name_run(Batch* batch, const RunRequest* request, const char* name) {
    std::string path;
    if (!name_resolve(name, &path)) {
        batch_file_name(batch, name);
        notify(batch->notices, notice_file_missing);
        batch_count(batch, name, exit_no_file);
        return;
    }
    std::string video_ts;
    std::string bdmv;
    if (!os_name_is_folder(path.c_str())) {
        batch_file(batch, request, path.c_str(), role_named, nullptr);
    } else if (bd_folder_find(path, &bdmv)) {
        bd_folder_run(batch, request, bdmv);
    } else if (dvd_folder_find(path, &video_ts)) {
        dvd_folder_run(batch, request, video_ts);
    } else {
        folder_run(batch, request, path);
    }
}

// DVD-Video, Blu-ray and AVCHD know 4:3 and 16:9 only; any other -o is
// refused before anything is done: stop_dvd_code_only or
// stop_disc_code_only, or -1 where none is refused.
int disc_code_refused(const TargetOption* option, char** names, int name_count) {
    if (!option->given || (option->digits && (option->code == 2 || option->code == 3))) return -1;
    std::string path;
    std::string found;
    for (int i = 0; i < name_count; ++i) {
        if (!name_resolve(names[i], &path) || !os_name_is_folder(path.c_str())) continue;
        if (bd_folder_find(path, &found)) return stop_disc_code_only;
        if (dvd_folder_find(path, &found)) return stop_dvd_code_only;
    }
    return -1;
}

// 0 when every file ended 0 or 4 (4 when all ended 4), else the code of the
// first that failed.
int batch_finish(const Batch* batch) {
    uint32_t total = batch->changed + batch->unchanged + batch->failed + batch->skipped;
    if (total >= 2) {
        notify(batch->notices, BatchTotalNotice{total, batch->changed, batch->unchanged, batch->failed, batch->skipped});
        for (const auto& [path, code] : batch->failures) notify(batch->notices, BatchFailedNotice{path.c_str(), code});
    }
    if (batch->failed > 0) return batch->first_failure;
    if (batch->changed + batch->unchanged == 0) {
        notify(batch->notices, notice_folder_no_mpeg);
        return exit_not_mpeg;
    }
    return batch->changed == 0 ? exit_same_aspect : exit_ok;
}

}  // namespace

// A video is named as the file system resolves the argument, so that its
// side files are named from the same name whichever way it was typed.
bool name_resolve(const char* name, std::string* path) {
    *path = os_name_resolve(name);
    return file_exists(path->c_str()) == 0;
}

int batch_run(const RunRequest* request, char** names, int name_count, NoticeSink notices) {
    std::string path;
    bool one_name = name_count == 1;
    bool found = name_resolve(names[0], &path);
    // One file alone runs as it always did.
    if (one_name && !found) {
        notify(notices, StopNotice{stop_no_file});
        return file_ended(notices, names[0], exit_no_file);
    }
    if (one_name && !os_name_is_folder(path.c_str())) {
        return file_ended(notices, path.c_str(), file_run(path.c_str(), request, notices, nullptr));
    }
    int refused = disc_code_refused(&request->target, names, name_count);
    if (refused >= 0) {
        notify(notices, StopNotice{static_cast<StopReason>(refused)});
        return exit_bad_option;
    }
    Batch batch{};
    batch.notices = notices;
    batch.named = true;
    RunRequest many = *request;
    many.pace = open_at_once;
    for (int i = 0; i < name_count; ++i) name_run(&batch, &many, names[i]);
    return batch_finish(&batch);
}
