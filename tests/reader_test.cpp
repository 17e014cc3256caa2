// The walks' reader seeing the file through views, on a real file that
// another handle cuts shorter under it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "fileio/result.h"
#include "formats/walk.h"
#include "streams.h"
#include "support.h"

namespace {

// Where the test makes its file, and how it is cut: by a second handle,
// or under wine by a Linux process that windows-tests.sh started (wine,
// as Windows, refuses to cut a file that is mapped; a program outside it
// can). The folder it watches is MORVALEN_CUT_FOLDER; the request is a
// file "cut" there holding the length, which it removes once it is done.
struct Cutter {
    fs::path folder;
    FileHandleRec file;
};

bool cut_requested(const Cutter& cutter, int64_t length) {
    std::string text = std::to_string(length);
    write_bytes(cutter.folder / "cut.new", Bytes(text.begin(), text.end()));
    fs::rename(cutter.folder / "cut.new", cutter.folder / "cut");
    for (int waited = 0; waited < 1000 && fs::exists(cutter.folder / "cut"); ++waited) os_sleep_ms(10);
    return !fs::exists(cutter.folder / "cut");
}

bool file_cut(Cutter* cutter, int64_t length) {
    if (std::getenv("MORVALEN_CUT_FOLDER") != nullptr) return cut_requested(*cutter, length);
    return file_truncate(&cutter->file, length) == 0;
}

struct Cut {
    Walk* walk;
    Cutter* cutter;
    int64_t at;
    bool done;
    bool under_view;  // a view over the cut was being scanned when it came
    int64_t seen_past_cut;  // bytes of the file's past the cut that the scan was given
};

// Scans what it is given, and cuts the file once the walk is a megabyte
// short of the cut.
int32_t cut_feed(void* context, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                 uint32_t count) {
    Cut* cut = static_cast<Cut*>(context);
    for (uint32_t k = 0; k < count; ++k) {
        for (uint32_t i = ranges[k].first; i < ranges[k].end; ++i) {
            if (buffer_pos + i >= cut->at && buffer[i] != 0) ++cut->seen_past_cut;
        }
    }
    if (cut->done || buffer_pos + ranges[count - 1].end < cut->at - (1 << 20)) return 0;
    const FileView& view = cut->walk->reader.view;
    cut->under_view = view.bytes != nullptr && view.offset <= cut->at && cut->at < view.offset + view.length;
    cut->done = file_cut(cut->cutter, cut->at);
    return 0;
}

// Bytes the file no longer holds read as zeros through a view, and past
// the page of the cut they fault: either way the walk ends as at a read
// that came up short exactly where the file now ends, never with zeros
// taken for the file's bytes.
TEST(ReaderViews, AFileCutShorterUnderTheScanIsAShortRead) {
    ScratchDir dir;
    const char* folder = std::getenv("MORVALEN_CUT_FOLDER");
    Cutter cutter = {folder != nullptr ? fs::path(folder) : dir.path(), {}};
    Bytes one = ntsc_4x3 + sequence_extension + filler(100000);
    Bytes stream;
    while (stream.size() < (8u << 20)) stream.insert(stream.end(), one.begin(), one.end());
    std::string name = (cutter.folder / "v.m2v").string();
    write_bytes(name, stream);
    FileHandleRec file = {};
    ASSERT_EQ(file_open(&file, name.c_str(), generic_read), file_opened);
    FileView probe = {};
    if (!file_view_open(&file, 0, file_view_alignment(), &probe)) {
        file_close(&file);
        GTEST_SKIP() << "this build reads, and maps no views";
    }
    file_view_close(&probe);
    ASSERT_EQ(file_open(&cutter.file, name.c_str(), generic_read | generic_write), file_opened);
    FileBuffer block;
    ASSERT_TRUE(file_buffer_make(&block, reader_buffer_size));
    std::unique_ptr<Walk> walk(new Walk);
    Cut cut = {walk.get(), &cutter, (3 << 20) + 1000, false, false, 0};
    walk_init(walk.get(), &file, block.bytes, StreamLayout{stream_elementary, {}, codec_mpeg}, 0, false,
              WalkSink{cut_feed, &cut, nullptr, nullptr});
    EXPECT_EQ(walk_run(walk.get()), result_read_error);
    EXPECT_TRUE(cut.under_view);
    EXPECT_TRUE(cut.done);
    EXPECT_EQ(walk->reader.failed_at, cut.at);
    EXPECT_EQ(cut.seen_past_cut, 0);
    file_close(&cutter.file);
    file_close(&file);
}

}  // namespace
