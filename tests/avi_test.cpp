// AVI files as ffmpeg writes them, and as the tests' own RIFF writer puts
// ffmpeg's frames together where no muxer here makes the file (no vprp,
// with and without a JUNK's room; OpenDML parts; DV with a DVINFO, also as
// mkvmerge keeps it): the vprp and every parameter set, in the frames and
// in the stream format, take the target, as the tests' RIFF reader,
// ffprobe, mediainfo and trace_headers read them; a vprp goes into a
// JUNK's room without moving a byte; only listed bytes change, the
// pictures decode as before, and -u gives the file back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y -f lavfi -i testsrc2=duration=1:rate=25:size=";

uint32_t le32(const Bytes& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

void le32_append(Bytes* b, uint32_t value) {
    for (int k = 0; k < 4; ++k) b->push_back(static_cast<uint8_t>(value >> (8 * k)));
}

Bytes code_bytes(const std::string& code) {
    return Bytes(code.begin(), code.end());
}

// The tests' own RIFF reader: the chunks of a list, each with its code
// (and form, for a list), where its data begin and how long they are.
struct Chunk {
    std::string code;
    std::string form;
    size_t data;
    uint32_t size;
};

std::vector<Chunk> chunks_in(const Bytes& b, size_t from, size_t end) {
    std::vector<Chunk> chunks;
    for (size_t at = from; at + 8 <= end && at + 8 <= b.size();) {
        Chunk c = {std::string(b.begin() + at, b.begin() + at + 4), "", at + 8, le32(b, at + 4)};
        if (c.code == "RIFF" || c.code == "LIST") c.form = std::string(b.begin() + at + 8, b.begin() + at + 12);
        chunks.push_back(c);
        at += 8 + size_t{c.size} + (c.size & 1);
    }
    return chunks;
}

// The first list of the form among the chunks.
Chunk list_of(const Bytes& b, const std::vector<Chunk>& chunks, const std::string& form) {
    for (const Chunk& c : chunks) {
        if (c.form == form) return c;
    }
    ADD_FAILURE() << "no " << form << " in " << b.size() << " bytes";
    return {"", "", 0, 0};
}

std::vector<Chunk> first_strl(const Bytes& b) {
    Chunk riff = chunks_in(b, 0, b.size()).at(0);
    Chunk hdrl = list_of(b, chunks_in(b, riff.data + 4, b.size()), "hdrl");
    Chunk strl = list_of(b, chunks_in(b, hdrl.data + 4, hdrl.data + hdrl.size), "strl");
    return chunks_in(b, strl.data + 4, strl.data + strl.size);
}

// The first stream's header list as "code size" entries.
std::string strl_layout(const Bytes& b) {
    std::string layout;
    for (const Chunk& c : first_strl(b)) layout += c.code + " " + std::to_string(c.size) + " ";
    return layout;
}

// The first stream's vprp's frame aspect, "X:Y"; "" without one.
std::string vprp_aspect(const Bytes& b) {
    for (const Chunk& c : first_strl(b)) {
        if (c.code != "vprp") continue;
        uint32_t aspect = le32(b, c.data + 20);
        return std::to_string(aspect >> 16) + ":" + std::to_string(aspect & 0xFFFF);
    }
    return "";
}

// What an ffmpeg AVI holds of its video: its stream header and format, and
// its frames.
struct Stream {
    Bytes strh;
    Bytes strf;
    std::vector<Bytes> frames;
    uint32_t width;  // the main header's frame
    uint32_t height;
};

Stream stream_of(const Bytes& b) {
    Stream s;
    for (const Chunk& c : first_strl(b)) {
        Bytes data(b.begin() + static_cast<std::ptrdiff_t>(c.data), b.begin() + static_cast<std::ptrdiff_t>(c.data + c.size));
        if (c.code == "strh") s.strh = data;
        if (c.code == "strf") s.strf = data;
    }
    s.width = le32(s.strf, 4);
    s.height = le32(s.strf, 8);
    Chunk riff = chunks_in(b, 0, b.size()).at(0);
    Chunk movi = list_of(b, chunks_in(b, riff.data + 4, b.size()), "movi");
    for (const Chunk& c : chunks_in(b, movi.data + 4, movi.data + movi.size)) {
        if (c.code == "00dc") s.frames.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(c.data), b.begin() + static_cast<std::ptrdiff_t>(c.data + c.size));
    }
    return s;
}

