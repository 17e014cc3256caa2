#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "edit_run.h"
#include "judges.h"
#include "streams.h"
#include "support.h"

namespace {

typedef EngineOutcome Outcome;

class Editor : public ::testing::Test {
protected:
    Outcome run(const Bytes& stream, uint32_t target, RequestMode mode = mode_convert, bool resync = false,
                const std::string& name = "movie.mpg") {
        fs::path video = dir_ / name;
        write_bytes(video, stream);
        return engine_outcome(video, target, mode, resync);
    }

    Outcome rerun(const fs::path& video, uint32_t target, RequestMode mode = mode_convert) {
        return engine_outcome(video, target, mode);
    }

    ScratchDir dir_;
};

// The display aspect ffprobe reads in the video's first stream.
std::string display_aspect(const fs::path& video) {
    std::string out = output_of("ffprobe -v error -select_streams v:0 -show_entries stream=display_aspect_ratio "
                                "-of default=nw=1:nk=1 " + quoted(video));
    return out.substr(0, out.find_first_of(",\r\n"));
}

// The editor's one switch, mode by mode, on the sites of an MPEG sequence
// header, of an HEVC parameter set and of MP4, Matroska and AVI files (their
// own display fields, and parameter sets in the decoder configuration and
// in the samples, under CRC-32s): a change search and a listing change
// nothing, a rewrite makes
// the marker and the new aspect, a restore gives the file back and removes
// the marker.
TEST_F(Editor, EachModeDoesItsOwnWithEveryKindOfSite) {
    struct Case {
        const char* sample;
        uint32_t target;
        SarRatio sar;
        const char* display;  // as ffprobe reads it after the rewrite
    } cases[] = {{"dvd_ntsc_4x3.mpg", 3, {0, 0}, "16:9"},
                 {"es_hevc.hevc", 0, {40, 33}, "16:9"},
                 {"mp4_h264.mp4", 0, {16, 11}, "20:11"},
                 {"mkv_h264.mkv", 0, {16, 11}, "20:11"},
                 {"avi_h264.avi", 0, {12, 11}, "4:3"}};
    bool ffprobe_here = std::system("ffprobe -version > /dev/null 2>&1") == 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        fs::path video = copy_sample(dir_, c.sample);
        fs::path marker = fs::path(video).replace_extension(".ini");
        Bytes original = read_bytes(video);
        ConvertJob job = {path_utf8(video), c.target, c.sar, {}, false};
        EXPECT_TRUE(edit_open_run(job, edit_change_search).change_needed);
        EXPECT_EQ(edit_open_run(job, edit_list).run.result, 0);
        EXPECT_TRUE(fs::exists(fs::path(video).replace_extension(".txt")));
        EXPECT_TRUE(read_bytes(video) == original);
        EXPECT_FALSE(fs::exists(marker));

        EXPECT_TRUE(edit_open_run(job, edit_rewrite).run.marker_created);
        if (ffprobe_here) {
            EXPECT_EQ(display_aspect(video), c.display);
        }
        EXPECT_FALSE(edit_open_run(job, edit_change_search).change_needed);
        EXPECT_NE(edit_open_run(job, edit_restore).run.ending, ending_restored_partly);
        EXPECT_TRUE(read_bytes(video) == original);
        EXPECT_FALSE(fs::exists(marker));
    }
}

Bytes with_byte(Bytes bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
}

// What a rewrite must make of a stream: byte 7 of every header with the
// first header's size and frame rate takes the target nibble.
Bytes expected_rewrite(const Bytes& original, uint8_t target, std::vector<size_t>* rewritten) {
    Bytes expected = original;
    std::vector<size_t> headers = sequence_header_positions(original);
    size_t first = headers.at(0);
    for (size_t h : headers) {
        bool same = std::memcmp(&original[h + 4], &original[first + 4], 3) == 0 &&
                    (original[h + 7] & 0x0F) == (original[first + 7] & 0x0F);
        if (!same) continue;
        expected[h + 7] = static_cast<uint8_t>((target << 4) | (original[h + 7] & 0x0F));
        rewritten->push_back(h + 7);
    }
    return expected;
}

std::string marker_text(uint8_t first_byte7, const std::vector<size_t>& positions) {
    std::string text = std::to_string(first_byte7) + "\r\n";
    for (size_t p : positions) text += std::to_string(p) + "\r\n";
    return text;
}

struct SampleCase {
    const char* name;
    uint8_t target;
};

