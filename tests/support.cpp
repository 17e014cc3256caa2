#include "support.h"

#include <cstring>

#include "console/console.h"
#include "edit_run.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <iconv.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#endif

ScratchDir::ScratchDir() {
    std::random_device random;
    for (;;) {
        path_ = fs::temp_directory_path() / ("morvalen-test-" + std::to_string(random()));
        if (fs::create_directory(path_)) return;
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

Bytes read_bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) return Bytes();
    Bytes bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::string read_text(const fs::path& file) {
    Bytes bytes = read_bytes(file);
    return std::string(bytes.begin(), bytes.end());
}

void write_bytes(const fs::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

fs::path sample_path(const std::string& name) {
    return fs::path(SAMPLE_DIR) / name;
}

fs::path utf8_path(const std::string& name) {
    return fs::u8path(name);
}

std::string path_utf8(const fs::path& path) {
    return path.u8string();
}

fs::path copy_sample(const ScratchDir& dir, const std::string& name, const std::string& as) {
    fs::path copy = dir / (as.empty() ? name : as);
    fs::copy_file(sample_path(name), copy, fs::copy_options::overwrite_existing);
    return copy;
}

#ifdef _WIN32

// Quotes an argument for cmd.exe and the C runtime's argument splitter,
// which reads backslashes before the closing quote as escapes: they are
// doubled ("rec\\" is rec\).
static std::string quote(const std::string& text) {
    size_t kept = text.find_last_not_of('\\');
    size_t trailing = kept == std::string::npos ? text.size() : text.size() - kept - 1;
    return "\"" + text + std::string(trailing, '\\') + "\"";
}

static std::string tool_command(const fs::path& cwd, const std::string&) {
    return "cd /d " + quote(path_utf8(cwd)) + " && " +
           quote(path_utf8(fs::path(MORVALENCMD_PATH).make_preferred()));
}

static int exit_code_of(int status) {
    return status;
}

// The whole command as Unicode: names of any script reach the tool.
static int command_run(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), n);
    return _wsystem(wide.c_str());
}

static const char* null_device = "NUL";

std::string cp932(const std::string& utf8) {
    int wide_length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                          static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(wide_length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        wide_length);
    int length = WideCharToMultiByte(932, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(932, 0, wide.data(), wide_length, out.data(), length, nullptr, nullptr);
    if (utf8.size() > 0 && length == 0) throw std::runtime_error("cannot convert " + utf8);
    return out;
}

#else

static std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

static std::string tool_command(const fs::path& cwd, const std::string& environment) {
    return "cd " + quote(cwd.string()) + " && " + environment + " " + quote(MORVALENCMD_PATH);
}

static int exit_code_of(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

static int command_run(const std::string& command) {
    return std::system(command.c_str());
}

static const char* null_device = "/dev/null";

std::string cp932(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP932 converter");
    std::string in = utf8;
    std::string out(in.size() * 2 + 8, '\0');
    char* src = in.data();
    size_t src_left = in.size();
    char* dst = out.data();
    size_t dst_left = out.size();
    size_t done = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1)) throw std::runtime_error("cannot convert " + utf8);
    out.resize(out.size() - dst_left);
    return out;
}

#endif

// Wine's client complains on a process's standard error now and then
// ("wine client error:138: sendmsg: Bad file descriptor"). The tool never
// prints such a line: it goes to the test log instead.
static std::string emulator_lines_drop(std::string err) {
    const std::string mark = "wine client error:";
    for (size_t at = err.find(mark); at != std::string::npos; at = err.find(mark, at)) {
        size_t end = err.find('\n', at);
        std::string line = err.substr(at, end == std::string::npos ? end : end - at);
        std::fprintf(stderr, "the emulator's own complaint: %s\n", line.c_str());
        err.erase(at, end == std::string::npos ? end : line.size() + 1);
    }
    return err;
}

