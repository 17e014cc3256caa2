// What the command line asks of every file's run, parsed once: the layers
// below read it, and none of them reads the command line's text. What the
// mode means for a run is the editor's to say (mode_needs).
#pragma once
#include <cstdint>
#include <string>

enum RequestMode : uint8_t {
    mode_convert,
    mode_list,  // -l
    mode_undo,  // -u
};

// How a run's opening waits for its file: 50 ms before each attempt and
// once more after the successful one; or, in a run over several files or a
// folder, not at all for a file that opens at the first attempt (one that
// does not is waited for so from then on).
enum OpenPace : uint8_t { open_paced, open_at_once };

// The -o option as given: the code it names, and its text.
struct TargetOption {
    bool given;
    int32_t code;      // signed, and not checked to be a code: "-o1x" gives 82
    bool digits;       // whether the characters the code is counted from are digits
    std::string text;  // the argument whole, for the message that says what was given
};

struct RunRequest {
    RequestMode mode;
    TargetOption target;  // the latest -o
    bool resync;          // -r: a walk goes on past damage
    // -c: a rewrite changes the container's places (MP4, MOV, Matroska)
    // and leaves the codec's own (parameter sets, sequence headers, a
    // frame header) as they are.
    bool container_only;
    // The target a job settled for the file (a DVD title set's), which
    // stands where no -o is given; -1 when there is none.
    int32_t set_target;
    // --json: the runs also tell every place their walks take, and what the
    // video shows after a walk that wrote (fact_notices.h).
    bool detailed;
    OpenPace pace;
};
