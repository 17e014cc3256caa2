#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "reference_demux.h"
#include "streams.h"
#include "support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const std::string banner = "\n-------------------------------------------------\nMorvalen CUI版 v0.51\n";

const std::string usage =
    "コマンドライン >morvalencmd [-o -l -r -u -c --json] ファイル名(xxx.mpg)\n"
    "オプション説明\n"
    "-l アスペクトを記録する場所(sequence header、SPS、VOLなど)のリストアップ\n"
    "-u iniファイルの記録どおりに元に戻す\n"
    "-c コンテナの場所だけを変え、コーデック自身の記録(SPSなど)はそのままにする\n"
    "--json 結果をファイルごとに1行のJSON(UTF-8)で出力する\n"
    "--version バージョンを表示する\n"
    "-h --help この説明を表示する\n"
    "-onn 出力アスペクト比の指定(nnはアスペクトの番号)\n"
    "MPEG-1の場合、VideoCD規格は12\n"
    "MPEG-2の場合、4:3が2,16:9が3\n"
    "H.264/HEVC/MPEG-4などの場合、1が正方形の画素、2が4:3、3が16:9、4が2.21:1\n"
    "DVとDVD-Videoの場合、4:3が2、16:9が3\n"
    "例) morvalencmd -o3 mpeg2file.mpg\n"
    "mpeg2file.mpgを16:9に変換します。\n"
    "-r ヘッダー範囲検索をする\n"
    "※壊れた所は、続きのパックヘッダーまで飛ばします\n\n"
    "オプションを指定しない場合\n"
    "MPEG1...VCD規格(4:3)へ変換\n"
    "MPEG2...4:3<-->16:9を相互変換\n"
    "ほかのビデオ...表示されるアスペクトの4:3<-->16:9を相互変換\n\n"
    "エラー:ファイル名が指定されていません\n\n";

class Cli : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) {
        RunResult r = run_tool(args, dir_.path());
        EXPECT_EQ(r.err, "") << "nothing may go to standard error";
        return r;
    }
    fs::path make(const std::string& name, const Bytes& bytes) {
        fs::path path = dir_ / name;
        write_bytes(path, bytes);
        return path;
    }
    ScratchDir dir_;
};

// Sets a last-write time far from now, so that a touch would show.
fs::file_time_type age(const fs::path& path) {
    fs::file_time_type old = fs::last_write_time(path) - std::chrono::hours(24 * 400);
    fs::last_write_time(path, old);
    return old;
}

TEST_F(Cli, NoArgumentsShowsBannerAndUsage) {
    RunResult r = run({});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, console_bytes(banner + usage));
}

