// The report for scripts (--json), read by Python's json module and held
// against the file's own facts: the bytes that changed, the list file of
// -l, what ffprobe reads; and the wait at the end of a run in a console of
// its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "cli/closing_wait.h"
#include "cli/json_names.h"
#include "cli/json_text.h"
#include "console/console.h"
#include "formats/format.h"
#include "notices/walk_notices.h"
#include "judges.h"
#include "support.h"

namespace {

class Json : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) {
        RunResult r = run_tool(args, dir_.path());
        EXPECT_EQ(r.err, "");
        return r;
    }
    ScratchDir dir_;
};

// Runs in every build: the report is UTF-8 lines, whatever the console's
// code page, with nothing of the console's text around it.
TEST_F(Json, TheReportIsUtf8LinesAndNothingElse) {
    write_bytes(utf8_path(path_utf8(dir_.path()) + "/動画.m2v"), read_bytes(sample_path("es_mpeg2_16x9.m2v")));
    RunResult r = run({"--json", "動画.m2v", "無い.mpg"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.out.find("\"name\":\"動画.m2v\",\"done\":\"converted\",\"exit_code\":0"), std::string::npos);
    EXPECT_NE(r.out.find("\"key\":\"file_missing\",\"text\":\"ファイルが見つかりません\""), std::string::npos);
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
    EXPECT_EQ(r.out.find("{\"version\":1,\"type\":\"batch\""), r.out.rfind('\n', r.out.size() - 2) + 1);
}

// Well-formed UTF-8 passes; every byte of anything else (overlong forms,
// encoded surrogates, code points past U+10FFFF, a cut character) becomes
// its own escape, so that no two names give one string.
TEST(JsonText, NamesSurviveWhateverTheirBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\"b\\c\n\x01", "\"a\\\"b\\\\c\\n\\u0001\""},
        {"\xC3\xA9\xF0\x9F\x98\x80", "\"\xC3\xA9\xF0\x9F\x98\x80\""},
        {"\xC0\xAF", "\"\\udcc0\\udcaf\""},
        {"\xED\xA0\x80", "\"\\udced\\udca0\\udc80\""},
        {"\xF4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},
        {"x\xE3\x81", "\"x\\udce3\\udc81\""},
    };
    for (const auto& [bytes, json] : cases) EXPECT_EQ(json_quoted(bytes), json);
}

// The README's lists of values: each row of its report's table, by its
// key, with the words the row sets in backquotes.
std::map<std::string, std::set<std::string>> readme_values() {
    std::ifstream readme(fs::path(SAMPLE_DIR).parent_path().parent_path() / "README.md");
    std::map<std::string, std::set<std::string>> rows;
    bool section = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("## ", 0) == 0) section = line.find("Reports for scripts") != std::string::npos;
        if (!section || line.rfind("| `", 0) != 0) continue;
        std::set<std::string>& words = rows[line.substr(3, line.find('`', 3) - 3)];
        for (size_t open = line.find('`'); open != std::string::npos; open = line.find('`', open + 1)) {
            size_t close = line.find('`', open + 1);
            if (close == std::string::npos) break;
            words.insert(line.substr(open + 1, close - open - 1));
            open = close;
        }
    }
    return rows;
}

// Every name the report's tables can give is in the README's row of its
// key: the kinds of file and the containers, the codecs' names, the kinds
// of place, their holders and why one is left, and every message's key.
TEST(JsonNames, EveryValueTheReportGivesIsListedInTheReadme) {
    std::map<std::string, std::set<std::string>> rows = readme_values();
    auto listed = [&](const std::string& key, const char* value) {
        if (value != nullptr) {
            EXPECT_EQ(rows[key].count(value), 1u) << key << ": " << value;
        }
    };
    for (int s = stream_elementary; s <= stream_dvd_image; ++s) {
        VideoFactsNotice facts = {};
        facts.stream = static_cast<StreamKind>(s);
        listed("container", container_name(&facts));
    }
    for (int c = container_mp4; c <= container_ogg; ++c) listed("container", container_name_text(ContainerName(c)));
    for (int c = codec_mpeg; c <= codec_vc1; ++c) {
        for (int version : {1, 2}) listed("codec", codec_row(VideoCodec(c), version)->name);
    }
    for (int f = foreign_vp8; f < foreign_other; ++f) listed("codec", foreign_video_name({ForeignCodec(f), {}}));
    for (int k = site_sequence_header; k <= site_vc1_sequence; ++k) listed("places", site_kind_name(SiteKind(k)));
    for (int h = holder_stream; h <= holder_asf_stream; ++h) listed("places", site_holder_name(SiteHolder(h)));
    for (int l = left_none; l <= left_container_only; ++l) listed("places", left_name(PlaceLeft(l)));
    for (int r = result_least; r < result_ok; ++r) listed("message", result_key(r));
    for (int s = stop_empty_file; s <= stop_frames_unwalked; ++s) listed("message", stop_key(StopReason(s)));
    const NoticeKind recorded[] = {notice_stop, notice_error, notice_outcome, notice_open_failed,
                                   notice_restore_misses};
    for (int k = 0; k <= notice_dv_frames; ++k) {
        if (std::count(std::begin(recorded), std::end(recorded), k) > 0) continue;
        Notice bare = {NoticeKind(k), nullptr};
        listed("message", notice_key(&bare));
    }
    for (bool either : {false, true}) {
        OpenFailedNotice open = {either, 1};
        RestoreMissesNotice misses = {either, {}};
        Notice notices[] = {notice_of(open), notice_of(misses)};
        for (const Notice& n : notices) listed("message", notice_key(&n));
    }
}