const SampleCase sample_cases[] = {
    {"dvd_ntsc_4x3.mpg", 3},       {"es_mpeg2_16x9.m2v", 2}, {"es_mpeg1.m1v", 12},
    {"vcd_pal.mpg", 12},           {"svcd_pal.mpg", 3},      {"mpeg1sys_mpeg2video.mpg", 3},
};

TEST_F(Editor, EverySampleIsRewrittenExactlyAndBackAgain) {
    for (const SampleCase& c : sample_cases) {
        SCOPED_TRACE(c.name);
        Bytes original = read_bytes(sample_path(c.name));
        std::vector<size_t> rewritten;
        Bytes expected = expected_rewrite(original, c.target, &rewritten);
        ASSERT_GE(rewritten.size(), 4u);

        fs::path video = copy_sample(dir_, c.name);
        Outcome first = rerun(video, c.target);
        EXPECT_EQ(first.result, ended_marker_created);
        EXPECT_TRUE(first.video == expected);
        size_t header = sequence_header_positions(original)[0];
        EXPECT_EQ(first.marker, marker_text(original[header + 7], rewritten));

        uint8_t source = original[header + 7] >> 4;
        Outcome second = rerun(video, source);
        EXPECT_EQ(second.result, ended_done);
        EXPECT_TRUE(second.video == original);
        EXPECT_EQ(second.marker, first.marker);  // found, left alone
    }
}

TEST_F(Editor, ListModeListsAndChangesNothing) {
    for (const SampleCase& c : sample_cases) {
        SCOPED_TRACE(c.name);
        Bytes original = read_bytes(sample_path(c.name));
        fs::path video = copy_sample(dir_, c.name);
        Outcome o = rerun(video, c.target, mode_list);
        EXPECT_EQ(o.result, ended_done);
        EXPECT_TRUE(o.video == original);
        EXPECT_FALSE(o.has_marker);
        std::string expected = video.string() + " sequence header list\r\n";
        std::vector<size_t> rewritten;
        expected_rewrite(original, c.target, &rewritten);
        for (size_t p : rewritten) {
            char line[128];
            std::snprintf(line, sizeof line, "%12zu %08zx %02x %02x %02x %02x (-)\r\n", p, p,
                          original[p - 3], original[p - 2], original[p - 1], original[p]);
            expected += line;
        }
        EXPECT_EQ(o.list, expected);
    }
}

TEST_F(Editor, ElementaryStreamHeadersAcrossChunkBoundaries) {
    const size_t chunk = 1048576;
    Bytes stream = ntsc_4x3 + filler(chunk - 5 - 12) + ntsc_4x3;  // byte 7 at chunk offset 2
    stream = stream + filler(chunk - 4 - (stream.size() - chunk)) + ntsc_16x9 + filler(100);
    ASSERT_EQ(sequence_header_positions(stream), (std::vector<size_t>{0, chunk - 5, 2 * chunk - 4}));

    Outcome listed = run(stream, 3, mode_list);
    std::string lines = listed.list.substr(listed.list.find("\r\n") + 2);
    EXPECT_EQ(lines,
              "           7 00000007 2d 01 e0 24 (-)\r\n"
              "     1048578 00100002 2d 01 e0 24 (*)\r\n"
              "     2097155 00200003 2d 01 e0 34 (-)\r\n");

    Outcome o = run(stream, 3);
    Bytes expected = with_byte(with_byte(stream, 7, 0x34), chunk + 2, 0x34);
    EXPECT_TRUE(o.video == expected);
    EXPECT_EQ(o.marker, "36\r\n7\r\n1048578\r\n");  // the 16:9 one needed no change
}

TEST_F(Editor, OnlyHeadersOfTheReferenceSizeAndRateAreTouched) {
    Bytes other_size = sequence_header(704, 480, 2, 4);
    Bytes other_rate = sequence_header(720, 480, 2, 3);
    Bytes stream = ntsc_4x3 + other_size + other_rate + ntsc_16x9 + filler(8);
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, ended_marker_created);
    Bytes expected = with_byte(stream, 7, 0x34);
    EXPECT_TRUE(o.video == expected);
    EXPECT_EQ(o.marker, "36\r\n7\r\n");  // the 16:9 one already had the target
}

