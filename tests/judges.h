// Judges apart from the tool's code: streams made by ffmpeg's encoders,
// and what ffmpeg and ffprobe read in them.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support.h"

// What a shell command printed on its standard output.
std::string output_of(const std::string& command);
std::string quoted(const fs::path& path);

struct Encoding {
    std::string name;     // the file made, whose extension says the container
    std::string encoder;  // libx264 or libx265
    std::string size;
    std::string sar;      // setsar's, "0" for none
    std::string params;   // -x264-params or -x265-params
};
// Two seconds of ffmpeg's test pattern at 25 frames a second.
bool make_stream(const fs::path& dir, const Encoding& e);

// The aspect fields of every parameter set, in order, as ffmpeg's
// trace_headers filter reads them: "idc" or "255 w:h"; or another field,
// as MPEG video's " aspect_ratio_information ".
std::vector<std::string> traced_aspects(const fs::path& file, const std::string& field = " aspect_ratio_idc ");
// The sample aspects of the decoded frames.
std::set<std::string> frame_aspects(const fs::path& file);
// What ffmpeg says is wrong when it decodes the file.
std::string decode_errors(const fs::path& file);
// The first line of a command's output, without its line end.
std::string first_line(const std::string& text);
// The display aspect ffprobe reads in the first video stream, "16:9".
std::string probed_display(const fs::path& file);
// Every frame's checksum as decoded, without the header lines, which
// name the sample aspect.
std::string frame_sums(const fs::path& file);

// Every MPEG-4 VOL header (00 00 01 20 to 2F) in the bytes, as its own
// fields say: its start code's position, and its aspect_ratio_info, "code"
// or "15 w:h" for the extended pair.
struct VolAspect {
    size_t pos;
    std::string aspect;
};
std::vector<VolAspect> vol_aspects(const Bytes& bytes);

// Every DV source control pack (0x61) of every VAUX block among the 80-byte
// DIF blocks from `from` on: the position of its data bytes, and its DISP.
std::map<size_t, int> dv_packs(const Bytes& bytes, size_t from);
// The packs of every frame of a file's DV video, as ffmpeg demuxes its
// frames into a raw DV file.
std::map<size_t, int> demuxed_packs(const fs::path& file);
// The DISP values the packs hold.
std::set<int> disps(const std::map<size_t, int>& packs);

// The sample aspect of a traced aspect_ratio_idc: a code of the table, or
// "255 w:h".
std::string traced_sar(const std::string& idc);
// The first byte that differs between the two and that the marker file
// does not list, or SIZE_MAX when there is none.
size_t change_unlisted(const Bytes& before, const Bytes& after, const fs::path& marker);
// The folder holding VIDEO_TS that tests/make_dvd.sh makes, once for all
// the tests, or made beforehand (MORVALEN_DVD_FOLDER: the Windows suite,
// whose runner has no dvdauthor); empty where it cannot be made.
const fs::path& dvd_folder_made();
// A shell command run in the folder: whether it succeeded.
bool commands_run(const fs::path& dir, const std::string& commands);

// How many CRC-32 elements of a Matroska file do not hold the CRC of the
// bytes after them in their parent; *seen counts them all.
int crc_mismatches(const fs::path& file, int* seen);
// mkvinfo's display width and height: "1047x576", "-x-" without them.
std::string display_of(const fs::path& file);
