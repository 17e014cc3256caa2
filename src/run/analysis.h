// What the head and tail windows of a file say about its stream, and what
// the rest of the file says where they do not reach: the kind of file, the
// video stream and its first site (sequence header, parameter set, a DVD's
// attributes byte), the playing time between the first and the last clock
// reference, and the MPEG version.
#pragma once
#include <cstdint>

#include "codecs/mpeg_video.h"
#include "codecs/codec_table.h"
#include "edit/editor.h"
#include "notices/notice.h"
#include "formats/format.h"
#include "formats/ts_tables.h"

struct SequenceHeaderInfo {
    int64_t first_pack_pos;    // offset in headbuf, -1 if none
    int64_t last_pack_pos;     // file position of the last pack in tailbuf, -1 if none
    int64_t first_seqhdr_pos;  // file position of the video's first sequence header, -1 if none
    int64_t tail_base;         // input: file position of tailbuf's first byte
    uint32_t head_len;         // input
    uint32_t tail_len;         // input
    uint8_t not_mpeg;          // 0 for the kinds of file the tool takes, else 0xFF
    StreamLayout layout;
    TsProgram program;       // transport streams: the video stream and its clock
    VideoHeaderProbe video;  // the video's first sequence header, as far as headbuf went
    // What the video is, whatever its codec: its row, its picture, its
    // first header's aspect and the container's field over it.
    VideoFacts facts;
    double duration_sec;
    int32_t horizontal_size;
    int32_t vertical_size;
    uint8_t aspect_code;
    uint8_t frame_rate_code;
    uint32_t bit_rate_value;  // units of 400 bit/s
    int32_t mpeg_version;     // MPEG video: 1 or 2
    const char* container;    // a container's name for the summary; null for the streams
    int64_t broken_at;        // the damaged unit of a container that stopped the analysis, or -1
};

// Sets not_mpeg, the layout, the video stream and its first sequence header
// as far as headbuf holds it, walked by the stream's own format; always 0.
// first_seqhdr_pos is set by header_parse, from the header found.
int header_seek(const uint8_t* headbuf, SequenceHeaderInfo* info);
// Decodes what header_seek located; always returns 0. The run may complete
// info->video from the rest of the file first.
int header_parse(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info);

// The whole analysis of the open file, as the job's kind of file has it (a
// DVD's IFO when `kind` says so, else whatever the file's head opens): the
// info and the video as the editor takes it. The reasons to stop go to the
// notices. Returns an exit code, or -1 to go on.
int file_analyse(FileHandleRec* file, const ConvertJob* job, StreamKind kind, NoticeSink notices,
                 SequenceHeaderInfo* info, VideoLayout* video);