TEST_F(Editor, ProgramStreamScansOnlyVideoPayload) {
    Bytes stream = pack_mpeg2() + pes2(0xE0, ntsc_4x3 + filler(20)) +
                   pes2(0xE1, ntsc_4x3) + pes2(0xC0, ntsc_4x3) +
                   packet(0xBD, {0x81, 0x80, 0x00}, ntsc_4x3) +
                   pack_mpeg2() + pes2(0xE0, filler(3) + ntsc_4x3);
    std::vector<size_t> h = sequence_header_positions(stream);
    ASSERT_EQ(h.size(), 5u);
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, ended_marker_created);
    Bytes expected = with_byte(with_byte(stream, h[0] + 7, 0x34), h[4] + 7, 0x34);
    EXPECT_TRUE(o.video == expected);
}

TEST_F(Editor, HeaderSplitAcrossTwoVideoPackets) {
    Bytes first_packet = pes2(0xE0, ntsc_4x3 + filler(10) + Bytes(ntsc_4x3.begin(), ntsc_4x3.begin() + 6));
    Bytes second_packet = pes2(0xE0, Bytes(ntsc_4x3.begin() + 6, ntsc_4x3.end()) + filler(4));
    Bytes stream = pack_mpeg2() + first_packet + pes2(0xC0, filler(7)) + second_packet;
    size_t byte7 = stream.size() - second_packet.size() + 14 + 1;
    ASSERT_EQ(stream[byte7], 0x24);

    Outcome listed = run(stream, 3, mode_list);
    EXPECT_NE(listed.list.find(" 24 (*)\r\n"), std::string::npos) << listed.list;

    Outcome o = run(stream, 3);
    Bytes expected = with_byte(with_byte(stream, 14 + 14 + 7, 0x34), byte7, 0x34);
    EXPECT_TRUE(o.video == expected);
}

TEST_F(Editor, MpegOneSystemLayerWithStuffingAndTimeStamps) {
    const Bytes headers[] = {
        {0x0F},                                     // no time stamps
        {0xFF, 0xFF, 0x21, 0x00, 0x01, 0x00, 0x01}, // stuffing and a PTS
        {0x40, 0x20, 0x31, 0, 1, 0, 1, 0x11, 0, 1, 0, 1},  // STD buffer, PTS and DTS
    };
    Bytes stream;
    for (const Bytes& header : headers) {
        stream = stream + pack_mpeg1 + packet(0xE0, header, ntsc_4x3 + filler(3)) + Bytes(20, 0);
    }
    stream = stream + Bytes{0, 0, 1, 0xB9};
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, ended_marker_created);
    std::vector<size_t> rewritten;
    EXPECT_TRUE(o.video == expected_rewrite(stream, 3, &rewritten));
    EXPECT_EQ(rewritten.size(), 3u);
}

TEST_F(Editor, PackStuffingAndTrailingZeros) {
    Bytes stream = pack_mpeg2(3) + pes2(0xE0, ntsc_4x3) + pack_mpeg2(7) + pes2(0xE0, ntsc_4x3) +
                   Bytes(5000, 0);
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, ended_marker_created);
    std::vector<size_t> rewritten;
    EXPECT_TRUE(o.video == expected_rewrite(stream, 3, &rewritten));
    EXPECT_EQ(rewritten.size(), 2u);
}

TEST_F(Editor, DamagedStreamStopsAfterWhatCameBefore) {
    Bytes stream = pack_mpeg2() + pes2(0xE0, ntsc_4x3) + Bytes{0x12, 0x34} + pack_mpeg2() +
                   pes2(0xE0, ntsc_4x3);
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, result_stream_id_error);
    EXPECT_TRUE(o.video == with_byte(stream, 14 + 14 + 7, 0x34));
    EXPECT_EQ(o.marker, "36\r\n35\r\n");
}

TEST_F(Editor, ZerosThatLeadNowhereAreDamage) {
    Bytes stream = pack_mpeg2() + pes2(0xE0, ntsc_4x3) + Bytes{0, 0, 0, 0x42} + pack_mpeg2();
    EXPECT_EQ(run(stream, 3).result, result_stream_id_error);
}

TEST_F(Editor, LowStartCodesStopWithoutRangeSearchAndAreSteppedOverWithIt) {
    Bytes stream = pack_mpeg2() + pes2(0xE0, ntsc_4x3) + Bytes{0, 0, 1, 0x00} + pack_mpeg2() +
                   pes2(0xE0, ntsc_4x3);
    EXPECT_EQ(run(stream, 3).result, result_stream_id_error);
    Outcome o = run(stream, 3, mode_convert, true, "searched.mpg");
    EXPECT_EQ(o.result, ended_marker_created);
    EXPECT_EQ(sequence_header_positions(o.video).size(), 2u);
    EXPECT_EQ(o.video[stream.size() - 5], 0x34);
}

