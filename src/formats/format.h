// The kinds of file the tool takes, each behind the same small interface:
// it recognises a file by its first bytes, finds its own video, reads the
// playing time from its head and tail, and walks the file (or a window of
// it) handing the video's payload to a sink. One table holds them, in the
// order a file is judged.
#pragma once
#include <cstdint>

#include "codecs/site.h"
#include "codecs/video_codec.h"
#include "formats/ts_packets.h"
#include "formats/ts_tables.h"

enum StreamKind : uint8_t {
    stream_not_mpeg,
    stream_elementary,  // video elementary stream: scanned byte by byte
    stream_program,     // program stream: walked pack by pack, video stream 0xE0
    stream_transport,   // transport stream: walked packet by packet, one video PID
    stream_dvd_ifo,     // a DVD-Video title set's IFO or BUP: its video attributes
    stream_iso_media,   // an MP4 or MOV file: its movie's boxes and the heads of its video samples
    stream_matroska,    // a Matroska or WebM file: its elements and the heads of its video frames
    stream_dv,          // a DV file: DIF frames, of which only the VAUX blocks are read
    stream_avi,         // an AVI file: its chunks and the heads of its video frames
    stream_clip_info,   // a Blu-ray or AVCHD clip information file: its video's aspect bytes
    stream_asf,         // an ASF file: the objects of its header; its frames are not read
    stream_mxf,         // an MXF file: its KLVs, the descriptor of each header metadata, the heads of its frames
    stream_flv,         // an FLV file: its tags and the heads of its video tags
    stream_ogg,         // an Ogg file: its pages' heads and each link's video stream head
    stream_dvd_image,   // a DVD-Video image: each title set's VOBs, IFO and BUP through its file system
};

struct StreamLayout {
    StreamKind kind;
    TsLayout ts;  // transport streams only
    // Of an elementary stream; a transport stream's is its program's; a DVD
    // IFO's is its attributes byte.
    VideoCodec codec;
};

struct Walk;

// The head and tail windows of a file, and what is known of its video, for
// the playing time.
struct ClockLook {
    const uint8_t* head;
    uint32_t head_len;
    const uint8_t* tail;
    uint32_t tail_len;
    int64_t tail_base;  // file position of tail[0]; the data ends with the tail
    StreamLayout layout;
    uint16_t clock_pid;  // transport streams: the program's clock reference PID, or none
    uint16_t video_pid;
};

// The first and last clock of the playing time, in 90 kHz ticks (the low 32
// bits); a program stream's first and last pack header.
struct StreamClocks {
    bool found;
    uint32_t first;
    uint32_t last;
    int64_t first_pack_pos;  // offset in the head window, -1 if none
    int64_t last_pack_pos;   // file position, -1 if none
};

// What a container (MP4, MOV, Matroska) says of its video before a walk:
// the codec of the track the walk reads, its playing time, and the other
// video tracks it leaves alone.
struct ContainerLook {
    bool found;
    VideoCodec codec;
    double duration_sec;
    uint32_t others;
    uint64_t other_id;  // the first of them
    bool sealed;        // the first video track is encrypted or otherwise encoded
    const char* name;   // "MP4", "MOV", "MKV", "WebM", "AVI", "ASF", "MXF", "FLV", "Ogg"
    // The sample aspect the container's own fields give (MP4's pasp, else
    // a track header or aperture whose size is not the picture's;
    // Matroska's display elements), which the most common players show
    // over the video's; {0, 0} where they say none.
    SarRatio shown;
    // The first other video track's codec, where the tool changes no such
    // video.
    ForeignVideo other_codec;
    // The video's codec where its frames are not the tool's to change
    // (codec_container), and its picture as the container gives it.
    ForeignVideo foreign;
    uint32_t width;
    uint32_t height;
    // The container has no field of its own for the aspect and no room for
    // one (an AVI without a vprp): the video's own places alone take it.
    bool placeless = false;
    // Its kind of file has no such field at all (FLV): placeless, which
    // is no news to tell.
    bool fieldless = false;
    // It has no pixel aspect (an MP4's pasp), which some players read alone
    // beside the video's own places, and no room for one.
    bool pixel_aspect_missing = false;
    // Its video's frames record the aspect too, and its walk does not read
    // them: not found, so that nothing changes.
    bool unwalked = false;
};

// The names containers go by in the summary line and the report.
enum ContainerName : uint8_t {
    container_mp4,
    container_mov,
    container_mkv,
    container_webm,
    container_avi,
    container_asf,
    container_mxf,
    container_flv,
    container_ogg,
};
const char* container_name_text(ContainerName name);

struct BlockReader;
struct FileHandleRec;

