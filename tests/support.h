// Shared test helpers: scratch folders on the real file system, the sample
// streams, running the built executable, and code page 932 conversion.
#pragma once
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "edit/request.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A fresh folder under the system's temporary directory, removed at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

#ifndef _WIN32
// A tmpfs of a given size mounted on a fresh folder, for the tests that
// need a disk that fills up or, remounted read-only, a disc. Only root may
// mount: mounted() tells whether it worked.
class TmpfsMount {
public:
    TmpfsMount(const fs::path& at, const std::string& size);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool mounted() const { return mounted_; }
    bool read_only();
    uint64_t free_bytes() const;
    // Fills the disk with a file until `left` bytes stay free.
    void fill(uint64_t left) const;

private:
    fs::path at_;
    bool mounted_;
};
#endif

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes read_bytes(const fs::path& file);
std::string read_text(const fs::path& file);
void write_bytes(const fs::path& file, const Bytes& bytes);
fs::path sample_path(const std::string& name);
// Paths to and from the UTF-8 names the tool takes on every platform.
fs::path utf8_path(const std::string& name);
std::string path_utf8(const fs::path& path);
// Copies a bundled sample into the folder and returns the copy's path.
fs::path copy_sample(const ScratchDir& dir, const std::string& name, const std::string& as = "");

struct RunResult {
    int exit_code;
    std::string out;
    std::string err;
};
// Runs morvalencmd with the (UTF-8) arguments in the given working folder;
// on POSIX systems with the environment's assignments ("A=1 B=2"), by
// default the C locale, whose output is the code page 932 bytes as stored.
RunResult run_tool(const std::vector<std::string>& args, const fs::path& cwd,
                   const std::string& environment = "LC_ALL=C");

// Runs morvalencmd with standard streams closed: on POSIX systems with the
// shell's redirections ("1>&-"), on Windows with no standard handles at all.
// Returns the exit code.
int run_tool_closed(const std::vector<std::string>& args, const fs::path& cwd,
                    const std::string& closing);

#ifndef _WIN32
// The environment of a run with the fault shim preloaded and set as the
// assignments say ("MORVALEN_KILL_AT_WRITE=3", no spaces), for run_tool.
std::string shim_environment(const std::vector<std::string>& settings);
// Starts the tool once on the video, with the option (none when empty),
// and the shim set as the assignments say ("MORVALEN_KILL_AT_WRITE=3");
// returns the wait status. Unlike run_tool it never
// starts a run again: one that the shim kills prints nothing.
int run_with_shim(const fs::path& video, const std::string& option, const std::vector<std::string>& settings);
// The files of the positioned writes the shim's journal logged, in order:
// the Nth is the write MORVALEN_KILL_AT_WRITE=N kills the run at.
std::vector<std::string> journal_positioned_writes(const fs::path& log);
#endif

// Starts two runs of morvalencmd with the same arguments at once, their
// output thrown away, and waits for both; returns their exit codes.
std::vector<int> run_tool_together(const std::vector<std::string>& args, const fs::path& cwd);

// The UTF-8 text in code page 932, converted by the C library's iconv.
std::string cp932(const std::string& utf8);
// What the console shows for a UTF-8 text: CP932 bytes, "\n" as CR LF.
std::string console_bytes(const std::string& utf8);

// One in-process run of the engine on a real file, and what it left.
struct EngineOutcome {
    int32_t result;
    Bytes video;
    bool has_marker;
    std::string marker;        // without the line that names the video
    std::string marker_owner;  // that line, with its CR LF
    std::string list;
};
// The marker file's text without its second line when that names the video
// ("video=SIZE NAME"), which goes to *owner (with its CR LF), and without
// the lines of its time and of the aspect it showed that follow it, and
// without the lines that name the runs' targets.
std::string marker_positions(const std::string& marker, std::string* owner = nullptr);
EngineOutcome engine_outcome(const fs::path& video, uint32_t target, RequestMode mode = mode_convert,
                             bool resync = false);

// The positions where two files of one length differ.
std::set<int64_t> changed_positions(const Bytes& before, const Bytes& after);

// Positions of every 00 00 01 B3 in the bytes.
std::vector<size_t> sequence_header_positions(const Bytes& bytes);