// A false 00 00 01 BA in damaged bytes is no place to resume at: each of
// these is wrong in one way, and only the last pack header is taken.
TEST_F(Editor, RangeSearchResumesOnlyAtAPackHeaderRightThroughout) {
    Bytes wrong_marker = pack_mpeg2();
    wrong_marker[8] &= ~4u;
    Bytes stuffing_not_ff = pack_mpeg2(2);
    stuffing_not_ff[15] = 0x12;
    Bytes mpeg1_wrong_marker = pack_mpeg1;
    mpeg1_wrong_marker[9] = 0x00;
    Bytes stream = pack_mpeg2() + pes2(0xE0, ntsc_4x3) + filler(300000) + wrong_marker +
                   pes2(0xE0, ntsc_4x3) + stuffing_not_ff + pes2(0xE0, ntsc_4x3) +
                   mpeg1_wrong_marker + pes2(0xE0, ntsc_4x3) + pack_mpeg2() + filler(9) +
                   pack_mpeg2() + pes2(0xE0, ntsc_4x3);
    Outcome o = run(stream, 3, mode_convert, true);
    EXPECT_EQ(o.result, ended_marker_created);
    std::vector<size_t> headers = sequence_header_positions(stream);
    ASSERT_EQ(headers.size(), 5u);
    EXPECT_TRUE(o.video == with_byte(with_byte(stream, headers[0] + 7, 0x34), headers[4] + 7, 0x34));
}

TEST_F(Editor, RangeSearchEndsQuietlyAtTheEndOfTheFile) {
    Bytes stream = pack_mpeg2() + pes2(0xE0, ntsc_4x3) + filler(2);
    EXPECT_EQ(run(stream, 3, mode_convert, true).result, ended_marker_created);
}

TEST_F(Editor, PacketsCutShortByTheEndOfTheFile) {
    Bytes whole = pack_mpeg2() + pes2(0xE0, ntsc_4x3 + filler(40) + ntsc_4x3);
    Bytes cut(whole.begin(), whole.end() - 4);  // the second header ends at its byte 7
    Outcome o = run(cut, 3);
    EXPECT_EQ(o.result, ended_marker_created);
    EXPECT_EQ(o.video.size(), cut.size());
    EXPECT_EQ(o.video[cut.size() - 1], 0x34);

    Bytes start_code_cut = whole + Bytes{0, 0, 1};
    EXPECT_EQ(run(start_code_cut, 3, mode_convert, false, "cut_code.mpg").result, ended_marker_created);
}

TEST_F(Editor, DamageBeforeAnyHeaderChangesNothing) {
    Bytes stream = pack_mpeg2() + pes2(0xE0, filler(100)) + Bytes(1048576, 0xFF) + ntsc_4x3;
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, result_stream_id_error);
    EXPECT_TRUE(o.video == stream);
    EXPECT_FALSE(o.has_marker);
}

TEST_F(Editor, AMarkerFileThatCannotBeReadStopsBeforeAnyChange) {
    const char* unreadable[] = {"keep", "36\r\n12x\r\n", "300\r\n", "36\r\n7 36\r\n7 52\r\n"};
    for (const char* text : unreadable) {
        write_bytes(dir_ / "movie.ini", Bytes(text, text + std::strlen(text)));
        Outcome o = run(ntsc_4x3 + filler(4), 3);
        EXPECT_EQ(o.result, result_marker_unreadable) << text;
        EXPECT_EQ(o.marker, text);
        EXPECT_EQ(o.video[7], 0x24) << text;
    }
    // Cut by a power cut before its first line, or before anything it
    // records was synced: it is begun again.
    for (const char* text : {"", "3", "36\r\n7"}) {
        write_bytes(dir_ / "movie.ini", Bytes(text, text + std::strlen(text)));
        Outcome o = run(ntsc_4x3 + filler(4), 3);
        EXPECT_EQ(o.result, ended_done) << text;
        EXPECT_EQ(o.marker, "36\r\n7\r\n") << text;
        EXPECT_EQ(o.video[7], 0x34) << text;
    }
}

