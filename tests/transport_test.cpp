#include <gtest/gtest.h>

#include "reference_demux.h"
#include "edit_run.h"
#include "streams.h"
#include "support.h"

namespace {

struct TransportCase {
    const char* name;
    uint8_t target;
    size_t headers;  // at least this many must change
};

const TransportCase transport_cases[] = {
    {"ts_sd_4x3.ts", 3, 4},
    {"hdv_16x9.m2ts", 2, 2},
    {"ts_mpeg1.ts", 8, 4},
    {"ts_two_programs.ts", 3, 4},
};

std::string marker_lines(uint8_t first, const std::vector<int64_t>& positions) {
    std::string text = std::to_string(first) + "\r\n";
    for (int64_t p : positions) text += std::to_string(p) + "\r\n";
    return text;
}

class Transport : public ::testing::Test {
protected:
    // Rewrites the stream and checks every changed byte against the tests'
    // own reading of it, then puts it back with -u.
    void expect_exact_round_trip(const Bytes& stream, uint8_t target, size_t least_headers,
                                 const std::string& name = "movie.ts") {
        TransportInfo info;
        std::vector<int64_t> headers = matching_headers(stream, transport_video_payload(stream, &info));
        ASSERT_GE(headers.size(), least_headers);
        fs::path video = dir_ / name;
        write_bytes(video, stream);
        EngineOutcome o = engine_outcome(video, target);
        EXPECT_EQ(o.result, ended_marker_created);
        EXPECT_TRUE(o.video == rewritten(stream, headers, target));
        EXPECT_EQ(o.marker, marker_lines(stream[headers[0]], headers));
        EngineOutcome undone = engine_outcome(video, 0, mode_undo);
        EXPECT_EQ(undone.result, ended_done);
        EXPECT_TRUE(undone.video == stream);
        EXPECT_FALSE(undone.has_marker);
    }

