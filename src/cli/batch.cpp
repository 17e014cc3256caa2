#include "cli/batch.h"

#include <algorithm>
#include <cstring>

#include "analysis/header_analysis.h"
#include "cli/dvd_folder.h"
#include "cli/run_driver.h"
#include "console/console.h"
#include "console/messages.h"
#include "rewrite/side_files.h"

namespace {

// Enough of a file's head to tell an MPEG stream from anything else.
constexpr uint32_t kind_look = 0x10000;

// Whether the engine would take the file as MPEG at all: the same test of
// its head.
bool file_looks_mpeg(const char* path) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    if (file_open(&file, path, generic_read) != file_opened) return true;  // its run says why
    std::vector<uint8_t> head(kind_look);
    uint32_t got = file_read(&file, head.data(), kind_look);
    file_close(&file);
    return stream_layout_detect(head.data(), got).kind != stream_not_mpeg;
}

bool marker_exists(const char* path) {
    return file_exists(side_path(path, marker_extension).c_str()) == 0;
}

void entry_collect(void* context, const char* entry) {
    static_cast<std::vector<std::string>*>(context)->push_back(entry);
}

// The files directly in a folder that is no DVD-Video folder, in name order.
void folder_run(Batch* batch, const CommandLine* line, const std::string& folder) {
    std::vector<std::string> entries;
    if (!os_folder_list(folder.c_str(), entry_collect, &entries)) {
        batch_file_name(batch, folder.c_str());
        console_text(msg_folder_unreadable);
        batch_count(batch, folder.c_str(), exit_no_file);
        return;
    }
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries) {
        std::string path = path_join(folder, entry);
        if (!os_name_is_folder(path.c_str())) batch_file(batch, line, path.c_str(), role_folder_file);
    }
}

void name_run(Batch* batch, const CommandLine* line, const char* name) {
    std::string path;
    if (!command_line_name_resolve(name, &path)) {
        batch_file_name(batch, name);
        console_text(msg_batch_missing);
        batch_count(batch, name, exit_no_file);
        return;
    }
    std::string video_ts;
    if (!os_name_is_folder(path.c_str())) {
        batch_file(batch, line, path.c_str(), role_named);
    } else if (dvd_folder_find(path, &video_ts)) {
        dvd_folder_run(batch, line, video_ts);
    } else {
        folder_run(batch, line, path);
    }
}

// DVD-Video knows 4:3 and 16:9 only; any other -o is refused before
// anything is done.
bool dvd_code_refused(const CommandLine* line) {
    if (!command_line_has_o(line)) return false;
    const char* o_text = line->o_text.c_str();
    int32_t code = o_option_value(o_text);
    if (o_option_digits(o_text) && (code == 2 || code == 3)) return false;
    std::string path;
    std::string video_ts;
    for (int i = 0; i < line->name_count; ++i) {
        if (command_line_name_resolve(line->names[i], &path) && os_name_is_folder(path.c_str()) &&
            dvd_folder_find(path, &video_ts)) {
            return true;
        }
    }
    return false;
}

// 0 when every file ended 0 or 4 (4 when all ended 4), else the code of the
// first that failed.
int batch_finish(const Batch* batch) {
    uint32_t total = batch->changed + batch->unchanged + batch->failed + batch->skipped;
    if (total >= 2) {
        console_print(msg_batch_total, total, batch->changed, batch->unchanged, batch->failed,
                      batch->skipped);
        for (const std::string& failure : batch->failures) console_text(failure.c_str());
    }
    if (batch->failed > 0) return batch->first_failure;
    if (batch->changed + batch->unchanged == 0) {
        console_text(msg_folder_no_mpeg);
        return exit_not_mpeg;
    }
    return batch->changed == 0 ? exit_same_aspect : exit_ok;
}

}  // namespace

std::string path_join(const std::string& folder, const std::string& entry) {
    bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    return separated ? folder + entry : folder + os_path_separator + entry;
}

void batch_file_name(const Batch* batch, const char* path) {
    if (batch->named) console_print(msg_batch_file, os_name_cp932(path).c_str());
}

void batch_count(Batch* batch, const char* path, int code) {
    if (code == exit_ok) {
        ++batch->changed;
    } else if (code == exit_same_aspect) {
        ++batch->unchanged;
    } else {
        if (batch->failed++ == 0) batch->first_failure = code;
        batch->failures.push_back(text_string(msg_batch_failed, os_name_cp932(path).c_str(), code));
    }
}

bool batch_taken_before(Batch* batch, const char* path) {
    OsFileId id = {0, 0};
    if (!os_name_file_id(path, &id)) return false;  // its run says why
    for (const OsFileId& taken : batch->taken) {
        if (taken.volume == id.volume && taken.index == id.index) {
            console_text(msg_batch_duplicate);
            ++batch->skipped;
            return true;
        }
    }
    batch->taken.push_back(id);
    return false;
}

int batch_file(Batch* batch, const CommandLine* line, const char* path, BatchRole role) {
    batch_file_name(batch, path);
    if (batch_taken_before(batch, path)) return exit_same_aspect;
    if (role == role_folder_file && !file_looks_mpeg(path)) {
        console_text(msg_batch_not_mpeg);
        ++batch->skipped;
        return exit_not_mpeg;
    }
    bool undo = (line->job.mode_flags & mode_undo) != 0;
    if (role == role_folder_file && undo && !marker_exists(path)) {
        console_text(msg_batch_no_marker);
        batch_count(batch, path, exit_same_aspect);
        return exit_same_aspect;
    }
    CommandLine file_line = *line;
    file_line.job.path = path;
    int code = file_run(&file_line);
    batch_count(batch, path, code);
    return code;
}

int batch_run(CommandLine* line) {
    std::string path;
    bool one_name = line->name_count == 1;
    bool found = command_line_name_resolve(line->names[0], &path);
    // One file alone runs as it always did.
    if (one_name && !found) {
        console_text(msg_no_file);
        return exit_no_file;
    }
    if (one_name && !os_name_is_folder(path.c_str())) {
        line->job.path = path;
        return file_run(line);
    }
    if (dvd_code_refused(line)) {
        console_text(msg_dvd_code_only);
        return exit_bad_option;
    }
    Batch batch{};
    batch.named = true;
    for (int i = 0; i < line->name_count; ++i) name_run(&batch, line, line->names[i]);
    return batch_finish(&batch);
}
