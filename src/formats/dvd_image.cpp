// A DVD-Video image walked through its file system: each title set's
// title VOBs as the one program stream they are, and the video attributes
// of its IFO and BUP, all at their image positions, in place. A set whose
// first sequence header has another picture size or rate than the first
// set's is another video: its files are passed over whole, its IFO and
// BUP too, so that none of its files is changed without the others.
#include <algorithm>

#include "codecs/dvd_attributes.h"
#include "codecs/mpeg_video.h"
#include "fileio/result.h"
#include "formats/disc_image.h"
#include "formats/disc_iso9660.h"
#include "formats/disc_udf.h"
#include "formats/dvd_ifo.h"
#include "formats/walk.h"

namespace {

constexpr uint32_t key_none = 0;

bool by_name(const DiscFile& a, const DiscFile& b) {
    return a.name < b.name;
}

// UDF and ISO 9660 name the same files at the same places.
bool systems_agree(DiscFiles udf, DiscFiles iso) {
    if (udf.size() != iso.size()) return false;
    std::sort(udf.begin(), udf.end(), by_name);
    std::sort(iso.begin(), iso.end(), by_name);
    for (size_t k = 0; k < udf.size(); ++k) {
        bool same = udf[k].name == iso[k].name && udf[k].start == iso[k].start && udf[k].length == iso[k].length;
        if (!same) return false;
    }
    return true;
}

// The VIDEO_TS files of a DVD-Video image: through UDF where the image has
// it, as players read it, and ISO 9660 where it has no UDF; where it has
// both, they must place every file alike. 0, result_disc_other (no
// VIDEO_TS, or another kind of disc), result_disc_split,
// result_disc_disagree, result_disc_broken or result_read_error.
int32_t disc_video_files(FileHandleRec* file, DiscFiles* files) {
    DiscFiles udf;
    DiscFiles iso;
    int32_t by_udf = udf_video_files(file, &udf);
    int32_t by_iso = iso9660_video_files(file, &iso);
    if (by_udf == disc_system_absent) {
        *files = iso;
        return by_iso == disc_system_absent ? result_disc_other : by_iso;
    }
    // Players read UDF: where it has no VIDEO_TS (a Blu-ray image's UDF
    // 2.50, say) the disc is no DVD-Video, whatever ISO 9660 says.
    if (by_udf != 0) return by_udf;
    // A bridge whose ISO 9660 side has no VIDEO_TS disagrees as much as one
    // that places its files apart.
    if (by_iso == result_disc_other) return result_disc_disagree;
    if (by_iso != 0 && by_iso != disc_system_absent) return by_iso;
    if (by_iso == 0 && !systems_agree(udf, iso)) return result_disc_disagree;
    *files = udf;
    return 0;
}

// No two files share a byte: a change made to one would be another's.
bool files_apart(DiscFiles files) {
    auto by_start = [](const DiscFile& a, const DiscFile& b) { return a.start < b.start; };
    std::sort(files.begin(), files.end(), by_start);
    int64_t end = 0;
    for (const DiscFile& f : files) {
        if (f.length == 0) continue;
        if (f.start < end) return false;
        end = f.start + f.length;
    }
    return true;
}

// The files of VIDEO_TS, found alike by both file systems and apart.
int32_t video_files_read(FileHandleRec* file, DiscFiles* files) {
    int32_t result = disc_video_files(file, files);
    return result == 0 && !files_apart(*files) ? result_disc_broken : result;
}

struct TitleSetFiles {
    const DiscFile* ifo;
    const DiscFile* bup;
    const DiscFile* vobs[title_vobs_most];
    unsigned vob_count;
};

const DiscFile* set_file(const DiscFiles& files, unsigned number, unsigned k, const char* extension) {
    return disc_file_find(files, title_set_file_name(number, k, extension).c_str());
}

// A set with its IFO and a title VOB at the least.
bool title_set_find(const DiscFiles& files, unsigned number, TitleSetFiles* set) {
    set->ifo = set_file(files, number, 0, "IFO");
    set->bup = set_file(files, number, 0, "BUP");
    set->vob_count = 0;
    for (unsigned k = 1; k <= title_vobs_most; ++k) {
        const DiscFile* vob = set_file(files, number, k, "VOB");
        if (vob != nullptr) set->vobs[set->vob_count++] = vob;
    }
    return set->ifo != nullptr && set->vob_count > 0;
}

// The IFO or BUP's head holds its identifier and the attributes byte.
bool attributes_read(FileHandleRec* file, const DiscFile* f, uint8_t* head) {
    StreamLayout layout;
    return f->length >= ifo_head_length && disc_bytes_read(file, f->start, head, ifo_head_length) &&
           dvd_ifo_probe(head, ifo_head_length, &layout);
}

// Walks a file of the image as a program stream of its own.
int32_t part_walk(Walk* w, const DiscFile* f) {
    reader_window_set(&w->reader, f->start, f->start + f->length);
    w->from = f->start;
    w->part = f->name.c_str();
    return program_walk(w);
}

int32_t key_feed(void* context, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                 uint32_t count) {
    VideoHeaderProbe* probe = static_cast<VideoHeaderProbe*>(context);
    for (uint32_t k = 0; k < count; ++k) {
        if ((ranges[k].breaks & payload_gap) != 0) video_probe_gap(probe);
        video_probe_feed(probe, buffer + ranges[k].first, ranges[k].end - ranges[k].first, buffer_pos + ranges[k].first);
        if (video_probe_found(probe)) return result_found;
    }
    return 0;
}

// What says which video a set is: its first sequence header's picture
// size and frame rate, as the headers a walk changes must share them;
// key_none where its first VOB holds none.
uint32_t set_key(Walk* w, const TitleSetFiles& set) {
    WalkSink sink = w->sink;
    WalkMet met = w->met;
    VideoHeaderProbe probe;
    video_probe_init(&probe);
    w->sink = WalkSink{key_feed, &probe, nullptr, nullptr};
    int32_t result = part_walk(w, set.vobs[0]);
    w->sink = sink;
    w->met = met;
    if (result != result_found) return key_none;
    const uint8_t* h = probe.header;
    return (uint32_t{h[4]} << 24 | uint32_t{h[5]} << 16 | uint32_t{h[6]} << 8 | (h[7] & 0x0F)) | 0x10;
}

// The IFO or BUP's attributes byte, handed as a site of the image once the
// walk has come to `progress`.
int32_t attributes_hand(Walk* w, const DiscFile* f, int64_t progress) {
    if (f == nullptr || w->sink.site == nullptr) return 0;
    uint8_t head[ifo_head_length];
    if (!attributes_read(w->reader.file, f, head)) return result_not_dvd_ifo;
    int64_t pos = f->start + ifo_title_video_attributes;
    PayloadRange range = {0, 1, 0, f->start, progress};
    AspectSite site = site_dvd_attributes_make(head + ifo_title_video_attributes, &pos, &range);
    w->part = f->name.c_str();
    return w->sink.site(w->sink.context, &site);
}

// The set's title VOBs, then its IFO and BUP, where the set is the first
// set's video: a walk that stops on its way (a read that fails, a run
// killed before its last batch) leaves the IFO saying the set is not
// done, and the next run finishes it, as in a DVD-Video folder.
int32_t title_set_walk(Walk* w, unsigned number, const TitleSetFiles& set, uint32_t* first_key) {
    uint32_t key = set_key(w, set);
    // A set whose first VOB holds no sequence header has no video to change.
    if (key == key_none) return 0;
    if (*first_key == key_none) *first_key = key;
    if (key != *first_key) {
        if (w->met.sets_other++ == 0) w->met.first_set_other = number;
        return 0;
    }
    int32_t result = 0;
    for (unsigned k = 0; k < set.vob_count && result == 0; ++k) result = part_walk(w, set.vobs[k]);
    const DiscFile* last = set.vobs[set.vob_count - 1];
    if (result == 0) result = attributes_hand(w, set.ifo, last->start + last->length);
    return result == 0 ? attributes_hand(w, set.bup, last->start + last->length) : result;
}

}  // namespace

