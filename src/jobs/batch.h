// Many files in one run: every name on the command line in turn, a folder's
// files, a DVD-Video folder's title sets. Each file gets the run it would
// get alone; the batch counts how they ended. It knows no kind of file: the
// run of one file does.
#pragma once
#include <string>

#include "edit/request.h"
#include "notices/notice.h"

// The whole run over the names: the exit code.
int batch_run(const RunRequest* request, char** names, int name_count, NoticeSink notices);

// The name, as the file system resolves it, into *path: true when it names
// an existing file or folder.
bool name_resolve(const char* name, std::string* path);