// The wait for a key comes only in a console of the tool's own, with the
// output on it, and never with the report for scripts.
struct FakeConsole {
    static bool own;
    static bool shown;
    static int waits;
    static bool is_own() { return own; }
    static bool output_shown() { return shown; }
    static void wait() { ++waits; }
};
bool FakeConsole::own = false;
bool FakeConsole::shown = false;
int FakeConsole::waits = 0;

TEST(ClosingWait, OnlyInAConsoleOfItsOwnWithItsOutputThere) {
    const ClosingOps ops = {FakeConsole::is_own, FakeConsole::output_shown, FakeConsole::wait};
    struct Case {
        bool own, shown, json, waits;
    };
    const Case cases[] = {{true, true, false, true},
                          {false, true, false, false},  // a prompt or a batch file
                          {true, false, false, false},  // output redirected
                          {true, true, true, false}};
    for (const Case& c : cases) {
        FakeConsole::own = c.own;
        FakeConsole::shown = c.shown;
        FakeConsole::waits = 0;
        std::string said;
        console_capture(&said);
        EXPECT_EQ(closing_wait(&ops, c.json), c.waits);
        console_capture(nullptr);
        EXPECT_EQ(FakeConsole::waits, c.waits ? 1 : 0);
        EXPECT_EQ(said, c.waits ? console_bytes("\n何かキーを押すと終了します") : "");
    }
}

