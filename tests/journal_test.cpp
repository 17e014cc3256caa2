#include <gtest/gtest.h>

#include <string>

#include "edit/journal.h"
#include "support.h"

namespace {

constexpr uint8_t first_byte = 0x24;  // code 2, frame rate 4

// Changes at the positions, each recorded with the byte it held: 0x24,
// which 0x34 replaces (code 3), or 0x34 where it says so, which 0x24
// replaces.
int32_t journal_run(const fs::path& video, bool threaded, const std::vector<int64_t>& positions,
                    int64_t held_34 = -1) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    if (file_open(&file, path_utf8(video).c_str(), generic_read | generic_write) != file_opened) return -100;
    std::string marker_name = path_utf8(fs::path(video).replace_extension(".ini"));
    MarkerRec marker;
    marker_init(&marker);
    int32_t result = fs::exists(marker_name) ? marker_load(&marker, marker_name.c_str(), &file)
                                             : marker_create(&marker, marker_name.c_str(), first_byte, {0, 0}, &file,
                                                             path_utf8(video).c_str());
    OsWorker* committer = threaded ? os_worker_start() : nullptr;
    ChangeBatches* batches = new ChangeBatches;
    PlaceEdit* place = new PlaceEdit;
    change_batches_init(batches, &marker, &file, committer);
    for (size_t i = 0; i < positions.size() && result == 0; ++i) {
        uint8_t found = positions[i] == held_34 ? 0x34 : first_byte;
        uint8_t value = found == first_byte ? 0x34 : first_byte;
        place_fill(place, &positions[i], &found, &value, 1);
        uint8_t original = 0;
        place->listed[0] = marker_listed(&marker, positions[i], &original);
        result = place_add(batches, place, nullptr);
    }
    if (result == 0) result = changes_flush(batches);
    if (committer != nullptr) os_worker_stop(committer);
    delete place;
    delete batches;
    marker_release(&marker);
    file_close(&file);
    return result;
}

// Every change of a rewrite reaches the video and is recorded once, with
// the byte it held before its first change, whether batches go to the
// committer thread or not, however many batches the changes fill and
// however far apart they lie; a later run records only what is new.
TEST(Journal, EveryChangeIsMadeAndRecordedOnceInEveryBatch) {
    for (bool threaded : {false, true}) {
        SCOPED_TRACE(threaded ? "committer thread" : "the walk's thread");
        ScratchDir dir;
        fs::path video = dir / "movie.m2v";
        write_bytes(video, Bytes(64 << 10, first_byte));
        fs::resize_file(video, 24 << 20);
        std::vector<int64_t> first_run;
        for (int64_t p = 0; p < (64 << 10); p += 7) first_run.push_back(p);  // over two full batches
        for (int64_t p = 8 << 20; p < (24 << 20); p += 5 << 20) first_run.push_back(p);  // spread out
        ASSERT_EQ(journal_run(video, threaded, first_run, 7), 0);
        ASSERT_EQ(journal_run(video, threaded, {14, 21, (24 << 20) - 1}), 0);

        Bytes after = read_bytes(video);
        std::string expected = "36\r\n";
        for (int64_t p : first_run) {
            expected += std::to_string(p) + (p == 7 ? " 52\r\n" : "\r\n");
            EXPECT_EQ(after[p], p == 7 ? first_byte : 0x34) << p;
        }
        expected += std::to_string((24 << 20) - 1) + "\r\n";
        EXPECT_EQ(after[(24 << 20) - 1], 0x34);
        EXPECT_EQ(after[1], first_byte);
        EXPECT_EQ(marker_positions(read_text(dir / "movie.ini")), expected);
    }
}

}  // namespace
