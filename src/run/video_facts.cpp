#include "run/video_facts.h"

#include "formats/format.h"

VideoFactsNotice video_facts_of(const SequenceHeaderInfo* info, const VideoLayout* video, bool after) {
    VideoFactsNotice facts = {};
    const VideoFacts& f = info->facts;
    facts.after = after;
    facts.stream = video->layout.kind;
    facts.naming = video->row->naming;
    // A code of the codec's own table, where its row names its aspects by code.
    facts.coded = facts.naming == naming_mpeg1_codes || facts.naming == naming_mpeg2_codes;
    // A DVD IFO's or a clip information file's analysis reads its site and
    // nothing else.
    if (format_of(video->layout.kind)->named_only) {
        facts.code = video->reference.aspect.code;
        return facts;
    }
    facts.container = info->container;
    facts.codec = facts_codec_name(&f);
    facts.width = f.width;
    facts.height = f.height;
    facts.code = f.first.aspect.code;
    facts.sar = facts_shown(&f).sar;
    return facts;
}
