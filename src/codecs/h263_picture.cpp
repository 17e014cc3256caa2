#include "codecs/h263_picture.h"

#include "codecs/bit_reader.h"
#include "codecs/mpeg4_vol.h"

namespace {

constexpr uint32_t format_extended = 7;  // PTYPE's source format: PLUSPTYPE follows
constexpr uint32_t format_custom = 6;    // OPPTYPE's
constexpr uint32_t ufep_full = 1;        // OPPTYPE present
constexpr uint32_t pair_bits = 16;       // EPAR
// CPFMT after its code: PWI 9, a 1, PHI 9.
constexpr uint32_t size_bits = 19;

// The standard formats 1 to 5: sub-QCIF, QCIF, CIF, 4CIF, 16CIF.
constexpr uint16_t standard_sizes[][2] = {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};

bool standard_take(uint32_t format, H263Picture* picture) {
    if (format == 0 || format > 5) return false;
    picture->width = standard_sizes[format - 1][0];
    picture->height = standard_sizes[format - 1][1];
    return true;
}

// CPFMT (and EPAR), from its PAR code.
bool custom_read(BitReader* r, H263Picture* picture) {
    picture->custom = true;
    picture->par_bit = r->bit;
    picture->par_code = static_cast<uint8_t>(bits_read(r, 4));
    uint32_t pwi = bits_read(r, 9);
    uint32_t marker = bits_read(r, 1);
    uint32_t phi = bits_read(r, 9);
    if (picture->par_code == vol_aspect_extended) {
        picture->par_width = static_cast<uint8_t>(bits_read(r, 8));
        picture->par_height = static_cast<uint8_t>(bits_read(r, 8));
    }
    if (r->overrun || marker != 1 || phi == 0) return false;
    picture->width = (pwi + 1) * 4;
    picture->height = phi * 4;
    return true;
}

// PLUSPTYPE: the source format only where UFEP says OPPTYPE follows, and
// the fixed bits of OPPTYPE and MPPTYPE as they must be.
bool plus_read(BitReader* r, H263Picture* picture) {
    if (bits_read(r, 3) != ufep_full) return false;
    uint32_t format = bits_read(r, 3);
    bits_skip(r, 11);                           // custom PCF to AIV, MQ
    if (bits_read(r, 4) != 0x8) return false;   // 1000
    bits_skip(r, 6);                            // picture type, RPR, RRU, rounding
    if (bits_read(r, 3) != 0x1) return false;   // 001
    if (bits_read(r, 1) != 0) bits_skip(r, 2);  // CPM, PSBI
    if (r->overrun) return false;
    return format == format_custom ? custom_read(r, picture) : standard_take(format, picture);
}

// The bits an in-place change may rewrite: the code, or EPAR after a 15.
void field_of(const H263Picture* picture, uint32_t* bit, uint32_t* bits) {
    bool extended = picture->par_code == vol_aspect_extended;
    *bit = extended ? picture->par_bit + 4 + size_bits : picture->par_bit;
    *bits = extended ? pair_bits : 4;
}

}  // namespace

bool h263_picture_read(const uint8_t* bytes, uint32_t length, H263Picture* picture) {
    *picture = H263Picture{};
    if (length == 0 || !h263_start_is(bytes[0])) return false;
    BitReader r = {bytes, length, 6, false};
    bits_skip(&r, 8);                                   // TR
    if (bits_read(&r, 2) != 0x2) return false;          // PTYPE's 1 0
    bits_skip(&r, 3);                                   // split screen, document camera, freeze release
    uint32_t format = bits_read(&r, 3);
    if (r.overrun) return false;
    return format == format_extended ? plus_read(&r, picture) : standard_take(format, picture);
}

SarRatio h263_picture_sar(const H263Picture* picture) {
    if (!picture->custom) return {0, 0};
    return par_code_sar(picture->par_code, picture->par_width, picture->par_height);
}

AspectEdit h263_aspect_edit(const uint8_t* bytes, uint32_t length, SarRatio target, ByteChange* changes,
                            uint32_t* count) {
    *count = 0;
    H263Picture picture;
    if (length > h263_bytes_most || !h263_picture_read(bytes, length, &picture)) return aspect_edit_unread;
    if (!picture.custom) return aspect_edit_no_field;
    uint32_t value = 0;
    AspectEdit edit = par_code_target(picture.par_code, h263_picture_sar(&picture), target, &value);
    if (edit != aspect_edit_changed) return edit;
    uint32_t bit = 0;
    uint32_t bits = 0;
    field_of(&picture, &bit, &bits);
    *count = par_field_changes(bytes, length, bit, bits, value, changes);
    return aspect_edit_changed;
}

uint32_t h263_field_bytes(const uint8_t* bytes, uint32_t length, uint32_t* indices) {
    H263Picture picture;
    if (length > h263_bytes_most || !h263_picture_read(bytes, length, &picture) || !picture.custom) return 0;
    uint32_t bit = 0;
    uint32_t bits = 0;
    field_of(&picture, &bit, &bits);
    uint32_t count = 0;
    for (uint32_t k = bit / 8; k <= (bit + bits - 1) / 8; ++k) indices[count++] = k;
    return count;
}