// A run writes through the handle it opened: a file renamed into the
// video's place meanwhile is never written, and the one it opened is (on
// Windows no other file can take the name while the run holds it).
TEST_F(Editor, AFileRenamedOverTheVideoIsNeverWritten) {
    Bytes stream = ntsc_4x3 + filler(4);
    write_bytes(dir_ / "movie.mpg", stream);
    write_bytes(dir_ / "other.mpg", stream);
    FileHandleRec file = {os_invalid_handle, 0, 0};
    ASSERT_EQ(file_open(&file, (dir_ / "movie.mpg").string().c_str(), generic_read | generic_write), file_opened);
    std::error_code refused;
    fs::rename(dir_ / "movie.mpg", dir_ / "opened.mpg", refused);
#ifdef _WIN32
    // Windows keeps the name of a file the run holds open.
    EXPECT_TRUE(refused);
    file_close(&file);
    return;
#endif
    ASSERT_FALSE(refused);
    fs::rename(dir_ / "other.mpg", dir_ / "movie.mpg");
    ConvertJob job = {};
    job.path = (dir_ / "movie.mpg").string();
    job.target_aspect = 3;
    EXPECT_EQ(edit_run_on(&file, job), ended_marker_created);
    file_close(&file);
    EXPECT_TRUE(read_bytes(dir_ / "movie.mpg") == stream);
    EXPECT_EQ(read_bytes(dir_ / "opened.mpg")[7], 0x34);
}

TEST_F(Editor, ListFileNeverReplacesTheVideo) {
    Bytes stream = ntsc_4x3 + filler(4);
    Outcome o = run(stream, 3, mode_list, false, "movie.txt");
    EXPECT_EQ(o.result, result_side_file_error);
    EXPECT_TRUE(o.video == stream);
}

TEST_F(Editor, MissingVideoIsAnOpenError) {
    ConvertJob job = {};
    job.path = (dir_ / "absent.mpg").string();
    EXPECT_EQ(edit_run(job), result_open_error);
}

// With two video streams, 0xE1 first, the reference is still stream 0xE0's
// first header: 0xE1's headers of another size never count.
TEST_F(Editor, TheReferenceComesFromStreamE0) {
    Bytes small = sequence_header(352, 240, 2, 4);
    Bytes stream = pack_mpeg2() + pes2(0xE1, small + filler(10)) + pes2(0xE1, small) +
                   pack_mpeg2() + pes2(0xE0, ntsc_4x3 + filler(5)) + pes2(0xE0, ntsc_4x3);
    std::vector<size_t> h = sequence_header_positions(stream);
    ASSERT_EQ(h.size(), 4u);
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, ended_marker_created);
    EXPECT_EQ(o.marker, "36\r\n" + std::to_string(h[2] + 7) + "\r\n" + std::to_string(h[3] + 7) + "\r\n");
    EXPECT_TRUE(o.video == with_byte(with_byte(stream, h[2] + 7, 0x34), h[3] + 7, 0x34));
}

// A packet of the longest length: 6 + 65,535 bytes, all of it payload to
// the last byte, where a header ends.
TEST_F(Editor, FullLengthPacketsAreScannedToTheirLastByte) {
    // 8 bytes of PES header, then the payload to the packet's end.
    Bytes payload = ntsc_4x3 + filler(65535 - 8 - 12 - 8) + Bytes(ntsc_4x3.begin(), ntsc_4x3.begin() + 8);
    Bytes stream = pack_mpeg2() + packet(0xE0, {0x81, 0x80, 0x05, 0x21, 0x00, 0x01, 0x00, 0x01}, payload) +
                   pack_mpeg2() + pes2(0xE0, Bytes(ntsc_4x3.begin() + 8, ntsc_4x3.end()));
    size_t last = 14 + 65541 - 1;
    ASSERT_EQ(stream[last], 0x24);
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, ended_marker_created);
    EXPECT_EQ(o.marker, "36\r\n" + std::to_string(14 + 14 + 7) + "\r\n" + std::to_string(last) + "\r\n");
}

// Ten seconds of audio before the first video packet: the reference lies
// past the first MiB, and is found.
TEST_F(Editor, VideoThatStartsLate) {
    Bytes audio = pack_mpeg2() + packet(0xBD, {0x81, 0x80, 0x00}, filler(2000));
    Bytes stream;
    while (stream.size() < 2500000) stream.insert(stream.end(), audio.begin(), audio.end());
    size_t first = stream.size() + 14 + 14 + 7;
    stream = stream + pack_mpeg2() + pes2(0xE0, ntsc_4x3 + filler(100) + ntsc_16x9);
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, ended_marker_created);
    EXPECT_EQ(o.marker, "36\r\n" + std::to_string(first) + "\r\n");
}

