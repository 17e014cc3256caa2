// JSON text, built one member at a time: strings escaped so that any bytes
// survive, the name of a file among them.
#pragma once
#include <cstdint>
#include <string>

// A JSON object under construction; members go in the order added.
struct JsonObject {
    std::string text = "{";
};

// The bytes as a JSON string. Well-formed UTF-8 stays as it is (control
// characters, '"' and '\' escaped); each byte of anything else becomes
// \udcXX, XX the byte (0x80 to 0xFF), as Python's surrogateescape and
// os.fsencode take it back.
std::string json_quoted(const std::string& bytes);
// "w:h", as JSON.
std::string json_ratio(uint64_t width, uint64_t height);

void json_member(JsonObject* object, const char* key, const std::string& json);
void json_string(JsonObject* object, const char* key, const std::string& bytes);
void json_number(JsonObject* object, const char* key, int64_t value);
// A string, or null where the text is null.
void json_text_or_null(JsonObject* object, const char* key, const char* text);
// The object's JSON, closed.
std::string json_close(const JsonObject& object);
