#include "cli/json_report.h"

#include "cli/json_names.h"
#include "cli/json_text.h"
#include "cli/report.h"
#include "codecs/mpeg_aspects.h"
#include "codecs/sar.h"
#include "codecs/shapes.h"
#include "console/console.h"
#include "platform/platform.h"
#include "run/exit_codes.h"

namespace {

void line_write(const std::string& json) {
    std::string line = json + "\n";
    os_stdout_write_utf8(line.data(), line.size());
}

JsonObject object_begin(const char* type) {
    JsonObject object;
    json_number(&object, "version", json_report_version);
    json_string(&object, "type", type);
    return object;
}

std::string sar_json(SarRatio sar) {
    return sar.width != 0 && sar.height != 0 ? json_ratio(sar.width, sar.height) : "null";
}

// The shape a picture shows: the one an MPEG-2 or DVD code names, else the
// one its sample aspect gives it, with the tool's own rounding of the usual
// sample aspects (10:11 at 720 samples is 4:3), else exactly.
std::string display_json(const VideoFactsNotice& f) {
    uint32_t width = 0;
    uint32_t height = 0;
    if (f.coded && f.naming == naming_mpeg2_codes && mpeg2_code_shape(f.code, &width, &height)) {
        return json_ratio(width, height);
    }
    if (f.sar.width == 0 || f.sar.height == 0 || f.height == 0) return "null";
    uint32_t shape = shape_of_sar(f.width, f.height, f.sar);
    if (shape != 0 && shape_ratio(shape, &width, &height)) return json_ratio(width, height);
    return sar_json(sar_reduced(uint64_t{f.width} * f.sar.width, uint64_t{f.height} * f.sar.height));
}

std::string aspect_json(const VideoFactsNotice& f) {
    JsonObject o;
    json_member(&o, "display", display_json(f));
    json_member(&o, "sample", sar_json(f.sar));
    if (f.coded) json_number(&o, "code", f.code);
    return json_close(o);
}

// What a place records: a code of its table, or a sample aspect.
std::string place_value_json(SiteKind kind, const SiteReading& reading) {
    JsonObject o;
    if (kind == site_sequence_header || kind == site_dvd_attributes || kind == site_clip_aspect) {
        json_number(&o, "code", reading.aspect.code);
    } else {
        json_member(&o, "sample", reading.aspect_present ? sar_json(reading.aspect.sar) : "null");
    }
    return json_close(o);
}

void place_add(JsonFile* file, const PlaceNotice& p) {
    JsonObject o;
    json_string(&o, "kind", site_kind_name(p.site));
    json_number(&o, "position", p.pos);
    json_text_or_null(&o, "file", p.part);
    json_text_or_null(&o, "holder", site_holder_name(p.holder));
    json_member(&o, "before", place_value_json(p.site, p.before));
    json_member(&o, "after", place_value_json(p.site, p.after));
    json_text_or_null(&o, "left", left_name(p.left));
    if (!file->places.empty()) file->places += ',';
    file->places += json_close(o);
}

void facts_take(JsonFile* file, const VideoFactsNotice& facts) {
    if (facts.after) {
        file->has_after = true;
        file->after = facts;
    } else {
        file->has_before = true;
        file->before = facts;
    }
}

std::string size_json(const VideoFactsNotice* facts, uint32_t value) {
    return facts != nullptr && value != 0 ? std::to_string(value) : "null";
}

// The video as the run found it, and what it showed after; all null for a
// file whose video was never found.
void facts_add(JsonObject* o, const JsonFile& f) {
    const VideoFactsNotice* facts = f.has_before ? &f.before : nullptr;
    json_text_or_null(o, "container", facts != nullptr ? container_name(facts) : nullptr);
    json_text_or_null(o, "codec", facts != nullptr ? facts->codec : nullptr);
    json_member(o, "width", size_json(facts, facts != nullptr ? facts->width : 0));
    json_member(o, "height", size_json(facts, facts != nullptr ? facts->height : 0));
    json_member(o, "before", facts != nullptr ? aspect_json(*facts) : "null");
    json_member(o, "after", facts != nullptr ? aspect_json(f.has_after ? f.after : *facts) : "null");
}

std::string message_json(const char* key, const std::string& text) {
    if (key == nullptr) return "null";
    JsonObject o;
    json_string(&o, "key", key);
    json_string(&o, "text", text);
    return json_close(o);
}

const char* done_name(const JsonFile& f, const FileEndNotice& end) {
    if (end.count == count_skipped) return "skipped";
    if (!f.ended) return end.exit_code == exit_same_aspect ? "already" : "failed";
    if (f.outcome.result < 0) return "failed";
    switch (f.outcome.ending) {
    case ending_listed: return "listed";
    case ending_converted: return "converted";
    case ending_restored:
    case ending_restored_partly: return "undone";
    default: return "failed";
    }
}

void file_write(const JsonFile& f, const FileEndNotice& end) {
    JsonObject o = object_begin("file");
    json_string(&o, "name", end.path);
    json_string(&o, "done", done_name(f, end));
    json_number(&o, "exit_code", end.exit_code);
    facts_add(&o, f);
    json_member(&o, "places", "[" + f.places + "]");
    json_member(&o, "message", message_json(f.key, f.message));
    line_write(json_close(o));
}

// The console's text of the notice, as its report prints it.
void message_add(JsonFile* file, const Notice* n) {
    std::string text;
    console_capture(&text);
    NoticeSink console = report_sink();
    console.send(console.context, n);
    console_capture(nullptr);
    std::string message = json_message_text(text);
    if (message.empty()) return;
    if (!file->message.empty()) file->message += '\n';
    file->message += message;
}

int32_t json_take(void* context, const Notice* n) {
    JsonReport* report = static_cast<JsonReport*>(context);
    JsonFile& file = report->file;
    switch (n->kind) {
    case notice_place: place_add(&file, notice_record<PlaceNotice>(n)); return 0;
    case notice_video_facts: facts_take(&file, notice_record<VideoFactsNotice>(n)); return 0;
    case notice_file_end: {
        const FileEndNotice& end = notice_record<FileEndNotice>(n);
        file_write(file, end);
        ++report->counts[end.count];
        file = JsonFile{};
        return 0;
    }
    case notice_outcome:
        file.ended = true;
        file.outcome = notice_record<RunOutcome>(n);
        break;
    default: break;
    }
    if (!notice_has_text(n)) return 0;
    if (file.key == nullptr) file.key = notice_key(n);
    message_add(&file, n);
    return 0;
}

}  // namespace