    ScratchDir dir_;
};

TEST_F(Transport, EncoderMadeStreamsChangeExactlyWhereTheirVideoHasHeaders) {
    for (const TransportCase& c : transport_cases) {
        SCOPED_TRACE(c.name);
        expect_exact_round_trip(read_bytes(sample_path(c.name)), c.target, c.headers, c.name);
    }
}

TEST_F(Transport, TheSecondProgramsVideoIsLeftAlone) {
    Bytes original = read_bytes(sample_path("ts_two_programs.ts"));
    fs::path video = copy_sample(dir_, "ts_two_programs.ts");
    Bytes after = engine_outcome(video, 3).video;
    size_t changed = 0;
    for (size_t i = 0; i < original.size(); ++i) {
        if (original[i] == after[i]) continue;
        size_t packet = i - i % 188;
        EXPECT_EQ((original[packet + 1] & 0x1F) << 8 | original[packet + 2], 0x100) << i;
        ++changed;
    }
    EXPECT_GE(changed, 4u);
}

// Packets of 204 bytes: 16 bytes of Reed-Solomon parity after each.
TEST_F(Transport, PacketsWithParityAfterThem) {
    Bytes plain = read_bytes(sample_path("ts_sd_4x3.ts"));
    Bytes stream;
    for (size_t p = 0; p + 188 <= plain.size(); p += 188) {
        stream.insert(stream.end(), plain.begin() + static_cast<std::ptrdiff_t>(p),
                      plain.begin() + static_cast<std::ptrdiff_t>(p + 188));
        stream.insert(stream.end(), 16, 0xB3);  // parity that would look like start codes' bytes
    }
    expect_exact_round_trip(stream, 3, 4);
}

// A recording that starts in mid-packet.
TEST_F(Transport, CutInMidPacket) {
    Bytes whole = read_bytes(sample_path("ts_sd_4x3.ts"));
    expect_exact_round_trip(Bytes(whole.begin() + 100, whole.end()), 3, 4);
}

Bytes packets_dropped(const Bytes& stream, std::vector<size_t> indices) {
    Bytes out;
    for (size_t p = 0; p * 188 < stream.size(); ++p) {
        if (std::find(indices.begin(), indices.end(), p) != indices.end()) continue;
        out.insert(out.end(), stream.begin() + p * 188, stream.begin() + std::min(stream.size(), p * 188 + 188));
    }
    return out;
}

// Packet indices of the video PID whose payload holds a sequence header's
// byte 7, found by the tests' own reading.
std::vector<size_t> header_packets(const Bytes& stream) {
    TransportInfo info;
    std::vector<size_t> packets;
    for (int64_t p : matching_headers(stream, transport_video_payload(stream, &info))) {
        packets.push_back(static_cast<size_t>(p) / 188);
    }
    return packets;
}

TEST_F(Transport, LostPacketsBreakThePayload) {
    Bytes whole = read_bytes(sample_path("ts_sd_4x3.ts"));
    std::vector<size_t> with_headers = header_packets(whole);
    // The packet before the second header's, and the third header's own.
    Bytes damaged = packets_dropped(whole, {with_headers[1] - 1, with_headers[2]});
    expect_exact_round_trip(damaged, 3, 3);
}

TEST_F(Transport, PacketsWithTheErrorIndicatorAreNotRead) {
    Bytes stream = read_bytes(sample_path("ts_sd_4x3.ts"));
    std::vector<size_t> with_headers = header_packets(stream);
    for (size_t packet : {with_headers[1], with_headers[2] + 1}) stream[packet * 188 + 1] |= 0x80;
    TransportInfo info;
    std::vector<int64_t> headers = matching_headers(stream, transport_video_payload(stream, &info));
    EXPECT_EQ(headers.size(), with_headers.size() - 1);
    expect_exact_round_trip(stream, 3, 3);
}

TEST_F(Transport, GarbageLosesSyncAndTheWalkFindsItAgain) {
    Bytes whole = read_bytes(sample_path("hdv_16x9.m2ts"));
    size_t at = 192 * 300;
    Bytes stream(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(at));
    stream = stream + Bytes(1000, 0x55) + Bytes(whole.begin() + static_cast<std::ptrdiff_t>(at), whole.end());
    TransportInfo info;
    transport_video_payload(stream, &info);
    EXPECT_EQ(info.sync_losses, 1u);
    EXPECT_EQ(info.bytes_skipped, 1000);
    expect_exact_round_trip(stream, 2, 2, "movie.m2ts");
}

// Hand-made packets: a header split over three packets with others between,
// a repeated packet, and a lost one inside a header.
const uint16_t video_pid = 0x1E1;

Bytes tables() {
    return ts_packet(0, true, 0, pat_section(1, 0x1000)) +
           ts_packet(0x1000, true, 0, pmt_section(1, video_pid, 0x02, video_pid));
}

Bytes nulls(size_t n) {
    Bytes out;
    for (size_t i = 0; i < n; ++i) out = out + ts_packet(0x1FFF, false, 0, filler(184));
    return out;
}

TEST_F(Transport, AHeaderOverThreePacketsWithOthersBetween) {
    Bytes first_pes = ts_video_pes(ntsc_4x3 + sequence_extension + filler(184 - 14 - 12 - 10 - 2));
    first_pes = first_pes + Bytes{0, 0};  // the next header's first two bytes end this packet
    Bytes stream = tables() + ts_packet(video_pid, true, 0, first_pes) + nulls(2) +
                   ts_packet(video_pid, false, 1, Bytes{1, 0xB3, 0x2D}) +
                   ts_packet(0x101, true, 0, filler(184)) +
                   ts_packet(video_pid, false, 2, Bytes{0x01, 0xE0, 0x24, 0x17, 0xED, 0x23} + filler(38)) + nulls(6);
    // The last video packet's 44 bytes end the packet: byte 7 is their third.
    std::vector<int64_t> byte7 = {188 * 2 + 4 + 14 + 7, 188 * 7 + (188 - 44) + 2};
    EngineOutcome o = [&] {
        write_bytes(dir_ / "split.ts", stream);
        return engine_outcome(dir_ / "split.ts", 3);
    }();
    EXPECT_EQ(o.result, ended_marker_created);
    EXPECT_EQ(o.marker, marker_lines(0x24, byte7));
    EXPECT_TRUE(o.video == rewritten(stream, byte7, 3));
}

TEST_F(Transport, ARepeatedPacketIsRewrittenInBothCopiesAndALostOneBreaksAHeader) {
    Bytes with_header = ts_packet(video_pid, false, 1, filler(100) + ntsc_4x3 + filler(72));
    Bytes cut_start = ts_packet(video_pid, false, 2, filler(178) + Bytes(ntsc_4x3.begin(), ntsc_4x3.begin() + 6));
    Bytes cut_end = ts_packet(video_pid, false, 4, Bytes(ntsc_4x3.begin() + 6, ntsc_4x3.end()) + filler(178));
    Bytes stream = tables() + ts_packet(video_pid, true, 0, ts_video_pes(ntsc_4x3 + filler(100))) +
                   with_header + with_header + cut_start + cut_end + nulls(4);
    int64_t first = 188 * 2 + (188 - 126) + 14 + 7;  // 126 bytes of PES at the packet's end
    int64_t second = 188 * 3 + 4 + 100 + 7;
    std::vector<int64_t> byte7 = {first, second, second + 188};  // not the one across the loss
    write_bytes(dir_ / "repeat.ts", stream);
    EngineOutcome o = engine_outcome(dir_ / "repeat.ts", 3);
    EXPECT_EQ(o.marker, marker_lines(0x24, byte7));
    EXPECT_TRUE(o.video == rewritten(stream, byte7, 3));
}

// A long stream whose video is mostly packets that hold no header, with
// headers and false ones among them every few dozen packets, so that they
// fall on every side of the walk's fetches and views: a header across two
// packets at every split, one whose start code ends a packet and whose
// 0xB3 opens the next with audio between, one in a packet sent twice, one
// broken by a lost packet, whole headers in audio and in null packets, a
// payload that opens with 0xB3 bytes, and garbage that loses sync.
TEST_F(Transport, HeadersAmongLongRunsOfPacketsWithoutThem) {
    const uint16_t audio_pid = 0x1E2;
    Bytes stream = tables() + ts_packet(video_pid, true, 0, ts_video_pes(ntsc_4x3 + sequence_extension + filler(148)));
    uint8_t cc = 1;
    uint8_t audio_cc = 0;
    auto add = [&](const Bytes& packet) { stream.insert(stream.end(), packet.begin(), packet.end()); };
    auto video = [&](const Bytes& payload) { add(ts_packet(video_pid, false, cc++, payload)); };
    auto audio = [&](const Bytes& payload) {
        bool first = audio_cc == 0;
        add(ts_packet(audio_pid, first, audio_cc++, payload));
    };
    auto part = [](size_t from, size_t to) { return Bytes(ntsc_4x3.begin() + from, ntsc_4x3.begin() + to); };
    size_t expected = 1;
    for (size_t e = 0; e < 240; ++e) {
        for (size_t k = 0, quiet = 10 + e * 37 % 100; k < quiet; ++k) {
            if (k % 9 == 8) audio(Bytes(184, 0x33));
            video(filler(184));
        }
        size_t split = 1 + e / 7 % 11;
        switch (e % 7) {
        case 0:
            video(filler(184 - split) + part(0, split));
            video(part(split, 12) + filler(172 + split));
            ++expected;
            break;
        case 1:
            audio(filler(60) + ntsc_4x3 + filler(112));
            add(ts_packet(0x1FFF, false, 0, filler(20) + ntsc_4x3 + filler(152)));
            break;
        case 2: {
            Bytes twice = ts_packet(video_pid, false, cc++, filler(50) + ntsc_4x3 + filler(122));
            add(twice);
            add(twice);
            expected += 2;
            break;
        }
        case 3:
            video(filler(178) + part(0, 6));
            ++cc;  // the packet between is lost
            video(part(6, 12) + filler(178));
            break;
        case 4:
            video(Bytes{0xB3, 0xB3, 0x01} + filler(181));
            video(ntsc_4x3 + filler(172));
            ++expected;
            break;
        case 5:
            video(filler(181) + part(0, 3));
            audio(Bytes(184, 0x33));
            video(part(3, 12) + filler(175));
            ++expected;
            break;
        default:
            if (e % 21 == 20) stream = stream + Bytes(333, 0x55);
            break;
        }
    }
    ASSERT_GT(stream.size(), size_t{5} << 19);  // past the first view of the file
    TransportInfo info;
    std::vector<int64_t> headers = matching_headers(stream, transport_video_payload(stream, &info));
    EXPECT_EQ(headers.size(), expected);
    EXPECT_GT(info.sync_losses, 10u);
    expect_exact_round_trip(stream, 3, expected);
}

#ifndef _WIN32
// ffprobe's frames carry the sample aspect ratio that the sequence header
// now gives: every frame of the video shows the new shape.
std::vector<std::string> frame_aspects(const fs::path& video) {
    std::string command = "ffprobe -v error -select_streams v:0 -show_entries frame=sample_aspect_ratio "
                          "-of default=nw=1:nk=1 '" + video.string() + "' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::vector<std::string> aspects;
    char line[64];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
        aspects.push_back(std::string(line).substr(0, std::string(line).find('\n')));
    }
    if (pipe != nullptr) pclose(pipe);
    return aspects;
}

TEST_F(Transport, FfprobeSeesTheNewShapeOnEveryFrame) {
    if (std::system("ffprobe -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
    // Display 16:9 over 720x480 is a sample aspect of (16 x 480) : (9 x 720)
    // = 32:27; 4:3 over 1440x1080 is 1:1; 16:9 over 352x288, 16:11.
    struct Case {
        const char* name;
        uint8_t target;
        const char* aspect;
    } cases[] = {{"ts_sd_4x3.ts", 3, "32:27"}, {"hdv_16x9.m2ts", 2, "1:1"}, {"ts_two_programs.ts", 3, "16:11"}};
    for (const auto& [name, target, aspect] : cases) {
        fs::path video = copy_sample(dir_, name);
        engine_outcome(video, target);
        std::vector<std::string> aspects = frame_aspects(video);
        EXPECT_GE(aspects.size(), 25u) << name;
        for (const std::string& a : aspects) EXPECT_EQ(a, aspect) << name;
    }
}
#endif

}  // namespace
