#include "support.h"

#include <cstdlib>
#include <fstream>
#include <iconv.h>
#include <random>
#include <stdexcept>
#include <sys/wait.h>

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
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

fs::path copy_sample(const ScratchDir& dir, const std::string& name, const std::string& as) {
    fs::path copy = dir / (as.empty() ? name : as);
    fs::copy_file(sample_path(name), copy, fs::copy_options::overwrite_existing);
    return copy;
}

static std::string shell_quote(const std::string& text) {
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

RunResult run_tool(const std::vector<std::string>& args, const fs::path& cwd) {
    fs::path out = cwd / ".tool-stdout";
    fs::path err = cwd / ".tool-stderr";
    std::string command = "cd " + shell_quote(cwd.string()) + " && " + shell_quote(MORVALENCMD_PATH);
    for (const std::string& arg : args) command += " " + shell_quote(arg);
    command += " > " + shell_quote(out.string()) + " 2> " + shell_quote(err.string()) + " < /dev/null";
    int status = std::system(command.c_str());
    RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(out), read_text(err)};
    fs::remove(out);
    fs::remove(err);
    return result;
}

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

std::string console_bytes(const std::string& utf8) {
    std::string text = cp932(utf8);
    std::string expanded;
    for (char c : text) {
        if (c == '\n') expanded += '\r';
        expanded += c;
    }
    return expanded;
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
