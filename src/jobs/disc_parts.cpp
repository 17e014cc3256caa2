#include "jobs/disc_parts.h"

#include <algorithm>

namespace {

void entry_collect(void* context, const char* entry) {
    static_cast<std::vector<std::string>*>(context)->push_back(entry);
}

}  // namespace

bool folder_names_read(const std::string& folder, FolderNames* names) {
    names->folder = folder;
    names->entries.clear();
    if (!os_folder_list(folder.c_str(), entry_collect, &names->entries)) return false;
    std::sort(names->entries.begin(), names->entries.end());
    return true;
}

bool same_letters(const std::string& entry, const char* name) {
    size_t i = 0;
    for (; i < entry.size() && name[i] != '\0'; ++i) {
        char a = entry[i] >= 'a' && entry[i] <= 'z' ? static_cast<char>(entry[i] - 32) : entry[i];
        if (a != name[i]) return false;
    }
    return i == entry.size() && name[i] == '\0';
}

std::string folder_entry(const FolderNames& names, const char* name) {
    for (const std::string& entry : names.entries) {
        if (same_letters(entry, name)) return path_join(names.folder, entry);
    }
    return std::string();
}

HeldFile* held_file(PartsHold* hold, size_t index) {
    return index < hold->files.size() ? &hold->files[index] : nullptr;
}

void parts_hold_release(PartsHold* hold) {
    for (HeldFile& held : hold->files) {
        if (held.file.handle != os_invalid_handle) file_close(&held.file);
    }
    hold->files.clear();
}

bool parts_hold(Batch* batch, const RunRequest* request, const std::vector<std::string>& paths, NoticeKind left,
                PartsHold* hold) {
    for (const std::string& path : paths) {
        HeldFile held;
        int opened = file_hold(&held, path.c_str(), request->pace);
        if (opened == open_done) {
            hold->files.push_back(held);
            continue;
        }
        parts_hold_release(hold);
        batch_file_name(batch, path.c_str());
        int code = open_result_tell(batch->notices, opened, held.failed);
        notify(batch->notices, left);
        batch_count(batch, path.c_str(), code);
        return false;
    }
    return true;
}
