// The one editor: every place a video records its aspect, whatever kind of
// file holds it, goes through here. It is the only switch over what a run
// does with a site: list it, change it to the target (each change recorded
// in the marker file before it is made, in batches of the journal), put
// back what the marker file records, or only find whether a change is
// needed. The formats walk the file and their codecs hand it the sites.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "codecs/codec_table.h"
#include "codecs/site.h"
#include "edit/request.h"
#include "fileio/fileio.h"
#include "formats/format.h"
#include "notices/file_notices.h"

// The job of one file's run.
struct ConvertJob {
    std::string path;        // UTF-8 (on POSIX systems: the file system's bytes)
    uint32_t target_aspect;  // 0-15 (a DVD's 2 or 3); the low four bits are written
    SarRatio target_sar;     // H.264 and HEVC: the sample aspect written
    RunRequest request;
    // The video grew since its marker file recorded it, and the run found
    // every position the marker lists still holding what its runs wrote:
    // the same video, a recording that went on, which a rewrite finishes.
    bool marker_grown;
};

// The video as the analysis found it: the kind of file, where the video's
// payload is, and its first site, the reference whose key every one to
// change must have.
struct VideoLayout {
    StreamLayout layout;
    const CodecRow* row;  // its codec's
    uint16_t video_pid;   // transport streams
    // MPEG video: its first sequence header, start code and 8 bytes.
    uint8_t header[12];
    // What the first site says, and its byte that a new marker file's first
    // line holds, as the codec's row has it.
    SiteReading reference;
    uint8_t first_byte;
    // The first site as its scanner handed it (its kind and form), with its
    // bytes as the file holds them and the file position of each: byte 7
    // of the first sequence header, the first parameter set, VOL or pack.
    AspectSite first_site;
    std::vector<uint8_t> first_bytes;
    std::vector<int64_t> first_pos;
    // The sample aspect the most common players show before the run: a
    // container's own field over the video's, which a new marker file
    // records; {0, 0} where the video's code is all there is (MPEG streams,
    // a DVD's byte) or nothing says one.
    SarRatio shown;
};

enum EditMode : uint8_t {
    edit_rewrite,
    edit_list,
    edit_restore,
    edit_change_search,  // is there a site to change?
    edit_check,          // is there a site to change, and can every site take the target in place?
    edit_held,           // does every position the marker lists hold what its runs wrote?
};

// What a mode needs of a run around its walk. The runs and the jobs ask
// this of the editor rather than tell the modes apart.
struct ModeNeeds {
    EditMode walk;        // the walk that does what the mode asks
    bool target;          // a target settled before the walk
    bool original;        // a default target follows what the video was before the tool first changed it
    bool target_checked;  // before the walk: whether a site needs the target, and every place takes it
    bool marker;          // nothing to do without a marker file made for the video
    bool writes;          // the walk writes the video
};
ModeNeeds mode_needs(RequestMode mode);
// Whether the job's walks go on past damage: with -r, and always for an
// undo, which must reach every header that a rewrite with -r reached.
bool job_resyncs(const ConvertJob* job);

struct EditRequest {
    const ConvertJob* job;
    EditMode mode;
    FileHandleRec* file;  // the run's own handle, which holds its lock
    const VideoLayout* video;
    NoticeSink notices;
};

struct EditOutcome {
    RunOutcome run;
    bool change_needed;  // a change search or a check found a site to change
    SiteRefusal refusal;  // a check's
    PlaceAspects places;  // a check's: what each kind of place holds
    // The last-write time the marker file recorded before the first change:
    // a run that finishes or undoes one puts it back, and so does one that
    // finds the file done (a search's, a check's, a listing's).
    bool time_known;
    OsFileTime written;
    bool held;  // a held walk's: every listed position holds what the marker's runs wrote
};

// Walks the file and does with each site what the mode says.
EditOutcome aspect_rewrite(const EditRequest* request);

// What a marker file made for the video says of it as it was before the
// tool first changed it.
struct AspectOriginal {
    bool known;
    // The video grew since the marker file recorded it, and a walk found
    // each listed position holding what the marker's runs wrote.
    bool grown;
    // The first header's aspect: its bytes as the file holds them, with
    // those the marker file lists put back.
    SiteAspect first;
    // The sample aspect the file showed, where the marker file records it
    // (markers of earlier builds do not): {0, 0} otherwise.
    SarRatio shown;
};
AspectOriginal aspect_original(const ConvertJob* job, FileHandleRec* file, const VideoLayout* video);
