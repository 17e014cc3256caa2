#include "run/clip_run.h"

#include "codecs/shapes.h"
#include "fileio/result.h"
#include "formats/format.h"
#include "run/file_edit.h"
#include "run/target.h"

StreamLook stream_look(const char* path, const RunRequest* request) {
    StreamLook look = {};
    FileRun run;
    file_run_init(&run, path, request, notice_sink_quiet());
    SequenceHeaderInfo info = {};
    VideoLayout video = {};
    if (file_run_look(&run, stream_not_mpeg, &info, &video)) {
        const VideoFacts* f = &info.facts;
        look.found = true;
        look.shape = shape_of_sar(f->width, f->height, facts_shown(f).sar);
        AspectOriginal original = aspect_original(&run.job, &run.file, &video);
        if (original.known) look.original = shape_of_sar(f->width, f->height, shown_before(f, &original).sar);
    }
    file_run_close(&run);
    return look;
}

int32_t clip_info_look(const char* path, uint32_t* code) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    if (file_open(&file, path, generic_read) != file_opened) return result_open_error;
    StreamLayout layout = {};
    SiteReading reading = {};
    uint8_t byte = 0;
    int32_t result = format_of(stream_clip_info)->head_site(&file, &layout, &reading, &byte);
    file_close(&file);
    *code = reading.aspect.code;
    return result;
}