TEST_F(Editor, NoVideoSequenceHeaderAtAll) {
    Bytes stream = pack_mpeg2() + pes2(0xE0, filler(300)) + pes2(0xE1, ntsc_4x3);
    Outcome o = run(stream, 3);
    EXPECT_EQ(o.result, result_no_sequence_header);
    EXPECT_FALSE(o.has_marker);
    EXPECT_TRUE(o.video == stream);
}

#ifndef _WIN32
// Whatever name reaches the video, list mode never empties it.
TEST_F(Editor, ListModeNeverTruncatesTheVideoThroughALink) {
    Bytes stream = ntsc_4x3 + filler(4);
    write_bytes(dir_ / "real.txt", stream);
    fs::create_symlink("real.txt", dir_ / "real.mpg");
    EXPECT_EQ(rerun(dir_ / "real.mpg", 3, mode_list).result, result_side_file_error);
    EXPECT_TRUE(read_bytes(dir_ / "real.txt") == stream);

    write_bytes(dir_ / "movie.mpg", stream);
    fs::create_hard_link(dir_ / "movie.mpg", dir_ / "movie.txt");
    EXPECT_EQ(rerun(dir_ / "movie.mpg", 3, mode_list).result, result_side_file_error);
    EXPECT_TRUE(read_bytes(dir_ / "movie.mpg") == stream);
}
#endif

TEST(Be32At, BigEndian) {
    const uint8_t bytes[] = {0x00, 0x00, 0x01, 0xB3};
    EXPECT_EQ(be32_at(bytes), 435u);
}

}  // namespace

namespace {

// Positions past 4 GiB: a sparse file whose second header lies beyond 2^32.
TEST_F(Editor, HeadersBeyondFourGibibytes) {
    const uint64_t far = (1ULL << 32) + 100;
    fs::path video = dir_ / "large.m2v";
    write_bytes(video, ntsc_4x3);
    fs::resize_file(video, far);
    {
        std::FILE* f = std::fopen(video.string().c_str(), "ab");
        ASSERT_NE(f, nullptr);
        std::fwrite(ntsc_4x3.data(), 1, ntsc_4x3.size(), f);
        std::fclose(f);
    }
    // Converted only: the listing's wide positions are the text format's
    // own, and every scan of the hole costs seconds of page faults.
    ConvertJob job = {};
    job.path = video.string();
    job.target_aspect = 3;
    job.request.mode = mode_convert;
    EXPECT_EQ(edit_run(job), ended_marker_created);
    std::string owner;
    EXPECT_EQ(marker_positions(read_text(dir_ / "large.ini"), &owner), "36\r\n7\r\n4294967403\r\n");
    EXPECT_EQ(owner, "video=4294967408 large.m2v\r\n");
    std::ifstream in(video, std::ios::binary);
    char bytes[12] = {};
    in.read(bytes, 8);
    EXPECT_EQ(static_cast<uint8_t>(bytes[7]), 0x34);
    in.seekg(static_cast<std::streamoff>(far));
    in.read(bytes, 12);
    EXPECT_EQ(in.gcount(), 12);
    EXPECT_EQ(static_cast<uint8_t>(bytes[6]), 0xE0);
    EXPECT_EQ(static_cast<uint8_t>(bytes[7]), 0x34);
    EXPECT_EQ(fs::file_size(video), far + 12);
}

}  // namespace

namespace {

TEST_F(Editor, ProgramStreamPacketsBeyondFourGibibytes) {
    Bytes first = pack_mpeg2() + pes2(0xE0, ntsc_4x3);
    Bytes last = pack_mpeg2() + pes2(0xE0, ntsc_4x3);
    const uint64_t far = (1ULL << 32) + 3;
    fs::path video = dir_ / "large.mpg";
    write_bytes(video, first);
    fs::resize_file(video, far);  // zero padding up to the next pack
    {
        std::ofstream out(video, std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char*>(last.data()), static_cast<std::streamsize>(last.size()));
    }
    ConvertJob job = {};
    job.path = video.string();
    job.target_aspect = 3;
    EXPECT_EQ(edit_run(job), ended_marker_created);
    uint64_t far_byte7 = far + last.size() - 5;
    EXPECT_EQ(marker_positions(read_text(dir_ / "large.ini")),
              "36\r\n35\r\n" + std::to_string(far_byte7) + "\r\n");
    std::ifstream in(video, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(far_byte7));
    EXPECT_EQ(in.get(), 0x34);
}

}  // namespace
