#include "jobs/batch_file.h"

#include "edit/editor.h"
#include "edit/marker_name.h"
#include "notices/fact_notices.h"
#include "notices/job_notices.h"
#include "run/exit_codes.h"
#include "run/file_run.h"

namespace {

bool marker_exists(const char* path) {
    return file_exists(marker_path(path, false).c_str()) == 0;
}

}  // namespace

std::string path_join(const std::string& folder, const std::string& entry) {
    bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    return separated ? folder + entry : folder + os_path_separator + entry;
}

void batch_file_name(const Batch* batch, const char* path) {
    if (batch->named) notify(batch->notices, FileNameNotice{path});
}

int file_ended(NoticeSink notices, const char* path, int code) {
    FileCount count = code == exit_ok ? count_changed : code == exit_same_aspect ? count_unchanged : count_failed;
    notify(notices, FileEndNotice{path, code, count});
    return code;
}

void batch_count(Batch* batch, const char* path, int code) {
    if (code == exit_ok) {
        ++batch->changed;
    } else if (code == exit_same_aspect) {
        ++batch->unchanged;
    } else {
        if (batch->failed++ == 0) batch->first_failure = code;
        batch->failures.emplace_back(path, code);
    }
    file_ended(batch->notices, path, code);
}

void batch_skip(Batch* batch, const char* path, int code) {
    ++batch->skipped;
    notify(batch->notices, FileEndNotice{path, code, count_skipped});
}

bool batch_taken_before(Batch* batch, const char* path) {
    OsFileId id = {0, 0};
    if (!os_name_file_id(path, &id)) return false;  // its run says why
    for (const OsFileId& taken : batch->taken) {
        if (taken.volume == id.volume && taken.index == id.index) {
            notify(batch->notices, notice_file_taken_before);
            batch_skip(batch, path, exit_same_aspect);
            return true;
        }
    }
    batch->taken.push_back(id);
    return false;
}

int batch_file(Batch* batch, const RunRequest* request, const char* path, BatchRole role, HeldFile* held) {
    batch_file_name(batch, path);
    if (batch_taken_before(batch, path)) return exit_same_aspect;
    if (role == role_folder_file && !file_video_known(path, request)) {
        notify(batch->notices, notice_file_no_video);
        batch_skip(batch, path, exit_not_mpeg);
        return exit_not_mpeg;
    }
    if (role == role_folder_file && mode_needs(request->mode).marker && !marker_exists(path)) {
        notify(batch->notices, notice_file_no_marker);
        batch_count(batch, path, exit_same_aspect);
        return exit_same_aspect;
    }
    int code = file_run(path, request, batch->notices, held);
    batch_count(batch, path, code);
    return code;
}