RunResult run_tool(const std::vector<std::string>& args, const fs::path& cwd,
                   const std::string& environment) {
    fs::path out = cwd / ".tool-stdout";
    fs::path err = cwd / ".tool-stderr";
    std::string command = tool_command(cwd, environment);
    for (const std::string& arg : args) command += " " + quote(arg);
    command += " > " + quote(path_utf8(out)) + " 2> " + quote(path_utf8(err)) + " < " + null_device;
    // The tool opens every run with its banner, so a run that printed nothing
    // never started: under an emulator (wine, qemu-user) a process start can
    // fail on its own now and then. Such a run changed nothing and is tried
    // again, twice at most.
    RunResult result;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int status = command_run(command);
        result = RunResult{exit_code_of(status), read_text(out), emulator_lines_drop(read_text(err))};
        fs::remove(out);
        fs::remove(err);
        if (!result.out.empty()) break;
    }
    return result;
}

#ifdef _WIN32
namespace {

// Starts the tool with no standard handles at all, as a service or a
// scheduled task starts a console program.
HANDLE tool_start(const std::vector<std::string>& args, const fs::path& cwd) {
    std::string utf8 = quote(path_utf8(fs::path(MORVALENCMD_PATH).make_preferred()));
    for (const std::string& arg : args) utf8 += " " + quote(arg);
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring command(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, command.data(), n);
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        cwd.wstring().c_str(), &start, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

int tool_wait(HANDLE process) {
    if (process == nullptr) return -1;
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return static_cast<int>(code);
}

}  // namespace

int run_tool_closed(const std::vector<std::string>& args, const fs::path& cwd, const std::string&) {
    return tool_wait(tool_start(args, cwd));
}

std::vector<int> run_tool_together(const std::vector<std::string>& args, const fs::path& cwd) {
    HANDLE first = tool_start(args, cwd);
    HANDLE second = tool_start(args, cwd);
    return {tool_wait(first), tool_wait(second)};
}
#else
int run_tool_closed(const std::vector<std::string>& args, const fs::path& cwd,
                    const std::string& closing) {
    std::string command = tool_command(cwd, "LC_ALL=C");
    for (const std::string& arg : args) command += " " + quote(arg);
    return exit_code_of(command_run(command + " " + closing));
}

std::string shim_environment(const std::vector<std::string>& settings) {
    std::string environment = "LC_ALL=C ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" FAULT_SHIM_PATH;
    for (const std::string& setting : settings) environment += " " + setting;
    return environment;
}

int run_with_shim(const fs::path& video, const std::string& option,
                  const std::vector<std::string>& settings) {
    std::vector<std::string> variables = {"LC_ALL=C", "ASAN_OPTIONS=verify_asan_link_order=0",
                                          "LD_PRELOAD=" FAULT_SHIM_PATH};
    variables.insert(variables.end(), settings.begin(), settings.end());
    std::vector<char*> environment;
    for (std::string& v : variables) environment.push_back(v.data());
    environment.push_back(nullptr);
    std::string path = video.string();
    std::vector<char*> argv = {const_cast<char*>(MORVALENCMD_PATH)};
    if (!option.empty()) argv.push_back(const_cast<char*>(option.c_str()));
    argv.push_back(path.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t tool = 0;
    int failed = posix_spawn(&tool, MORVALENCMD_PATH, &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return -1;
    int status = 0;
    waitpid(tool, &status, 0);
    return status;
}

std::vector<std::string> journal_positioned_writes(const fs::path& log) {
    std::ifstream in(log);
    std::vector<std::string> files;
    std::string kind, path;
    long long offset = 0;
    size_t count = 0;
    while (in >> kind >> path) {
        if (kind != "W") continue;
        in >> offset >> count;
        // The side files are appended to; every other write is positioned.
        std::string extension = fs::path(path).extension().string();
        bool new_list = extension.rfind(".~", 0) == 0;
        if (extension != ".ini" && extension != ".txt" && !new_list) files.push_back(path);
    }
    return files;
}

std::vector<int> run_tool_together(const std::vector<std::string>& args, const fs::path& cwd) {
    std::string tool = quote(MORVALENCMD_PATH);
    for (const std::string& arg : args) tool += " " + quote(arg);
    // Each run's exit code in a file of its own: the shell's wait gives one.
    std::string command = "cd " + quote(cwd.string()) + " && (LC_ALL=C " + tool +
                          " > /dev/null; echo $? > .code1) & (cd " + quote(cwd.string()) +
                          " && LC_ALL=C " + tool + " > /dev/null; echo $? > .code2) & wait";
    command_run(command);
    std::vector<int> codes;
    for (const char* name : {".code1", ".code2"}) {
        codes.push_back(std::atoi(read_text(cwd / name).c_str()));
        fs::remove(cwd / name);
    }
    return codes;
}
#endif

std::string console_bytes(const std::string& utf8) {
    std::string text = cp932(utf8);
    std::string expanded;
    for (char c : text) {
        if (c == '\n') expanded += '\r';
        expanded += c;
    }
    return expanded;
}

std::set<int64_t> changed_positions(const Bytes& before, const Bytes& after) {
    std::set<int64_t> changed;
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] != after[i]) changed.insert(static_cast<int64_t>(i));
    }
    return changed;
}

