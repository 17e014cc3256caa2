// The names a report for scripts gives what the tool knows by number:
// stable from release to release, so that scripts may compare them.
#pragma once
#include <cstdint>

#include "notices/fact_notices.h"
#include "notices/file_notices.h"

// A failure's or a stop's key: "read_error", "not_mpeg", ... (null for a
// result that is no failure).
const char* result_key(int64_t result);
const char* stop_key(StopReason reason);
// The key of a notice that says why a file's run did not do all it was
// asked: null for a notice that says no such thing.
const char* notice_key(const Notice* notice);
// Whether the console's text of the notice belongs to a file's message.
bool notice_has_text(const Notice* notice);

// The kind of file: a container's own name where the notice has one
// ("MP4", "MOV", "MKV", "WebM"), else "ES", "PS", "TS", "IFO".
const char* container_name(const VideoFactsNotice* facts);
const char* site_kind_name(SiteKind kind);
// Null for a place left as nothing kept it.
const char* left_name(PlaceLeft left);