// A run whose output goes to a file never asks for a key, whoever owns
// the console (under wine this is the Windows program's own check).
TEST_F(Json, ARunWithItsOutputRedirectedNeverWaits) {
    copy_sample(dir_, "es_mpeg2_16x9.m2v");
    RunResult r = run({"-l", "es_mpeg2_16x9.m2v"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.find(console_bytes("何かキーを押すと")), std::string::npos);
}

#ifndef _WIN32
// What Python's json module makes of the report, one line for each
// expression: every line of the report one object, the whole of it strict
// UTF-8, the last object the batch's. The expressions see `files`, the
// file objects, `batch`, the last, and `first`, the first file's.
std::vector<std::string> query(const std::string& report, const std::vector<std::string>& expressions) {
    ScratchDir dir;
    write_bytes(dir / "report.json", Bytes(report.begin(), report.end()));
    std::string script =
        "import json, os, sys\n"
        "lines = open(sys.argv[1], 'rb').read().decode('utf-8').split('\\n')\n"
        "assert lines[-1] == ''\n"
        "objects = [json.loads(line) for line in lines[:-1]]\n"
        "assert all(o['version'] == 1 for o in objects)\n"
        "files, batch = objects[:-1], objects[-1]\n"
        "assert batch['type'] == 'batch' and all(f['type'] == 'file' for f in files)\n"
        "first = files[0] if files else None\n";
    for (const std::string& expression : expressions) script += "print(" + expression + ")\n";
    write_bytes(dir / "query.py", Bytes(script.begin(), script.end()));
    std::istringstream out(output_of("python3 " + quoted(dir / "query.py") + " " + quoted(dir / "report.json")));
    std::vector<std::string> answers;
    for (std::string line; std::getline(out, line);) answers.push_back(line);
    answers.resize(expressions.size());
    return answers;
}

// "sample display" as ffprobe reads the first video stream's aspects.
std::string probed_aspect(const fs::path& video) {
    std::istringstream out(output_of("ffprobe -v error -select_streams v:0 -show_entries "
                                     "stream=sample_aspect_ratio,display_aspect_ratio -of default=nw=1:nk=1 " +
                                     quoted(video)));
    std::string sample;
    std::string shape;
    out >> sample >> shape;
    return sample + " " + shape;
}

std::string joined(const std::set<int64_t>& positions) {
    std::string text;
    for (int64_t p : positions) text += (text.empty() ? "" : " ") + std::to_string(p);
    return text;
}

// The positions a list file lists, each line's first number.
std::set<int64_t> listed_positions(const fs::path& list) {
    std::istringstream lines(read_text(list));
    std::set<int64_t> positions;
    std::string line;
    std::getline(lines, line);  // its header
    for (int64_t pos; lines >> pos && std::getline(lines, line);) positions.insert(pos);
    return positions;
}

const char* const places = "' '.join(str(p['position']) for p in first['places'])";
const char* const shown_after = "first['after']['sample'], first['after']['display']";

bool ffprobe_missing() {
    return std::system("ffprobe -version > /dev/null 2>&1") != 0;
}

TEST_F(Json, AConversionAListingAnAlreadyDoneFileAndAnUndoSayWhatTheFileHolds) {
    if (ffprobe_missing()) GTEST_SKIP() << "no ffprobe";
    fs::path video = copy_sample(dir_, "dvd_ntsc_4x3.mpg");
    Bytes original = read_bytes(video);
    RunResult r = run({"--json", "dvd_ntsc_4x3.mpg"});
    EXPECT_EQ(r.exit_code, 0);
    std::vector<std::string> q = query(
        r.out, {places, shown_after, "set((p['before']['code'], p['after']['code'], p['left']) for p in first['places'])",
                "first['name'], first['done'], first['exit_code'], first['container'], first['codec'], "
                "first['width'], first['height'], first['before']",
                "batch['files'], batch['changed'], batch['exit_code']"});
    EXPECT_EQ(q[0], joined(changed_positions(original, read_bytes(video))));
    EXPECT_EQ(q[1], probed_aspect(video));
    EXPECT_EQ(q[2], "{(2, 3, None)}");
    EXPECT_EQ(q[3], "dvd_ntsc_4x3.mpg converted 0 PS MPEG-2 720 480 {'display': '4:3', 'sample': '8:9', 'code': 2}");
    EXPECT_EQ(q[4], "1 1 0");

    r = run({"-l", "--json", "dvd_ntsc_4x3.mpg"});
    q = query(r.out, {places, "first['done'], all(p['before'] == p['after'] for p in first['places'])"});
    EXPECT_EQ(q[0], joined(listed_positions(dir_ / "dvd_ntsc_4x3.txt")));
    EXPECT_EQ(q[1], "listed True");

    r = run({"--json", "dvd_ntsc_4x3.mpg"});
    EXPECT_EQ(r.exit_code, 4);
    q = query(r.out, {"first['done'], first['exit_code'], first['message']['key'], first['places']",
                      "first['message']['text']"});
    EXPECT_EQ(q[0], "already 4 already_converted []");
    EXPECT_EQ(q[1], "4:3から16:9に変換してあります。元に戻すには-uを付けて実行してください");

    Bytes converted = read_bytes(video);
    r = run({"-u", "--json", "dvd_ntsc_4x3.mpg"});
    EXPECT_TRUE(read_bytes(video) == original);
    q = query(r.out, {places, "first['done']", shown_after});
    EXPECT_EQ(q[0], joined(changed_positions(converted, original)));
    EXPECT_EQ(q[1], "undone");
    EXPECT_EQ(q[2], probed_aspect(video));
}

// A refusal says why, as a key and as the console's text, and changes
// nothing; the places of an MP4 file all take the sample aspect that
// ffprobe then reads.
TEST_F(Json, ARefusalSaysWhyAndAContainersPlacesTakeTheTarget) {
    if (ffprobe_missing()) GTEST_SKIP() << "no ffprobe";
    fs::path video = copy_sample(dir_, "mp4_h264.mp4");
    std::string sample_before = probed_aspect(video);
    RunResult r = run({"--json", "-o9", "mp4_h264.mp4"});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_TRUE(read_bytes(video) == read_bytes(sample_path("mp4_h264.mp4")));
    std::vector<std::string> q = query(r.out, {"first['done'], first['exit_code'], first['message']['key'], "
                                               "first['container'], first['codec'], first['before']['sample']",
                                               "first['message']['text'].split('\\n')[1]"});
    EXPECT_EQ(q[0], "failed 3 code_refused MP4 H.264 " + sample_before.substr(0, sample_before.find(' ')));
    EXPECT_EQ(q[1], "9が指定されました");

    r = run({"--json", "-o3", "mp4_h264.mp4"});
    EXPECT_EQ(r.exit_code, 0);
    std::string sample_after = probed_aspect(video);
    q = query(r.out, {"first['after']['sample']", "sorted(set(p['kind'] + ' ' + p['after']['sample'] for p in "
                                                  "first['places'] if p['kind'] != 'display_size'))"});
    EXPECT_EQ(q[0], sample_after.substr(0, sample_after.find(' ')));
    EXPECT_EQ(q[1], "['parameter_set 16:11', 'pixel_aspect 16:11']");
}

TEST_F(Json, ABatchWithAFolderAndAFailureTellsEachFile) {
    fs::create_directory(dir_ / "folder");
    fs::path video = copy_sample(dir_, "es_mpeg2_16x9.m2v", "folder/a.m2v");
    copy_sample(dir_, "ts_sd_4x3.ts", "folder/b.ts");
    write_bytes(dir_ / "folder" / "notes.txt", {'h', 'i'});
    RunResult r = run({"--json", "folder", "missing.mpg"});
    EXPECT_EQ(r.exit_code, 2);
    std::vector<std::string> q =
        query(r.out, {"[(f['name'], f['done'], f['exit_code'], f['message'] and f['message']['key']) for f in files]",
                      "batch['files'], batch['changed'], batch['unchanged'], batch['failed'], batch['skipped'], "
                      "batch['exit_code']",
                      places});
    EXPECT_EQ(q[0], "[('folder/a.m2v', 'converted', 0, None), ('folder/b.ts', 'converted', 0, None), "
                    "('folder/notes.txt', 'skipped', 5, 'no_video'), ('missing.mpg', 'failed', 2, 'file_missing')]");
    EXPECT_EQ(q[1], "4 2 0 1 1 2");
    EXPECT_EQ(q[2], joined(changed_positions(read_bytes(sample_path("es_mpeg2_16x9.m2v")), read_bytes(video))));
}

// A folder's run takes the files it held before the run began, and passes
// over the tool's own files there: the markers an undo removes on its way
// (a.ini after a.avi, b.ini before b.m2v), the lists of -l and one left
// half written are no files of the batch; a user's notes are.
TEST_F(Json, AFolderUndoneCountsItsVideosAndNoFileOfTheTools) {
    fs::create_directory(dir_ / "folder");
    copy_sample(dir_, "avi_h264.avi", "folder/a.avi");
    copy_sample(dir_, "es_mpeg2_16x9.m2v", "folder/b.m2v");
    write_bytes(dir_ / "folder" / "notes.txt", {'h', 'i'});
    const std::string files = "[(f['name'], f['done'], f['exit_code']) for f in files]";
    const std::string undone = "[('folder/a.avi', 'undone', 0), ('folder/b.m2v', 'undone', 0), "
                               "('folder/notes.txt', 'skipped', 5)]";
    for (bool json : {false, true}) {
        ASSERT_EQ(run({"folder"}).exit_code, 0);
        ASSERT_EQ(run({"-l", "folder"}).exit_code, 0);
        fs::copy_file(dir_ / "folder" / "b.txt", dir_ / "folder" / "b.~00", fs::copy_options::overwrite_existing);
        RunResult r = json ? run({"-u", "--json", "folder"}) : run({"-u", "folder"});
        EXPECT_EQ(r.exit_code, 0);
        if (json) {
            EXPECT_EQ(query(r.out, {files})[0], undone);
        } else {
            EXPECT_NE(r.out.find(console_bytes("\n3個のファイル: 完了2、変換するものなし0、失敗0、対象外1\n")), std::string::npos)
                << r.out;
        }
        EXPECT_TRUE(read_bytes(dir_ / "folder" / "a.avi") == read_bytes(sample_path("avi_h264.avi")));
        EXPECT_TRUE(read_bytes(dir_ / "folder" / "b.m2v") == read_bytes(sample_path("es_mpeg2_16x9.m2v")));
    }
}

// A name that is no UTF-8 is escaped so that the bytes come back whole.
TEST_F(Json, ANameThatIsNoUtf8ComesBackWhole) {
    const std::string name = "\xff\xfe movie.m2v";
    copy_sample(dir_, "es_mpeg2_16x9.m2v", name);
    RunResult r = run({"-l", "--json", name});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("\"name\":\"\\udcff\\udcfe movie.m2v\""), std::string::npos);
    EXPECT_EQ(query(r.out, {"os.fsencode(first['name']) == b'\\xff\\xfe movie.m2v', first['done']"})[0],
              "True listed");
}
#endif

}  // namespace
