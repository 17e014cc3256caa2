#include "run/video_facts.h"

#include "run/file_run.h"
#include "run/target.h"

VideoFactsNotice video_facts_of(const SequenceHeaderInfo* info, const VideoLayout* video, bool after) {
    VideoFactsNotice facts = {};
    facts.after = after;
    facts.stream = video->layout.kind;
    facts.codec = video->layout.codec;
    facts.foreign = info->foreign;
    // A DVD IFO's analysis reads its one byte and nothing else.
    if (video->layout.kind == stream_dvd_ifo) {
        facts.coded = true;
        facts.code = video->reference.aspect.code;
        return facts;
    }
    facts.container = info->container;
    facts.mpeg_version = info->mpeg_version;
    if (codec_has_codes(video->layout.codec)) {
        facts.width = static_cast<uint32_t>(info->horizontal_size);
        facts.height = static_cast<uint32_t>(info->vertical_size);
        facts.coded = true;
        facts.code = info->aspect_code;
        facts.sar = video_shown_sar(info);
    } else {
        facts.width = info->sps.width;
        facts.height = info->sps.height;
        facts.sar = video_shown_sar(info);
    }
    return facts;
}

void video_facts_after(const FileRun* run, StreamKind kind) {
    FileRun look;
    file_run_init(&look, run->job.path.c_str(), &run->job.request, notice_sink_quiet());
    SequenceHeaderInfo info = {};
    VideoLayout video = {};
    if (file_run_look(&look, kind, &info, &video)) notify(run->notices, video_facts_of(&info, &video, true));
    file_run_close(&look);
}