bool dvd_image_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    if (!disc_image_holds(head, length)) return false;
    *layout = {stream_dvd_image, {0, 0}, codec_mpeg};
    return true;
}

int32_t dvd_image_check(FileHandleRec* file) {
    DiscFiles files;
    int32_t result = video_files_read(file, &files);
    TitleSetFiles set;
    uint8_t head[ifo_head_length];
    for (unsigned number = 1; number <= title_sets_most && result == 0; ++number) {
        if (!title_set_find(files, number, &set)) continue;
        bool ifos = attributes_read(file, set.ifo, head) && (set.bup == nullptr || attributes_read(file, set.bup, head));
        if (!ifos) result = result_not_dvd_ifo;
    }
    return result;
}

int32_t dvd_image_walk(Walk* w) {
    // The analysis's head window holds no title set: the file system is
    // read from the file.
    if (w->reader.file == nullptr) return 0;
    DiscFiles files;
    int32_t result = video_files_read(w->reader.file, &files);
    int64_t size = w->reader.size;
    uint32_t first_key = key_none;
    TitleSetFiles set;
    for (unsigned number = 1; number <= title_sets_most && result == 0; ++number) {
        if (title_set_find(files, number, &set)) result = title_set_walk(w, number, set, &first_key);
    }
    reader_window_set(&w->reader, 0, size);
    w->from = 0;
    w->part = nullptr;
    return result;
}
