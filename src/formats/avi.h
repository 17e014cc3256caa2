// An AVI file as far as the aspect goes: its header list's first video
// stream (strh of type vids, or iavs: type-1 DV), that stream's format
// (strf) with the codec's extradata after it, its vprp or the JUNK that
// gives room for one, and the chunks of its frames in the movi lists of
// the RIFF AVI chunk and of the OpenDML RIFF AVIX chunks that follow it
// past 1 GiB. Read from the chunks alone; no index is.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"
#include "formats/riff.h"

struct AviVideo {
    uint32_t stream;  // its number, which its chunks' codes spell
    VideoCodec codec;
    ForeignVideo foreign;  // codec_container's codec
    uint32_t width;        // the stream format's picture
    uint32_t height;
    uint32_t rate;  // frames per `scale` seconds
    uint32_t scale;
    uint32_t length;  // in frames
    SarRatio shown;   // what its vprp gives the picture; {0, 0} without one
    // Its vprp, else a JUNK of its header list with room for one, else its
    // stream format's chunk, which takes nothing; and the bytes a site of
    // it holds.
    int64_t place;
    uint32_t place_length;
    bool roomless;  // neither a vprp nor room for one
    // The codec's own bytes in its stream format: those after its
    // BITMAPINFOHEADER (its extradata: a VOL, parameter sets, a sequence
    // header, a DV stream's DVINFO), or a type-1 DV stream's whole format,
    // its DVINFO; none where the length is 0.
    int64_t extra;
    uint32_t extra_length;
};

struct AviFile {
    RiffChunk riff;  // the first RIFF chunk, up to the end of the file where that comes first
    bool found;      // the first video stream, of a codec the tool takes or leaves to its container
    AviVideo video;
    // The main header's frame, which a type-1 DV stream's format lacks.
    uint32_t main_width;
    uint32_t main_height;
    uint32_t others;  // video streams besides it, left alone
    uint32_t other_stream;
    ForeignVideo other_codec;  // its codec, where the tool changes no such video
};

// Whether the bytes open an AVI file: a RIFF chunk of the form "AVI ".
bool avi_opens(const uint8_t* head, uint32_t length);

// Reads the header list: 0, result_chunk_broken, or a read's failure.
int32_t avi_header_read(BlockReader* reader, AviFile* file);

// Whether the chunk's code names a frame of the stream: NNdc or NNdb.
bool avi_frame_chunk(uint32_t code, uint32_t stream);