std::string json_message_text(const std::string& console_text) {
    std::string text;
    for (char c : console_text) {
        if (c != '\r') text += c;
    }
    size_t first = text.find_first_not_of('\n');
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of('\n');
    return os_cp932_utf8(text.substr(first, last - first + 1).c_str());
}

void json_report_open(JsonReport* report) {
    *report = JsonReport{};
    os_stdout_prepare();
}

NoticeSink json_report_sink(JsonReport* report) {
    return NoticeSink{json_take, report};
}

void json_report_refusal(JsonReport* report, const char* key, const std::string& text) {
    report->file.key = key;
    report->file.message = json_message_text(text);
}

void json_report_close(JsonReport* report, int exit_code) {
    const uint32_t* counts = report->counts;
    JsonObject o = object_begin("batch");
    json_string(&o, "program", "morvalencmd");
    json_string(&o, "program_version", MORVALEN_VERSION);
    json_number(&o, "files", counts[count_changed] + counts[count_unchanged] + counts[count_failed] +
                                 counts[count_skipped]);
    json_number(&o, "changed", counts[count_changed]);
    json_number(&o, "unchanged", counts[count_unchanged]);
    json_number(&o, "failed", counts[count_failed]);
    json_number(&o, "skipped", counts[count_skipped]);
    json_number(&o, "exit_code", exit_code);
    json_member(&o, "message", message_json(report->file.key, report->file.message));
    line_write(json_close(o));
}
