#include "codecs/vc1_sequence.h"

#include "codecs/bit_reader.h"
#include "codecs/framing.h"
#include "codecs/sar.h"
#include "codecs/sps.h"

namespace {

constexpr uint32_t profile_advanced = 3;
constexpr uint32_t level_most = 4;
constexpr uint32_t chroma_420 = 1;
// The codes of the sample aspect table, which H.264's codes 1 to 13 give.
constexpr uint8_t table_code_most = 13;
constexpr uint32_t pair_bits = 16;
constexpr uint32_t pair_term_most = 256;

// What follows the aspect in the display extension, and the HRD
// parameters: read so that a header whose fields run past its unit is no
// header.
void display_rest_skip(BitReader* r) {
    if (bits_read(r, 1) != 0) bits_skip(r, bits_read(r, 1) != 0 ? 16 : 12);  // frame rate
    if (bits_read(r, 1) != 0) bits_skip(r, 24);  // colour primaries, transfer, matrix
}

void hrd_skip(BitReader* r) {
    if (bits_read(r, 1) == 0) return;
    uint32_t buckets = bits_read(r, 5);
    bits_skip(r, 8);  // the rate's and the buffer's exponents
    for (uint32_t k = 0; k < buckets && !r->overrun; ++k) bits_skip(r, 32);
}

void display_read(BitReader* r, Vc1Sequence* s) {
    bits_skip(r, 28);  // DISP_HORIZ_SIZE, DISP_VERT_SIZE
    s->aspect_present = bits_read(r, 1) != 0;
    if (s->aspect_present) {
        s->aspect_bit = r->bit;
        s->code = static_cast<uint8_t>(bits_read(r, 4));
        if (s->code == vc1_aspect_explicit) {
            s->pair_width = static_cast<uint16_t>(bits_read(r, 8) + 1);
            s->pair_height = static_cast<uint16_t>(bits_read(r, 8) + 1);
        }
    }
    display_rest_skip(r);
}

struct Vc1Rbsp {
    uint8_t bytes[sps_bytes_most];
    uint16_t index_of[sps_bytes_most];
    uint32_t length;
};

// The field an in-place change may rewrite: the code, or the pair after a 15.
void field_of(const Vc1Sequence* s, uint32_t* bit, uint32_t* bits) {
    bool pair = s->code == vc1_aspect_explicit;
    *bit = pair ? s->aspect_bit + 4 : s->aspect_bit;
    *bits = pair ? pair_bits : 4;
}

// The field's new value for the target in the form it has.
AspectEdit target_value(const Vc1Sequence* s, SarRatio target, uint32_t* value) {
    if (s->code != vc1_aspect_explicit) {
        uint8_t code = sar_table_code(target);
        if (code == 0 || code > table_code_most) return aspect_edit_no_code;
        *value = code;
        return s->code == code ? aspect_edit_same : aspect_edit_changed;
    }
    SarRatio pair = sar_reduced(target.width, target.height);
    if (pair.width == 0 || pair.width > pair_term_most || pair.height > pair_term_most) return aspect_edit_no_code;
    *value = (pair.width - 1) << 8 | (pair.height - 1);
    return sar_same(pair, vc1_sequence_sar(s)) ? aspect_edit_same : aspect_edit_changed;
}

}  // namespace

bool vc1_sequence_read(const uint8_t* unit, uint32_t length, Vc1Sequence* s) {
    *s = Vc1Sequence{};
    if (length < 2 || length > sps_bytes_most || unit[0] != vc1_sequence_code) return false;
    Vc1Rbsp rbsp;
    rbsp.length = rbsp_unescape(unit + 1, length - 1, rbsp.bytes, rbsp.index_of);
    BitReader r = {rbsp.bytes, rbsp.length, 0, false};
    if (bits_read(&r, 2) != profile_advanced || bits_read(&r, 3) > level_most) return false;
    if (bits_read(&r, 2) != chroma_420) return false;
    bits_skip(&r, 9);  // FRMRTQ_POSTPROC, BITRTQ_POSTPROC, POSTPROCFLAG
    s->width = (bits_read(&r, 12) + 1) * 2;
    s->height = (bits_read(&r, 12) + 1) * 2;
    bits_skip(&r, 6);  // PULLDOWN, INTERLACE, TFCNTRFLAG, FINTERPFLAG, reserved, PSF
    if (bits_read(&r, 1) != 0) display_read(&r, s);
    hrd_skip(&r);
    return !r.overrun;
}

SarRatio vc1_sequence_sar(const Vc1Sequence* s) {
    if (!s->aspect_present) return {0, 0};
    if (s->code == vc1_aspect_explicit) return sar_reduced(s->pair_width, s->pair_height);
    return s->code <= table_code_most ? sar_of_table_code(s->code) : SarRatio{0, 0};
}

AspectEdit vc1_aspect_edit(const uint8_t* unit, uint32_t length, SarRatio target, ByteChange* changes,
                           uint32_t* count) {
    *count = 0;
    Vc1Sequence s;
    if (!vc1_sequence_read(unit, length, &s)) return aspect_edit_unread;
    if (!s.aspect_present) return aspect_edit_no_field;
    uint32_t value = 0;
    AspectEdit edit = target_value(&s, target, &value);
    if (edit != aspect_edit_changed) return edit;
    uint32_t bit = 0;
    uint32_t bits = 0;
    field_of(&s, &bit, &bits);
    return rbsp_field_edit(unit, length, 1, bit, bits, value, changes, count);
}

uint32_t vc1_field_bytes(const uint8_t* unit, uint32_t length, uint32_t* indices) {
    Vc1Sequence s;
    if (!vc1_sequence_read(unit, length, &s) || !s.aspect_present) return 0;
    uint32_t bit = 0;
    uint32_t bits = 0;
    field_of(&s, &bit, &bits);
    return rbsp_field_bytes(unit, length, 1, bit, bits, indices);
}

namespace {

bool vc1_sequence_site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    Vc1Sequence s;
    if (!vc1_sequence_read(bytes, site->length, &s)) return false;
    reading->aspect_present = s.aspect_present;
    reading->aspect = {s.code, vc1_sequence_sar(&s)};
    reading->keyed = true;
    reading->width = s.width;
    reading->height = s.height;
    return true;
}

AspectEdit vc1_sequence_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                             uint32_t* count) {
    *count = 0;
    // Bytes past those kept could change their escaping unseen.
    if (site->cut) return aspect_edit_escaping;
    return vc1_aspect_edit(bytes, site->length, target.sar, changes, count);
}

uint32_t vc1_sequence_field(const AspectSite* site, uint32_t* indices) {
    if (site->cut || site->across_repeat) return 0;
    return vc1_field_bytes(site->bytes, site->length, indices);
}

}  // namespace

const PlaceOps vc1_sequence_places = {vc1_sequence_site_read, vc1_sequence_edit, vc1_sequence_field};