TEST_F(Cli, NoExistingFileEchoesTheOptionsSeen) {
    RunResult r = run({"-l", "-o3", "-r", "missing.mpg"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, console_bytes(banner +
                                   "-l オプションセット\n-o オプションセット\n-r オプションセット\n"
                                   "ファイルが指定されていません\n"));
}

// A typo for an option is refused before anything is done, with the usage;
// asking for the usage gets it alone, and the version the version.
TEST_F(Cli, UnknownOptionsAreRefusedAndHelpIsTheUsage) {
    fs::path video = copy_sample(dir_, "es_mpeg2_16x9.m2v");
    std::string usage_only = usage.substr(0, usage.rfind("エラー:"));
    for (const char* typo : {"-O3", "-x", "-"}) {
        RunResult r = run({typo, "es_mpeg2_16x9.m2v"});
        EXPECT_EQ(r.exit_code, 3) << typo;
        EXPECT_EQ(r.out, console_bytes(banner + usage_only + "エラー:" + typo + "というオプションはありません\n"));
    }
    EXPECT_TRUE(read_bytes(video) == read_bytes(sample_path("es_mpeg2_16x9.m2v")));
    EXPECT_FALSE(fs::exists(dir_ / "es_mpeg2_16x9.ini"));
    for (const char* help : {"-h", "--help"}) {
        RunResult r = run({help});
        EXPECT_EQ(r.exit_code, 0) << help;
        EXPECT_EQ(r.out, console_bytes(banner + usage_only));
    }
    // The name and version alone, and nothing done.
    RunResult version = run({"--version", "es_mpeg2_16x9.m2v"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, console_bytes(std::string("morvalencmd ") + MORVALEN_VERSION + "\n"));
    EXPECT_FALSE(fs::exists(dir_ / "es_mpeg2_16x9.ini"));
}

TEST_F(Cli, DvdSampleIsRewrittenWithItsTimeKept) {
    fs::path video = copy_sample(dir_, "dvd_ntsc_4x3.mpg");
    fs::file_time_type old = age(video);
    RunResult r = run({"dvd_ntsc_4x3.mpg"});
    EXPECT_EQ(r.exit_code, 0);
    std::string expected_head = console_bytes(banner +
                                              "変換元アスペクト:4:3\n変換先アスペクト:16:9\n"
                                              "MPEG-2 720x480 29.97fps 9000.00kbps 0:00:02.480 342,016\n");
    EXPECT_EQ(r.out.substr(0, expected_head.size()), expected_head);
    std::string tail = console_bytes("\n変換済(iniファイル作成)\n");
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    EXPECT_EQ(r.out.find('\n', expected_head.size()), r.out.size() - tail.size() + 1)
        << "progress lines end in a lone CR";
    EXPECT_EQ(fs::last_write_time(video), old);
    EXPECT_EQ(fs::file_size(video), fs::file_size(sample_path("dvd_ntsc_4x3.mpg")));

    r = run({"-o2", "dvd_ntsc_4x3.mpg"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find(console_bytes("\n変換済\n")), std::string::npos);
    EXPECT_TRUE(read_bytes(video) == read_bytes(sample_path("dvd_ntsc_4x3.mpg")));
    EXPECT_EQ(fs::last_write_time(video), old);
}

TEST_F(Cli, ListModeReportsAndKeepsTheTime) {
    fs::path video = copy_sample(dir_, "es_mpeg1.m1v");
    fs::file_time_type old = age(video);
    RunResult r = run({"-l", "es_mpeg1.m1v"});
    EXPECT_EQ(r.exit_code, 0);
    std::string head = console_bytes(banner + "-l オプションセット\n変換元アスペクト:1:1\n"
                                              "変換先アスペクト:4:3(NTSC)\n");
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    EXPECT_NE(r.out.find(cp932("処理中(0%)  " "           7 00000007 16 00 f0 14 (-)\r")),
              std::string::npos);
    std::string done = console_bytes("\nリストアップ終了\n");
    EXPECT_EQ(r.out.substr(r.out.size() - done.size()), done);
    EXPECT_TRUE(read_bytes(video) == read_bytes(sample_path("es_mpeg1.m1v")));
    EXPECT_FALSE(fs::exists(dir_ / "es_mpeg1.ini"));
    EXPECT_TRUE(fs::exists(dir_ / "es_mpeg1.txt"));
    EXPECT_EQ(fs::last_write_time(video), old);
}

TEST_F(Cli, OOptionValuesOutsideTheRange) {
    copy_sample(dir_, "es_mpeg2_16x9.m2v");
    // A value is shown as a number; characters that are no digits as typed.
    const std::pair<std::string, std::string> bad[] = {
        {"-o16", "16"}, {"-o99", "99"}, {"-o1x", "-o1x"}, {"-o", "-o"}, {"-o1.", "-o1."}};
    for (const auto& [option, shown] : bad) {
        RunResult r = run({option, "es_mpeg2_16x9.m2v"});
        EXPECT_EQ(r.exit_code, 3) << option;
        std::string expected = console_bytes("エラー:アスペクト番号が、0～15内にありません\n" + shown +
                                             "が指定されました\n");
        EXPECT_EQ(r.out.substr(r.out.size() - expected.size()), expected) << option;
    }
    EXPECT_TRUE(read_bytes(dir_ / "es_mpeg2_16x9.m2v") == read_bytes(sample_path("es_mpeg2_16x9.m2v")));
}

TEST_F(Cli, OOptionLaterOneCountsAndOnlyTwoDigits) {
    copy_sample(dir_, "es_mpeg2_16x9.m2v");
    RunResult r = run({"-o16", "-o123", "-l", "es_mpeg2_16x9.m2v"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find(console_bytes("変換先アスペクト:1.1250\n")), std::string::npos);
    r = run({"-o05", "-l", "es_mpeg2_16x9.m2v"});
    EXPECT_NE(r.out.find(console_bytes("変換先アスペクト:0.8055\n")), std::string::npos);
}

TEST_F(Cli, TargetEqualToEveryHeaderStopsButListingGoesOn) {
    copy_sample(dir_, "es_mpeg2_16x9.m2v");
    RunResult r = run({"-o3", "es_mpeg2_16x9.m2v"});
    EXPECT_EQ(r.exit_code, 4);
    // -o named the target, and every header holds it already.
    std::string tail = console_bytes(
        "変換先アスペクト:16:9\nすべてのsequence headerがすでに16:9です。変換するものはありません\n");
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    EXPECT_FALSE(fs::exists(dir_ / "es_mpeg2_16x9.ini"));

    r = run({"-l", "-o3", "es_mpeg2_16x9.m2v"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(fs::exists(dir_ / "es_mpeg2_16x9.txt"));
}

TEST_F(Cli, DefaultTargetsByVersionAndCode) {
    struct Case {
        uint8_t byte7;
        bool mpeg2;
        int exit_code;
        const char* target_line;
    } cases[] = {
        {0x24, true, 0, "変換先アスペクト:16:9\n"},
        {0x34, true, 0, "変換先アスペクト:4:3\n"},
        {0x14, true, 4, "変換先アスペクト:1:1\n"},
        {0x44, true, 4, "変換先アスペクト:2.21:1\n"},
        {0xC4, false, 4, "変換先アスペクト:4:3(NTSC)\n"},
        {0x84, false, 0, "変換先アスペクト:4:3(NTSC)\n"},
    };
    for (const Case& c : cases) {
        // An extension start code makes the video MPEG-2.
        uint8_t extension = c.mpeg2 ? 0xB5 : 0xB2;
        Bytes stream = {0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, c.byte7, 0x17, 0xED, 0x23, 0x80,
                        0, 0, 1, extension, 0x14, 0x8A, 0, 1, 0, 0};
        make("v.m2v", stream);
        fs::remove(dir_ / "v.ini");
        RunResult r = run({"v.m2v"});
        EXPECT_EQ(r.exit_code, c.exit_code) << int(c.byte7);
        EXPECT_NE(r.out.find(console_bytes(c.target_line)), std::string::npos) << int(c.byte7);
    }
}

// Code 1 has no default target (several encoders write it); a listing
// needs none.
TEST_F(Cli, ListingNeedsNoTarget) {
    make("square.m2v", sequence_header(720, 480, 1, 4) + sequence_extension + filler(100));
    RunResult r = run({"-l", "square.m2v"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(read_text(dir_ / "square.txt").find(" 2d 01 e0 14 (-)\r\n"), std::string::npos);
}

TEST_F(Cli, UndoPutsBackWhatTheMarkerRecords) {
    fs::path video = copy_sample(dir_, "dvd_ntsc_4x3.mpg");
    fs::file_time_type old = age(video);
    EXPECT_EQ(run({"dvd_ntsc_4x3.mpg"}).exit_code, 0);
    RunResult r = run({"-u", "dvd_ntsc_4x3.mpg"});
    EXPECT_EQ(r.exit_code, 0);
    std::string head = console_bytes(banner + "-u オプションセット\n変換元アスペクト:16:9\n"
                                              "MPEG-2 720x480 29.97fps 9000.00kbps 0:00:02.480 342,016\n");
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    std::string tail = console_bytes("\n元に戻しました(iniファイル削除)\n");
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    EXPECT_TRUE(read_bytes(video) == read_bytes(sample_path("dvd_ntsc_4x3.mpg")));
    EXPECT_FALSE(fs::exists(dir_ / "dvd_ntsc_4x3.ini"));
    EXPECT_EQ(fs::last_write_time(video), old);

    r = run({"-u", "dvd_ntsc_4x3.mpg"});
    EXPECT_EQ(r.exit_code, 9);
    tail = console_bytes("\niniファイルがありません\nエラー終了(-15)\n");
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    write_bytes(dir_ / "dvd_ntsc_4x3.ini", {'3', '6', '\r', '\n', 'x'});
    EXPECT_EQ(run({"-u", "dvd_ntsc_4x3.mpg"}).exit_code, 9);

    for (const char* other : {"-l", "-o3"}) {
        r = run({"-u", other, "dvd_ntsc_4x3.mpg"});
        EXPECT_EQ(r.exit_code, 3) << other;
        tail = console_bytes("エラー:-uは-l、-oと一緒に指定できません\n");
        EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    }
}

TEST_F(Cli, UndoTellsWhichPositionsHeldNoHeader) {
    fs::path video = copy_sample(dir_, "es_mpeg2_16x9.m2v");
    EXPECT_EQ(run({"es_mpeg2_16x9.m2v"}).exit_code, 0);
    std::string marker = read_text(dir_ / "es_mpeg2_16x9.ini") + "3\r\n40\r\n";
    write_bytes(dir_ / "es_mpeg2_16x9.ini", Bytes(marker.begin(), marker.end()));
    RunResult r = run({"-u", "es_mpeg2_16x9.m2v"});
    EXPECT_EQ(r.exit_code, 8);
    std::string tail = console_bytes("\niniファイルに記録された位置のうち2か所にsequence headerがありません\n"
                                     "  位置3\n  位置40\n\n一部を元に戻せませんでした(iniファイルは残してあります)\n");
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
    EXPECT_TRUE(read_bytes(video) == read_bytes(sample_path("es_mpeg2_16x9.m2v")));
    EXPECT_EQ(read_text(dir_ / "es_mpeg2_16x9.ini"), marker);
}

TEST_F(Cli, TransportStreamWithoutVideoItRewritesIsRefusedUntouched) {
    fs::path video = dir_ / "avs.ts";
    write_bytes(video, ts_tables_and_video(ts_type_avs_video));
    RunResult r = run({"avs.ts"});
    EXPECT_EQ(r.exit_code, 5);
    EXPECT_EQ(r.out, console_bytes(banner + "MPEG-1/MPEG-2/MPEG-4/H.264/HEVC/DVのビデオがありません\n"));
    EXPECT_TRUE(read_bytes(video) == ts_tables_and_video(ts_type_avs_video));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
}

TEST_F(Cli, TransportStreamDamageIsReportedNotFatal) {
    Bytes whole = read_bytes(sample_path("ts_sd_4x3.ts"));
    Bytes stream = Bytes(whole.begin(), whole.begin() + 188 * 200) + Bytes(1000, 0x55) +
                   Bytes(whole.begin() + 188 * 200, whole.end());
    make("damaged.ts", stream);
    RunResult r = run({"-r", "damaged.ts"});
    EXPECT_EQ(r.exit_code, 0);
    std::string tail = console_bytes("\n同期を1回失い、1000バイトを飛ばしました\n\n変換済(iniファイル作成)\n");
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
    EXPECT_NE(r.out.find(cp932("MPEG-2 720x480 29.97fps")), std::string::npos);
}

// Side files follow the name's own characters: dots inside a name of
// several scripts, and names that code page 932 cannot hold.
TEST_F(Cli, NamesOfAnyScript) {
    Bytes sample = read_bytes(sample_path("es_mpeg2_16x9.m2v"));
    write_bytes(dir_ / "Vol.txt", {'m', 'i', 'n', 'e'});
    for (const char* name : {"Vol.1 テスト.m2v", "Vol.2 テスト.m2v", "Café 한국 드라마.m2v"}) {
        SCOPED_TRACE(name);
        std::string stem = std::string(name).substr(0, std::string(name).size() - 4);
        write_bytes(utf8_path(path_utf8(dir_.path()) + "/" + name), sample);
        EXPECT_EQ(run({name}).exit_code, 0);
        EXPECT_TRUE(fs::exists(utf8_path(path_utf8(dir_.path()) + "/" + stem + ".ini")));
        EXPECT_EQ(run({"-l", name}).exit_code, 0);
        std::string list = read_text(utf8_path(path_utf8(dir_.path()) + "/" + stem + ".txt"));
        std::string shown = std::string(name).find("Café") == 0 ? "Caf? ?? ???.m2v" : name;
        EXPECT_EQ(list.substr(0, list.find("\r\n")), cp932(shown + " sequence header list"));
        EXPECT_EQ(run({"-u", name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(utf8_path(path_utf8(dir_.path()) + "/" + name)) == sample);
    }
    EXPECT_EQ(read_text(dir_ / "Vol.txt"), "mine");
}

// A path of more than 600 bytes of UTF-8 and 260 characters: taken alone
// and in a folder, with its marker and list files.
TEST_F(Cli, LongJapanesePathsAloneAndInAFolder) {
    fs::path deep = dir_.path();
    for (int i = 0; i < 8; ++i) deep /= utf8_path("第" + std::to_string(i) + "巻録画番組表フォルダー長い名前の録画番組表フォルダー");
    fs::create_directories(deep);
    fs::path video = deep / utf8_path("第1話 録画.m2v");
    std::string relative = path_utf8(fs::relative(deep, dir_.path()));
    ASSERT_GT(path_utf8(video).size(), 600u);
#ifdef _WIN32
    ASSERT_GT(video.wstring().size(), 260u);
#endif
    Bytes sample = read_bytes(sample_path("es_mpeg2_16x9.m2v"));
    write_bytes(video, sample);
    EXPECT_EQ(run({path_utf8(video)}).exit_code, 0);
    EXPECT_TRUE(fs::exists(deep / utf8_path("第1話 録画.ini")));
    RunResult listed = run({"-l", relative});
    EXPECT_EQ(listed.exit_code, 0);
    EXPECT_NE(listed.out.find(console_bytes("第1話 録画.m2v\n")), std::string::npos);
    EXPECT_TRUE(fs::exists(deep / utf8_path("第1話 録画.txt")));
    EXPECT_EQ(run({"-u", relative}).exit_code, 0);
    EXPECT_FALSE(fs::exists(deep / utf8_path("第1話 録画.ini")));
    EXPECT_TRUE(read_bytes(video) == sample);
}

TEST_F(Cli, NotMpegWinsOverABadOOption) {
    fs::path video = make("x.mpg", {0, 0, 2, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8});
    fs::file_time_type old = age(video);
    RunResult r = run({"-o99", "x.mpg"});
    EXPECT_EQ(r.exit_code, 5);
    EXPECT_EQ(r.out, console_bytes(banner + "-o オプションセット\nMPEGではありません\n"));
    EXPECT_EQ(fs::last_write_time(video), old);

    Bytes random(70000);
    uint32_t seed = 12345;
    for (uint8_t& b : random) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    random[0] = 0x47;
    make("r.mpg", random);
    EXPECT_EQ(run({"r.mpg"}).exit_code, 5);
}

TEST_F(Cli, UnreadableWindowsStopWithExitCodeOne) {
    make("empty.mpg", {});
    RunResult r = run({"empty.mpg"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, console_bytes(banner + "ファイルが空です(0バイト)\n"));

    for (size_t size : {size_t{1000}, size_t{3} << 20}) {
        make("zeros.mpg", Bytes(size, 0));
        r = run({"zeros.mpg"});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, console_bytes(banner + "ファイルの中身がすべて0です\n")) << size;
    }
}

TEST_F(Cli, ShortFileEndingInZerosIsAnalysed) {
    Bytes stream = {0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x24, 0x17, 0xED, 0x23, 0x80,
                    0, 0, 1, 0xB5, 0x14, 0x8A};
    stream.resize(4000, 0);
    fs::path video = make("short.m2v", stream);
    RunResult r = run({"short.m2v"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_bytes(video)[7], 0x34);

    Bytes big(3 * 1048576, 0);
    std::copy(stream.begin(), stream.begin() + 18, big.begin());
    big[1572863] = 0x55;
    make("big.m2v", big);
    r = run({"-l", "big.m2v"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find(cp932("MPEG-2 720x480 29.97fps")), std::string::npos);
}

TEST_F(Cli, EngineErrorsEndWithExitCodeSix) {
    // A start code of no system layer, right after the first video packet.
    Bytes stream = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8,
                    0, 0, 1, 0xE0, 0, 15, 0x81, 0x80, 0, 0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x24, 0x17, 0xED, 0x23, 0x80,
                    0, 0, 1, 0xB5, 0x14, 0x8A, 0x12, 0x34, 0x56};
    fs::path video = make("bad.mpg", stream);
    fs::file_time_type old = age(video);
    RunResult r = run({"bad.mpg"});
    EXPECT_EQ(r.exit_code, 6);
    std::string tail = console_bytes("\nストリームIDが見つかりません(0x0 0x0 0x1)\n"
                                     "位置35からストリームが壊れています(-rを付けると、その先を探して続けます)\n\n"
                                     "ストリームIDが見つかりません\nエラー終了(-4)\n");
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    EXPECT_EQ(fs::last_write_time(video), old);
    EXPECT_EQ(marker_positions(read_text(dir_ / "bad.ini")), "36\r\n30\r\n");
}

TEST_F(Cli, RangeSearchSaysWhatItSkipped) {
    Bytes stream = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8,
                    0, 0, 1, 0xE0, 0, 15, 0x81, 0x80, 0, 0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x24, 0x17, 0xED, 0x23, 0x80};
    stream.resize(stream.size() + 300, 0x55);
    make("gap.mpg", stream);
    RunResult r = run({"-r", "gap.mpg"});
    EXPECT_EQ(r.exit_code, 0);
    std::string tail = console_bytes("\n同期を1回失い、300バイトを飛ばしました\n\n変換済(iniファイル作成)\n");
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

}  // namespace

#ifndef _WIN32
namespace {

// Asks ffprobe what display aspect the video has.
std::string probed_display_aspect(const fs::path& video) {
    std::string command = "ffprobe -v error -select_streams v:0 -show_entries "
                          "stream=display_aspect_ratio -of csv=p=0 '" + video.string() + "' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    char text[64] = {};
    size_t n = std::fread(text, 1, sizeof text - 1, pipe);
    pclose(pipe);
    std::string aspect(text, n);
    return aspect.substr(0, aspect.find_first_of(",\n"));
}

TEST_F(Cli, FfprobeSeesTheNewDisplayAspect) {
    if (std::system("ffprobe -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
    const std::pair<const char*, const char*> cases[] = {
        {"dvd_ntsc_4x3.mpg", "16:9"}, {"es_mpeg2_16x9.m2v", "4:3"},
        {"svcd_pal.mpg", "16:9"}, {"mpeg1sys_mpeg2video.mpg", "16:9"}};
    for (const auto& [name, aspect] : cases) {
        fs::path video = copy_sample(dir_, name);
        EXPECT_EQ(run({name}).exit_code, 0);
        EXPECT_EQ(probed_display_aspect(video), aspect) << name;
    }
}

}  // namespace
#endif

#ifndef _WIN32
namespace {

std::string utf8_of_cp932(const std::string& text) {
    std::FILE* pipe = popen(("printf '%s' '" + text + "' | iconv -f CP932 -t UTF-8").c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// A UTF-8 terminal reads the messages as Japanese; the C locale keeps the
// code page 932 bytes as stored (the lines already checked above).
TEST_F(Cli, MessagesFollowTheLocalesCharacterSet) {
    copy_sample(dir_, "es_mpeg1.m1v");
    for (const char* locale : {"LC_ALL=C.UTF-8", "LANG=C.UTF-8", "LC_ALL=C"}) {
        fs::remove(dir_ / "es_mpeg1.txt");
        RunResult local = run_tool({"-l", "es_mpeg1.m1v"}, dir_.path(), locale);
        RunResult stored = run_tool({"-l", "es_mpeg1.m1v"}, dir_.path(), "LC_ALL=C");
        EXPECT_EQ(local.exit_code, 0);
        std::string expected = std::string(locale) == "LC_ALL=C" ? stored.out : utf8_of_cp932(stored.out);
        EXPECT_EQ(local.out, expected) << locale;
        EXPECT_NE(local.out.find(std::string(locale) == "LC_ALL=C" ? cp932("リストアップ終了") : "リストアップ終了"),
                  std::string::npos);
        // The list file does not change with the locale.
        EXPECT_EQ(read_text(dir_ / "es_mpeg1.txt").substr(0, 16), "es_mpeg1.m1v seq");
    }
}

// Program streams that an encoder makes at test time (they are too large
// to keep): a second video stream first, video that starts 12 s late
// behind LPCM audio (past the 2 MiB head window), and packets of the
// longest length. -copyts keeps the muxer from moving the later stream's
// packets to the front.
TEST_F(Cli, EncoderMadeProgramStreamsOfTheHardKinds) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    struct Case {
        const char* name;
        const char* inputs;
        const char* summary;
    } cases[] = {
        {"e1_first.mpg",
         "-itsoffset 0.5 -f lavfi -i testsrc=duration=2:size=720x480:rate=30000/1001 "
         "-f lavfi -i testsrc2=duration=2:size=352x240:rate=30000/1001 -map 0:v -map 1:v "
         "-c:v mpeg2video -aspect 4:3 -b:v 800k -g 15 -copyts -f vob",
         "MPEG-2 720x480 29.97fps"},
        {"late.mpg",
         "-f lavfi -i sine=frequency=440:duration=14:sample_rate=48000 -itsoffset 12 "
         "-f lavfi -i testsrc=duration=1:size=720x480:rate=30000/1001 -map 1:v -map 0:a "
         "-c:v mpeg2video -aspect 4:3 -b:v 800k -g 15 -c:a pcm_s16be -ac 2 -copyts -f dvd",
         "MPEG-2 720x480 29.97fps"},
        {"long_packets.mpg",
         "-f lavfi -i testsrc=duration=4:size=352x240:rate=30000/1001 -c:v mpeg2video "
         "-aspect 4:3 -b:v 3000k -g 1 -f vob -packetsize 65555",
         "MPEG-2 352x240 29.97fps"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string command = "cd '" + dir_.path().string() + "' && ffmpeg -loglevel quiet -y " + c.inputs +
                              " " + c.name;
        ASSERT_EQ(std::system(command.c_str()), 0);
        Bytes original = read_bytes(dir_ / c.name);
        std::vector<int64_t> headers = matching_headers(original, program_video_payload(original));
        ASSERT_GE(headers.size(), 2u);
        if (std::string(c.name) == "late.mpg") {
            ASSERT_GT(headers[0], 2097152);
        }
        if (std::string(c.name) == "e1_first.mpg") {
            ASSERT_GT(static_cast<size_t>(headers[0]), sequence_header_positions(original)[0]);
        }
        RunResult r = run({c.name});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_NE(r.out.find(c.summary), std::string::npos) << r.out;
        EXPECT_TRUE(read_bytes(dir_ / c.name) == rewritten(original, headers, 3));
    }
}

TEST_F(Cli, AReaderThatGoesAwayDoesNotCutTheRunShort) {
    // Enough headers that the progress lines overflow the pipe long after
    // its reader has gone.
    const Bytes header = {0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x24, 0x17, 0xED, 0x23, 0x80,
                          0, 0, 1, 0xB5, 0x14, 0x8A};
    Bytes stream;
    for (int i = 0; i < 5000; ++i) {
        stream.insert(stream.end(), header.begin(), header.end());
        stream.resize(stream.size() + 100, 0x55);
    }
    fs::path video = make("many.m2v", stream);
    fs::file_time_type old = age(video);
    std::string command = "cd '" + dir_.path().string() + "' && '" MORVALENCMD_PATH
                          "' many.m2v | head -c 1 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Bytes rewritten = read_bytes(video);
    for (size_t h : sequence_header_positions(rewritten)) EXPECT_EQ(rewritten[h + 7], 0x34) << h;
    EXPECT_EQ(fs::last_write_time(video), old);
}

}  // namespace
#endif

#ifdef _WIN32
namespace {

// "*.mpg" is a pattern, not a name: it never names the video, however many
// files it matches.
TEST_F(Cli, WildcardsNameNoFile) {
    copy_sample(dir_, "es_mpeg2_16x9.m2v");
    RunResult r = run({"*.m2v"});
    EXPECT_EQ(r.exit_code, 2);
    r = run({"es_mpeg2_16x9.m2?"});
    EXPECT_EQ(r.exit_code, 2);
}

bool under_wine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// A file the user may not write: no waiting for it.
TEST_F(Cli, AReadOnlyFileIsRefusedAtOnceAndListedAllTheSame) {
    // Wine keeps the attribute as file permissions, which root writes through.
    if (under_wine()) GTEST_SKIP() << "the read-only attribute holds only on Windows itself";
    fs::path video = copy_sample(dir_, "dvd_ntsc_4x3.mpg");
    SetFileAttributesW(video.wstring().c_str(), FILE_ATTRIBUTE_READONLY);
    RunResult r = run({"dvd_ntsc_4x3.mpg"});
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_NE(r.out.find(cp932("ファイルに書き込めません")), std::string::npos);
    EXPECT_EQ(run({"-l", "dvd_ntsc_4x3.mpg"}).exit_code, 0);
    SetFileAttributesW(video.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Another program holding the video without sharing it: the tool waits,
// retries, and says that it waited.
TEST_F(Cli, WaitsWhileAnotherProgramHoldsTheFile) {
    fs::path video = copy_sample(dir_, "es_mpeg2_16x9.m2v");
    HANDLE held = CreateFileW(video.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RunResult result;
    std::thread tool([&] { result = run({"-l", "es_mpeg2_16x9.m2v"}); });
    Sleep(1000);
    CloseHandle(held);
    tool.join();
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.out.find(cp932("空くのを待ってから始めました")), std::string::npos);
}

}  // namespace
#endif