Bytes chunk(const std::string& code, const Bytes& data) {
    Bytes b = code_bytes(code);
    le32_append(&b, static_cast<uint32_t>(data.size()));
    b = b + data;
    if (data.size() & 1) b.push_back(0);
    return b;
}

Bytes list(const std::string& code, const std::string& form, const Bytes& data) {
    return chunk(code, code_bytes(form) + data);
}

// The tests' own RIFF writer: the stream's header and format, a JUNK of
// `junk` bytes after them where that is not 0, and its frames in a movi
// list with an idx1; frames from `split` on in an OpenDML RIFF AVIX part.
Bytes avi_written(const Stream& s, uint32_t junk, size_t split = SIZE_MAX) {
    Bytes avih;
    const uint32_t fields[] = {40000, 0, 0, 0x10, static_cast<uint32_t>(s.frames.size()), 0, 1, 0,
                               s.width, s.height, 0, 0, 0, 0};
    for (uint32_t f : fields) le32_append(&avih, f);
    Bytes strl = chunk("strh", s.strh) + chunk("strf", s.strf);
    if (junk > 0) strl = strl + chunk("JUNK", Bytes(junk, 0));
    Bytes hdrl = chunk("avih", avih) + list("LIST", "strl", strl);
    Bytes movi;
    Bytes index;
    Bytes later;
    for (size_t k = 0; k < s.frames.size(); ++k) {
        Bytes frame = chunk("00dc", s.frames[k]);
        if (k >= split) {
            later = later + frame;
            continue;
        }
        index = index + code_bytes("00dc");
        le32_append(&index, 0x10);
        le32_append(&index, static_cast<uint32_t>(4 + movi.size()));
        le32_append(&index, static_cast<uint32_t>(s.frames[k].size()));
        movi = movi + frame;
    }
    Bytes avi = list("RIFF", "AVI ", list("LIST", "hdrl", hdrl) + list("LIST", "movi", movi) + chunk("idx1", index));
    return later.empty() ? avi : avi + list("RIFF", "AVIX", list("LIST", "movi", later));
}