struct Format {
    StreamKind kind;
    // Taken only where a job names the file as one (a DVD's IFO and BUP, a
    // Blu-ray clip's information),
    // never by the look of an unknown file.
    bool named_only;
    // Walked through views of the file, scanned where the system keeps it
    // without a copy: only where that measured faster than reads (see
    // bench/README.md, "Mapped windows against reads"), and never where a
    // walk skips from sample to sample.
    bool viewed;
    // Whether the first bytes open such a file, and its layout.
    bool (*probe)(const uint8_t* head, uint32_t length, StreamLayout* layout);
    // Where the playing time begins and ends: null where a file has no clock.
    void (*clocks)(const ClockLook* look, StreamClocks* clocks);
    // From the start of the file (or window) to its end.
    int32_t (*walk)(Walk* walk);
    // A container's look at its video: null for the streams.
    int32_t (*look)(BlockReader* reader, ContainerLook* look);
    // Which of the file's streams holds the video, where it holds several
    // (a transport stream's program and PID), and its codec: from the head
    // window, then, where the head did not tell, from windows of
    // `window_size` further on (0, or the result of a failed read). Both
    // null where the video is all the file holds.
    void (*stream_find)(const uint8_t* head, uint32_t length, StreamLayout* layout, TsProgram* program);
    int32_t (*stream_seek)(FileHandleRec* file, uint32_t window_size, StreamLayout* layout, TsProgram* program);
    // A named file's first site, which its format finds before the walk (a
    // DVD IFO's attributes byte, a clip information's first aspect byte,
    // once the file is found in step): the file's layout, what the site
    // says and its byte; 0, or why the file is refused. Null but for the
    // named-only kinds.
    int32_t (*head_site)(FileHandleRec* file, StreamLayout* layout, SiteReading* reading, uint8_t* byte);
};

// The kind of file the first bytes open: a transport stream by its sync
// bytes; an H.264 or HEVC elementary stream when its NAL units hold a
// parameter set of the codec and no MPEG sequence header; an MPEG video
// elementary stream when its first start code (after any zero bytes) is
// one of the video's own (a sequence header, or anything below 0xB9); a
// VC-1 stream, before it, when that is a VC-1 sequence header that reads;
// an H.263 stream by its picture start code; any other start code opens a
// program stream.
StreamLayout stream_layout_detect(const uint8_t* head, uint32_t length);
// The layout of a file the job names as one of the named-only kinds.
StreamLayout stream_layout_named(StreamKind kind, const uint8_t* head, uint32_t length);

const Format* format_of(StreamKind kind);
// Whether the kind is a container that records the aspect in its own
// fields too: all its places change together, or none.
bool format_is_container(StreamKind kind);

// The formats' own parts: probes, clocks, walks, and how each finds its video.
bool elementary_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
bool nal_elementary_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
bool h263_elementary_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
bool vc1_elementary_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
bool program_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
bool transport_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
bool dvd_ifo_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
bool dv_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
bool clip_info_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
bool dvd_image_probe(const uint8_t* head, uint32_t length, StreamLayout* layout);
void program_clocks(const ClockLook* look, StreamClocks* clocks);
void transport_clocks(const ClockLook* look, StreamClocks* clocks);
void dv_clocks(const ClockLook* look, StreamClocks* clocks);
int32_t elementary_walk(Walk* walk);
int32_t program_walk(Walk* walk);
int32_t transport_walk(Walk* walk);
int32_t dvd_ifo_walk(Walk* walk);
int32_t dv_walk(Walk* walk);
int32_t clip_info_walk(Walk* walk);
int32_t dvd_image_walk(Walk* walk);
// Whether an image is DVD-Video that a walk can change in place: its
// VIDEO_TS files found alike by its file systems, each in one extent, and
// every title set's IFO and BUP with its identifier. 0, or why not.
int32_t dvd_image_check(FileHandleRec* file);
int32_t iso_media_walk(Walk* walk);
int32_t matroska_walk(Walk* walk);
int32_t avi_walk(Walk* walk);
int32_t asf_walk(Walk* walk);
int32_t mxf_walk(Walk* walk);
int32_t iso_media_look(BlockReader* reader, ContainerLook* look);
int32_t matroska_look(BlockReader* reader, ContainerLook* look);
int32_t avi_look(BlockReader* reader, ContainerLook* look);
int32_t asf_look(BlockReader* reader, ContainerLook* look);
int32_t mxf_look(BlockReader* reader, ContainerLook* look);
int32_t flv_walk(Walk* walk);
int32_t flv_look(BlockReader* reader, ContainerLook* look);
int32_t ogg_walk(Walk* walk);
int32_t ogg_look(BlockReader* reader, ContainerLook* look);
void transport_stream_find(const uint8_t* head, uint32_t length, StreamLayout* layout, TsProgram* program);
int32_t transport_stream_seek(FileHandleRec* file, uint32_t window_size, StreamLayout* layout, TsProgram* program);
int32_t dvd_ifo_head_site(FileHandleRec* file, StreamLayout* layout, SiteReading* reading, uint8_t* byte);
int32_t clip_info_head_site(FileHandleRec* file, StreamLayout* layout, SiteReading* reading, uint8_t* byte);
