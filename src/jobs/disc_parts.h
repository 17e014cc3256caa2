// What the jobs of disc folders (DVD-Video, Blu-ray and AVCHD) share: a
// folder's entries found by name in any letter case, as a disc mounted
// from ISO 9660 or UDF or copied to a FAT disk may show them; and the files
// that one run of such a folder changes together, each opened and locked
// before the first write.
#pragma once
#include <string>
#include <vector>

#include "jobs/batch_file.h"
#include "notices/notice.h"

struct FolderNames {
    std::string folder;
    std::vector<std::string> entries;  // in name order
};

bool folder_names_read(const std::string& folder, FolderNames* names);
// Whether the entry is `name` (upper case) in any letter case.
bool same_letters(const std::string& entry, const char* name);
// The path of the entry whose name is `name` (upper case) in any letter
// case; empty when there is none.
std::string folder_entry(const FolderNames& names, const char* name);

// Every file of a title set or a clip while its run writes, so that a file
// another program holds (a player reading the IFO) leaves the whole set as
// it was, never one whose files say different things. Each file's run
// takes its handle over; the rest are closed at the end.
struct PartsHold {
    std::vector<HeldFile> files;  // in the order they were named
};

HeldFile* held_file(PartsHold* hold, size_t index);
void parts_hold_release(PartsHold* hold);
// Opens and locks the files with a run's retries: false when one cannot be
// opened, which is named and counted with its exit code, the set said to
// be left whole (`left`) and the others closed again.
bool parts_hold(Batch* batch, const RunRequest* request, const std::vector<std::string>& paths, NoticeKind left,
                PartsHold* hold);