class Avi : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
        mediainfo_ = std::system("mediainfo --version > /dev/null 2>&1") == 0;
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    bool says(const RunResult& r, const std::string& utf8) const {
        return r.out.find(console_bytes(utf8)) != std::string::npos;
    }
    // The rewrite changes only listed bytes and keeps the pictures; -u
    // gives the file back byte for byte.
    void expect_rewritten_and_undone(const std::string& name, const std::vector<std::string>& args, const Bytes& original,
                                     const std::string& sums) {
        fs::path file = dir_ / name;
        EXPECT_EQ(read_bytes(file).size(), original.size());
        EXPECT_EQ(change_unlisted(original, read_bytes(file), fs::path(file).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(frame_sums(file), sums);
        std::vector<std::string> undo = {"-u"};
        undo.insert(undo.end(), args.begin(), args.end());
        EXPECT_EQ(run(undo).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
    }
    ScratchDir dir_;
    bool mediainfo_ = false;
};

struct Made {
    const char* name;
    std::string commands;
    const char* option;
    const char* vprp_after;
    // Every parameter set's aspect_ratio_idc, sequence header's
    // aspect_ratio_information, or VOL's aspect_ratio_info ("15 w:h" for the
    // pair); "" where there are none.
    const char* sets_after;
};

// Every sequence header's or parameter set's aspect field as trace_headers
// reads it (the stream format's extradata first), or every VOL's as the
// tests' own reader does: MPEG-2 slices open with the start codes of VOLs,
// which are read only in MPEG-4 video.
std::vector<std::string> codec_aspects(const fs::path& file, const std::string& made) {
    if (made.find("mpeg2video") != std::string::npos) return traced_aspects(file, " aspect_ratio_information ");
    if (made.find("mpeg4") == std::string::npos && made.find("xvid") == std::string::npos) return traced_aspects(file);
    std::vector<std::string> aspects;
    for (const VolAspect& vol : vol_aspects(read_bytes(file))) aspects.push_back(vol.aspect);
    return aspects;
}

// The parameter sets, sequence headers and VOLs in frames and in the
// codec's extradata after the stream format's BITMAPINFOHEADER, as ffmpeg
// keeps it: sets after start codes (an encoder's global header, a
// transport stream's video remuxed), or an avcC or hvcC record (an MP4's
// video remuxed, its frames then framed by length fields).
TEST_F(Avi, TheVprpAndEveryParameterSetTakeTheTarget) {
    const std::string x264 = "-c:v libx264 -preset ultrafast -g 10 ";
    const std::string remuxed = " && ffmpeg -loglevel error -y -i ";
    const Made cases[] = {
        {"pal.avi", ff + "720x576 -aspect 16:9 " + x264 + "pal.avi", "", "4:3", "255 12:11"},
        {"ntsc.avi", ff + "720x480 -vf setsar=10/11 " + x264 + "ntsc.avi", "", "16:9", "5"},
        {"global.avi", ff + "720x576 -aspect 16:9 " + x264 + "-flags +global_header global.avi", "", "4:3",
         "255 12:11"},
        {"avcc.avi", ff + "720x480 -aspect 4:3 " + x264 + "avcc.mp4" + remuxed + "avcc.mp4 -c copy avcc.avi", "",
         "16:9", "255 40:33"},
        {"hvcc.avi", ff + "720x576 -aspect 4:3 -c:v libx265 -x265-params log-level=none hvcc.mp4" + remuxed +
                         "hvcc.mp4 -c copy hvcc.avi", "", "16:9", "255 16:11"},
        {"mpeg2.avi", ff + "720x576 -aspect 4:3 -c:v mpeg2video mpeg2.avi", "", "16:9", "3"},
        {"mpeg2ts.avi", ff + "720x576 -aspect 16:9 -c:v mpeg2video -f mpegts m2.ts" + remuxed +
                            "m2.ts -c copy mpeg2ts.avi", "", "4:3", "2"},
        {"mjpeg.avi", ff + "320x240 -c:v mjpeg mjpeg.avi", "-o3", "16:9", ""},
        {"mpeg4.avi", ff + "720x576 -aspect 4:3 -c:v mpeg4 -g 10 mpeg4.avi", "", "16:9", "15 16:11"},
        {"mp4s.avi", ff + "720x576 -aspect 4:3 -c:v mpeg4 -vtag MP4S -g 10 mp4s.avi", "", "16:9", "15 16:11"},
        {"xvid.avi", ff + "720x480 -vf setsar=10/11 -c:v libxvid -g 10 -bf 2 xvid.avi", "", "16:9", "15 40:33"},
    };
    for (const Made& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {c.name};
        if (*c.option != '\0') args.insert(args.begin(), c.option);
        ASSERT_TRUE(make(c.commands));
        fs::path file = dir_ / c.name;
        Bytes original = read_bytes(file);
        std::string sums = frame_sums(file);
        ASSERT_EQ(run(args).exit_code, 0);
        EXPECT_EQ(vprp_aspect(read_bytes(file)), c.vprp_after);
        EXPECT_EQ(probed_display(file), c.vprp_after);
        if (mediainfo_) {
            std::string shape = output_of("mediainfo --Inform='Video;%DisplayAspectRatio/String%' " + quoted(file));
            EXPECT_EQ(shape.substr(0, shape.find_first_of("\r\n")), c.vprp_after);
        }
        std::vector<std::string> sets = codec_aspects(file, c.commands);
        EXPECT_EQ(sets.empty(), std::string(c.sets_after).empty());
        for (const std::string& idc : sets) EXPECT_EQ(idc, c.sets_after);
        expect_rewritten_and_undone(c.name, {c.name}, original, sums);
    }
}

// Without a vprp: one goes into the room of the video's JUNK, which stays a
// valid chunk ending where it ended; without room the stream's own places
// take the target, and frames of a codec the tool never changes are left
// with the file untouched.
TEST_F(Avi, AVprpGoesIntoJunkRoomOrTheStreamAloneChanges) {
    ASSERT_TRUE(make(ff + "720x576 -vf setsar=12/11 -c:v libx264 -preset ultrafast -g 10 h264.avi && " + ff +
                     "320x240 -c:v mjpeg mjpeg.avi"));
    Stream h264 = stream_of(read_bytes(dir_ / "h264.avi"));
    write_bytes(dir_ / "room.avi", avi_written(h264, 200));
    write_bytes(dir_ / "bare.avi", avi_written(h264, 0));
    Bytes room = read_bytes(dir_ / "room.avi");
    Bytes bare = read_bytes(dir_ / "bare.avi");
    ASSERT_EQ(strl_layout(room), "strh 56 strf 40 JUNK 200 ");
    std::string sums = frame_sums(dir_ / "room.avi");
    size_t sets = traced_aspects(dir_ / "h264.avi").size();

    ASSERT_EQ(run({"room.avi"}).exit_code, 0);
    Bytes after = read_bytes(dir_ / "room.avi");
    EXPECT_EQ(strl_layout(after), "strh 56 strf 40 vprp 68 JUNK 124 ");
    EXPECT_EQ(vprp_aspect(after), "16:9");
    EXPECT_EQ(probed_display(dir_ / "room.avi"), "16:9");
    EXPECT_EQ(traced_aspects(dir_ / "room.avi"), std::vector<std::string>(sets, "4"));
    expect_rewritten_and_undone("room.avi", {"room.avi"}, room, sums);

    // -c would change nothing there.
    RunResult r = run({"-c", "bare.avi"});
    EXPECT_EQ(r.exit_code, 12);
    EXPECT_FALSE(says(r, "映像ストリームの記録だけを変えます")) << r.out;
    EXPECT_TRUE(read_bytes(dir_ / "bare.avi") == bare);
    r = run({"bare.avi"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(says(r, "このAVIにはアスペクトを記録するvprpも、それを入れる空き(JUNK)もないので、映像ストリームの記録だけを変えます"));
    EXPECT_EQ(strl_layout(read_bytes(dir_ / "bare.avi")), "strh 56 strf 40 ");
    EXPECT_EQ(probed_display(dir_ / "bare.avi"), "20:11");
    EXPECT_EQ(traced_aspects(dir_ / "bare.avi"), std::vector<std::string>(sets, "4"));
    expect_rewritten_and_undone("bare.avi", {"bare.avi"}, bare, sums);

    Stream mjpeg = stream_of(read_bytes(dir_ / "mjpeg.avi"));
    write_bytes(dir_ / "mjpeg_bare.avi", avi_written(mjpeg, 0));
    write_bytes(dir_ / "mjpeg_room.avi", avi_written(mjpeg, 68));
    Bytes mjpeg_bare = read_bytes(dir_ / "mjpeg_bare.avi");
    EXPECT_EQ(run({"-o3", "mjpeg_bare.avi"}).exit_code, 12);
    EXPECT_TRUE(read_bytes(dir_ / "mjpeg_bare.avi") == mjpeg_bare);
    Bytes mjpeg_room = read_bytes(dir_ / "mjpeg_room.avi");
    ASSERT_EQ(run({"-o3", "mjpeg_room.avi"}).exit_code, 0);
    EXPECT_EQ(strl_layout(read_bytes(dir_ / "mjpeg_room.avi")), "strh 56 strf 40 vprp 68 ");
    EXPECT_EQ(probed_display(dir_ / "mjpeg_room.avi"), "16:9");
    expect_rewritten_and_undone("mjpeg_room.avi", {"mjpeg_room.avi"}, mjpeg_room, frame_sums(dir_ / "mjpeg.avi"));

    // A vprp whose aspect is 0 records none: it takes the target, never
    // counted as holding it already.
    Bytes unknown = read_bytes(dir_ / "mjpeg.avi");
    for (const Chunk& c : first_strl(unknown)) {
        if (c.code == "vprp") std::fill_n(unknown.begin() + static_cast<std::ptrdiff_t>(c.data + 20), 4, 0);
    }
    write_bytes(dir_ / "mjpeg_unknown.avi", unknown);
    ASSERT_EQ(run({"-o3", "mjpeg_unknown.avi"}).exit_code, 0);
    EXPECT_EQ(vprp_aspect(read_bytes(dir_ / "mjpeg_unknown.avi")), "16:9");
    expect_rewritten_and_undone("mjpeg_unknown.avi", {"mjpeg_unknown.avi"}, unknown, frame_sums(dir_ / "mjpeg.avi"));
}

// The frames of an OpenDML part past the first RIFF chunk are the video's
// too; a capture cut short, with sizes past its end or never written, is
// walked as far as it goes and said to be cut.
TEST_F(Avi, OpenDmlPartsAndCutCapturesAreWalkedToTheirEnd) {
    ASSERT_TRUE(make(ff + "720x576 -vf setsar=16/11 -c:v libx264 -preset ultrafast -g 5 h264.avi"));
    Bytes whole = read_bytes(dir_ / "h264.avi");
    Stream h264 = stream_of(whole);
    write_bytes(dir_ / "parts.avi", avi_written(h264, 0, h264.frames.size() / 2));
    Bytes parts = read_bytes(dir_ / "parts.avi");
    ASSERT_EQ(run({"parts.avi"}).exit_code, 0);
    size_t sets = traced_aspects(dir_ / "h264.avi").size();
    EXPECT_EQ(traced_aspects(dir_ / "parts.avi"), std::vector<std::string>(sets, "2"));
    expect_rewritten_and_undone("parts.avi", {"parts.avi"}, parts, frame_sums(dir_ / "h264.avi"));

    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 2 / 3));
    Bytes unwritten = cut;
    for (size_t at : {size_t{4}, list_of(cut, chunks_in(cut, 12, cut.size()), "movi").data - 4}) {
        unwritten[at] = unwritten[at + 1] = unwritten[at + 2] = unwritten[at + 3] = 0;
    }
    for (const auto& [name, bytes] : {std::pair<std::string, Bytes>{"cut.avi", cut}, {"unwritten.avi", unwritten}}) {
        SCOPED_TRACE(name);
        write_bytes(dir_ / name, bytes);
        RunResult r = run({name});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(says(r, "ファイルは" + std::to_string(bytes.size()) + "バイトで途切れています"));
        std::vector<std::string> cut_sets = traced_aspects(dir_ / name);
        EXPECT_GE(cut_sets.size(), sets / 2);
        for (const std::string& idc : cut_sets) EXPECT_EQ(idc, "2");
        EXPECT_EQ(run({"-u", name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir_ / name) == bytes);
    }
}

// DV as ffmpeg writes it (a vids stream, type 2); with a DVINFO after its
// BITMAPINFOHEADER, as capture programs write it, and that file as
// mkvmerge keeps it, a track in AVI's manner; and as a type-1 capture
// keeps it (one iavs stream whose format is a DVINFO). The DVINFO repeats
// the source control pack: every pack of every frame, the DVINFO's copy
// and the vprp or display elements take the target.
TEST_F(Avi, DvPacksAndTheirDvinfoCopyTakeTheTarget) {
    ASSERT_TRUE(make(ff + "720x576 -aspect 16:9 -c:v dvvideo -pix_fmt yuv420p dv.avi"));
    Stream dv = stream_of(read_bytes(dir_ / "dv.avi"));
    std::map<size_t, int> first = dv_packs(dv.frames.at(0), 0);
    ASSERT_EQ(disps(first), std::set<int>{2});  // 16:9
    Bytes dvinfo(32, 0);
    auto pack = dv.frames[0].begin() + static_cast<std::ptrdiff_t>(first.begin()->first);
    std::copy(pack, pack + 4, dvinfo.begin() + 20);
    Stream type2 = dv;
    type2.strf = dv.strf + dvinfo;
    write_bytes(dir_ / "dvinfo.avi", avi_written(type2, 0));
    Stream type1 = dv;
    type1.strh[0] = 'i', type1.strh[1] = 'a', type1.strh[2] = 'v', type1.strh[3] = 's';
    type1.strf = dvinfo;
    write_bytes(dir_ / "type1.avi", avi_written(type1, 0));
    bool mkv = std::system("mkvmerge --version > /dev/null 2>&1") == 0 &&
               make("mkvmerge -q -o dv.mkv --aspect-ratio 0:16/9 dvinfo.avi");
    const struct {
        const char* name;
        Bytes format;  // the stream format that ends in a DVINFO, where one does
        const char* summary;
    } files[] = {{"dv.avi", {}, "AVI DV 720x576 16:9->4:3 "},
                 {"dvinfo.avi", type2.strf, "AVI DV 720x576 16:9->4:3 "},
                 {"type1.avi", type1.strf, "AVI DV 720x576 16:9->4:3 "},
                 {"dv.mkv", type2.strf, "MKV DV 720x576 16:9->4:3 "}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        fs::path file = dir_ / f.name;
        if (file.extension() == ".mkv" && !mkv) continue;
        Bytes before = read_bytes(file);
        std::string sums = frame_sums(file);
        RunResult r = run({f.name});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_TRUE(says(r, f.summary)) << r.out;
        std::map<size_t, int> after = demuxed_packs(file);
        EXPECT_EQ(after.size(), dv.frames.size() * 72);
        EXPECT_EQ(disps(after), std::set<int>{0});  // 4:3
        if (!f.format.empty()) {
            size_t format = static_cast<size_t>(std::search(before.begin(), before.end(), f.format.begin(),
                                                            f.format.end()) - before.begin());
            EXPECT_EQ(read_bytes(file).at(format + f.format.size() - 32 + 21) & 7, 0);
        }
        EXPECT_EQ(probed_display(file), "4:3");
        EXPECT_EQ(frame_aspects(file), std::set<std::string>{"16:15"});
        expect_rewritten_and_undone(f.name, {f.name}, before, sums);
    }
}

}  // namespace