std::vector<size_t> sequence_header_positions(const Bytes& bytes) {
    std::vector<size_t> found;
    for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] == 0xB3) {
            found.push_back(i);
        }
    }
    return found;
}

#ifndef _WIN32
// The engine's progress lines would bury a failing test's report: they go
// to /dev/null while the engine runs in the test process.
class QuietStdout {
public:
    QuietStdout() : saved_(dup(STDOUT_FILENO)) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout() {
        console_flush();
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

private:
    int saved_;
};
#else
// The console stays as it is; a constructor of its own keeps the unused
// object from a warning.
struct QuietStdout {
    QuietStdout() {}
};
#endif

namespace {

// The lines without those that name a run's target ("target=CODE W:H").
std::string without_targets(const std::string& lines) {
    std::string kept;
    for (size_t at = 0; at < lines.size();) {
        size_t end = lines.find('\n', at);
        end = end == std::string::npos ? lines.size() : end + 1;
        if (lines.compare(at, 7, "target=") != 0) kept += lines.substr(at, end - at);
        at = end;
    }
    return kept;
}

}  // namespace

std::string marker_positions(const std::string& marker, std::string* owner) {
    size_t first_end = marker.find('\n');
    if (first_end == std::string::npos || marker.compare(first_end + 1, 6, "video=") != 0) {
        if (owner != nullptr) owner->clear();
        return marker;
    }
    size_t owner_end = marker.find('\n', first_end + 1);
    if (owner_end == std::string::npos) owner_end = marker.size() - 1;
    if (owner != nullptr) *owner = marker.substr(first_end + 1, owner_end - first_end);
    // The video's last-write time follows its name, and what it showed.
    for (const char* key : {"time=", "shown="}) {
        if (marker.compare(owner_end + 1, std::strlen(key), key) != 0) continue;
        size_t line_end = marker.find('\n', owner_end + 1);
        owner_end = line_end == std::string::npos ? marker.size() - 1 : line_end;
    }
    return marker.substr(0, first_end + 1) + without_targets(marker.substr(owner_end + 1));
}

EngineOutcome engine_outcome(const fs::path& video, uint32_t target, RequestMode mode, bool resync) {
    QuietStdout quiet;
    ConvertJob job = {};
    job.path = path_utf8(video);
    job.target_aspect = target;
    job.request.mode = mode;
    job.request.resync = resync;
    EngineOutcome o;
    o.result = edit_run(job);
    o.video = read_bytes(video);
    fs::path marker = fs::path(video).replace_extension(".ini");
    o.has_marker = fs::exists(marker);
    o.marker = o.has_marker ? marker_positions(read_text(marker), &o.marker_owner) : "";
    fs::path list = fs::path(video).replace_extension(".txt");
    o.list = fs::exists(list) && list != video ? read_text(list) : "";
    return o;
}

#ifndef _WIN32
TmpfsMount::TmpfsMount(const fs::path& at, const std::string& size) : at_(at) {
    fs::create_directories(at);
    std::string options = "size=" + size;
    mounted_ = mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

TmpfsMount::~TmpfsMount() {
    if (mounted_) umount2(at_.c_str(), MNT_DETACH);
}

bool TmpfsMount::read_only() {
    return mount("tmpfs", at_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

uint64_t TmpfsMount::free_bytes() const {
    struct statvfs st;
    if (statvfs(at_.c_str(), &st) != 0) return 0;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

void TmpfsMount::fill(uint64_t left) const {
    uint64_t free = free_bytes();
    write_bytes(at_ / "filler", Bytes(free > left ? free - left : 0, 0xAA));
}
#endif
