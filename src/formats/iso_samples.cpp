#include "formats/iso_samples.h"

#include <algorithm>

#include "codecs/payload.h"
#include "fileio/result.h"

namespace {

// The flags of a track fragment's header, which say what it gives, and of
// a track run, which say what each of its samples has.
enum TfhdFlag : uint32_t {
    tfhd_base_offset = 0x1, tfhd_description = 0x2, tfhd_duration = 0x8, tfhd_size = 0x10,
    tfhd_base_is_moof = 0x20000,
};
enum TrunFlag : uint32_t {
    trun_data_offset = 0x1, trun_first_flags = 0x4, trun_duration = 0x100, trun_size = 0x200, trun_flags = 0x400,
    trun_time_offset = 0x800,
};

// A box's body read whole; box_broken when the box is shorter than `least`.
int32_t body_load(BlockReader* r, const IsoBox* box, uint32_t least, std::vector<uint8_t>* bytes) {
    int64_t length = box->end - box->body;
    if (length < least) return reader_broken(r, box->start, result_box_broken);
    bytes->resize(static_cast<size_t>(length));
    for (int64_t at = 0; at < length;) {
        const uint8_t* piece = nullptr;
        uint32_t got = 0;
        uint32_t want = length - at < reader_fetch_most ? static_cast<uint32_t>(length - at) : reader_fetch_most;
        int32_t result = reader_fetch(r, box->body + at, want, &piece, &got);
        if (result != 0) return result;
        if (got != want) return reader_broken(r, box->start, result_box_broken);
        std::copy(piece, piece + got, bytes->begin() + at);
        at += got;
    }
    return 0;
}

// The tables of a sample table box, each read whole.
struct SampleTables {
    std::vector<uint8_t> chunks_of;  // stsc
    std::vector<uint8_t> sizes;      // stsz or stz2
    std::vector<uint8_t> offsets;    // stco or co64
    uint32_t size_bits;              // of each size in `sizes`; 0 for one size for all
    uint32_t size_all;
    uint32_t offset_bytes;           // 4 or 8
};

int32_t tables_load(BlockReader* r, const IsoBox* stbl, SampleTables* t) {
    IsoBox child;
    int32_t result = 0;
    for (int64_t pos = stbl->body; pos < stbl->end && result == 0; pos = child.end) {
        BoxRead read = box_read(r, pos, stbl->end, &child, &result);
        if (read == box_none) break;
        if (read == box_broken) return result != 0 ? result : result_box_broken;
        uint32_t type = child.type;
        if (type == box_type("stsc")) result = body_load(r, &child, 8, &t->chunks_of);
        if (type == box_type("stsz") || type == box_type("stz2")) result = body_load(r, &child, 12, &t->sizes);
        if (type == box_type("stco") || type == box_type("co64")) result = body_load(r, &child, 8, &t->offsets);
        if (type == box_type("co64")) t->offset_bytes = 8;
        if (type == box_type("stco")) t->offset_bytes = 4;
        if (type == box_type("stz2")) t->size_bits = t->sizes.empty() ? 0 : t->sizes[7];
        if (type == box_type("stsz")) t->size_bits = 32;
    }
    if (result != 0) return result;
    if (t->size_bits == 32 && be32_at(t->sizes.data() + 4) != 0) {
        t->size_all = be32_at(t->sizes.data() + 4);
        t->size_bits = 0;
    }
    return 0;
}

// How many entries a table's body holds room for after its count: a count
// past that is broken.
bool table_fits(const std::vector<uint8_t>& body, uint32_t count_at, uint64_t entry_bits) {
    if (body.size() < count_at + 4) return false;
    uint64_t count = be32_at(body.data() + count_at);
    return (count * entry_bits + 7) / 8 <= body.size() - count_at - 4;
}

uint32_t sample_size(const SampleTables* t, uint32_t i) {
    const uint8_t* entries = t->sizes.data() + 12;
    switch (t->size_bits) {
    case 0: return t->size_all;
    case 4: return (entries[i / 2] >> ((i % 2) ? 0 : 4)) & 0x0F;
    case 8: return entries[i];
    case 16: return be16_at(entries + 2 * i);
    default: return be32_at(entries + 4 * i);
    }
}

int64_t chunk_offset(const SampleTables* t, uint32_t chunk) {
    const uint8_t* entries = t->offsets.data() + 8;
    return t->offset_bytes == 8 ? static_cast<int64_t>(be64_at(entries + 8 * chunk)) : be32_at(entries + 4 * chunk);
}

// Where samples may lie: within the file, or in a file cut short after its
// movie (a download stopped), past its end too, where they are counted.
struct SampleBounds {
    int64_t file_size;
    bool cut;
    uint64_t beyond;
};

// A sample kept when it has bytes; one past the end of the file is refused,
// or, in a file cut short, counted, and kept where its head is there.
// Without a list, only its place is checked (another track's).
int32_t sample_add(int64_t pos, uint32_t size, SampleBounds* bounds, std::vector<IsoSample>* samples) {
    if (size == 0 || samples == nullptr) return 0;
    int64_t file_size = bounds->file_size;
    if (pos < 0 || pos > file_size || size > file_size - pos) {
        if (!bounds->cut || pos < 0) return result_samples_outside;
        ++bounds->beyond;
        if (pos >= file_size) return 0;
    }
    samples->push_back({pos, size});
    return 0;
}

bool sample_before(const IsoSample& a, const IsoSample& b) {
    return a.pos < b.pos;
}

// Whether the chunks' runs of samples (stsc) give exactly the samples
// that stsz or stz2 sizes: a table that leaves some out (samples per chunk
// 0, runs that stop short of the chunks, an empty stsc beside sizes) would
// leave those samples' parameter sets unchanged beside the others.
bool table_accounts(const SampleTables* t, uint32_t entries, uint32_t chunks, uint32_t count) {
    uint64_t assigned = 0;
    for (uint32_t k = 0; k < entries; ++k) {
        const uint8_t* e = t->chunks_of.data() + 8 + 12 * k;
        uint32_t first = be32_at(e);
        uint32_t next = k + 1 < entries ? be32_at(e + 12) : chunks + 1;
        // Chunks count from 1, and the runs rise.
        if (first == 0 || next <= first || next > chunks + 1) return false;
        assigned += static_cast<uint64_t>(next - first) * be32_at(e + 4);
    }
    return assigned == count;
}

// A movie whose samples are all in fragments has empty tables; one that is
// not fragmented must have them.
int32_t table_samples(BlockReader* r, const IsoMovie* movie, std::vector<IsoSample>* samples, SampleBounds* bounds) {
    SampleTables t = {};
    int32_t result = tables_load(r, &movie->video.sample_table, &t);
    if (result != 0) return result;
    bool tables = !t.chunks_of.empty() && !t.sizes.empty() && !t.offsets.empty();
    if (!tables) return movie->fragmented ? 0 : result_samples_unaccounted;
    bool fits = table_fits(t.chunks_of, 4, 96) && table_fits(t.offsets, 4, 8 * t.offset_bytes) &&
                (t.size_bits == 0 || table_fits(t.sizes, 8, t.size_bits));
    if (!fits) return reader_broken(r, movie->video.sample_table.start, result_box_broken);
    uint32_t entries = be32_at(t.chunks_of.data() + 4);
    uint32_t chunks = be32_at(t.offsets.data() + 4);
    uint32_t count = be32_at(t.sizes.data() + 8);
    if (!table_accounts(&t, entries, chunks, count) || (count == 0 && !movie->fragmented)) {
        return result_samples_unaccounted;
    }
    uint32_t sample = 0;
    for (uint32_t k = 0; k < entries && result == 0; ++k) {
        const uint8_t* e = t.chunks_of.data() + 8 + 12 * k;
        uint32_t next = k + 1 < entries ? be32_at(e + 12) : chunks + 1;
        uint32_t per_chunk = be32_at(e + 4);
        for (uint32_t chunk = be32_at(e); chunk < next && result == 0; ++chunk) {
            int64_t pos = chunk_offset(&t, chunk - 1);
            for (uint32_t s = 0; s < per_chunk && result == 0; ++s) {
                uint32_t size = sample_size(&t, sample++);
                result = sample_add(pos, size, bounds, samples);
                pos += size;
            }
        }
    }
    return result;
}

// A track fragment's defaults, from its tfhd and the movie's trex.
struct FragmentTrack {
    uint32_t id;
    uint32_t flags;
    int64_t base;
    uint32_t default_size;
    uint32_t default_duration;
};

// What the fragments' runs give of the video track: its samples, where a
// list is kept, and its playing time in the track's ticks.
struct FragmentTake {
    std::vector<IsoSample>* samples;
    uint64_t ticks;
};

void fragment_header_read(const std::vector<uint8_t>& b, FragmentTrack* f) {
    f->flags = be32_at(b.data()) & 0xFFFFFF;
    f->id = be32_at(b.data() + 4);
    size_t at = 8;
    if ((f->flags & tfhd_base_offset) && b.size() >= at + 8) f->base = static_cast<int64_t>(be64_at(b.data() + at));
    at += (f->flags & tfhd_base_offset) ? 8 : 0;
    at += (f->flags & tfhd_description) ? 4 : 0;
    if ((f->flags & tfhd_duration) && b.size() >= at + 4) f->default_duration = be32_at(b.data() + at);
    at += (f->flags & tfhd_duration) ? 4 : 0;
    if ((f->flags & tfhd_size) && b.size() >= at + 4) f->default_size = be32_at(b.data() + at);
}

// One track run: its samples from `*data` on, which then points past them;
// the video's go to `take`, null for another track's.
int32_t run_samples(const std::vector<uint8_t>& b, const FragmentTrack* f, int64_t* data, int64_t file_size,
                    FragmentTake* take) {
    uint32_t flags = be32_at(b.data()) & 0xFFFFFF;
    uint32_t count = be32_at(b.data() + 4);
    size_t at = 8;
    if (flags & trun_data_offset) {
        if (b.size() < at + 4) return result_box_broken;
        *data = f->base + static_cast<int32_t>(be32_at(b.data() + at));
        at += 4;
    }
    at += (flags & trun_first_flags) ? 4 : 0;
    uint32_t fields[] = {trun_duration, trun_size, trun_flags, trun_time_offset};
    size_t entry = 0;
    for (uint32_t field : fields) entry += (flags & field) ? 4 : 0;
    if (at > b.size() || static_cast<uint64_t>(count) * entry > b.size() - at) return result_box_broken;
    size_t size_at = (flags & trun_duration) ? 4 : 0;
    std::vector<IsoSample>* samples = take != nullptr ? take->samples : nullptr;
    // A run of the video whose samples have no size anywhere cannot say
    // where they lie.
    if (samples != nullptr && count > 0 && !(flags & trun_size) && f->default_size == 0) {
        return result_samples_unaccounted;
    }
    SampleBounds bounds = {file_size, false, 0};
    for (uint32_t s = 0; s < count; ++s) {
        const uint8_t* e = b.data() + at + s * entry;
        if (take != nullptr) take->ticks += (flags & trun_duration) ? be32_at(e) : f->default_duration;
        uint32_t size = (flags & trun_size) ? be32_at(e + size_at) : f->default_size;
        int32_t result = sample_add(*data, size, &bounds, samples);
        if (result != 0) return result;
        *data += size;
    }
    return 0;
}

// One track fragment: the video track's runs go to the list; another
// track's are only followed to where its data ends, where the next
// fragment's data begins unless it says otherwise.
int32_t track_fragment_samples(BlockReader* r, const IsoBox* traf, const IsoBox* moof, const IsoMovie* movie,
                               int64_t* data_end, FragmentTake* take) {
    IsoBox child;
    std::vector<uint8_t> body;
    FragmentTrack f = {0, 0, *data_end, 0, 0};
    int64_t data = -1;
    int32_t result = 0;
    for (int64_t at = traf->body; at < traf->end && result == 0; at = child.end) {
        BoxRead read = box_read(r, at, traf->end, &child, &result);
        if (read == box_none) break;
        if (read == box_broken) return result != 0 ? result : result_box_broken;
        bool header = child.type == box_type("tfhd");
        bool run = child.type == box_type("trun");
        if (header || run) result = body_load(r, &child, 8, &body);
        if (result != 0) break;
        if (header) {
            f.default_size = movie->video.default_size;
            f.default_duration = movie->video.default_duration;
            fragment_header_read(body, &f);
            if (f.flags & tfhd_base_is_moof) f.base = moof->start;
        }
        if (run && data < 0) data = f.base;
        if (run) result = run_samples(body, &f, &data, r->size, f.id == movie->video.id ? take : nullptr);
        if (result == result_box_broken) reader_broken(r, child.start, result);
    }
    if (data >= 0) *data_end = data;
    return result;
}

// A movie fragment's runs of the video track.
int32_t fragment_samples(BlockReader* r, const IsoBox* moof, const IsoMovie* movie, FragmentTake* take) {
    IsoBox traf;
    int32_t result = 0;
    int64_t data_end = moof->start;  // the first fragment without a base of its own begins there
    for (int64_t pos = moof->body; pos < moof->end && result == 0; pos = traf.end) {
        BoxRead read = box_child_find(r, moof, pos, box_type("traf"), &traf, &result);
        if (read == box_none) break;
        if (read == box_broken) return result != 0 ? result : result_box_broken;
        result = track_fragment_samples(r, &traf, moof, movie, &data_end, take);
    }
    return result;
}

// Every movie fragment after the movie.
int32_t fragments_take(BlockReader* reader, const IsoMovie* movie, FragmentTake* take) {
    IsoBox box;
    int32_t result = 0;
    for (int64_t pos = movie->movie.end; movie->fragmented && pos < reader->size && result == 0; pos = box.end) {
        BoxRead read = box_read(reader, pos, reader->size, &box, &result);
        if (read == box_broken) return result != 0 ? result : result_box_broken;
        if (box.type == box_type("moof")) result = fragment_samples(reader, &box, movie, take);
    }
    return result;
}

// Whether a box after the movie runs past the end of the file: a download
// or a copy stopped before its end, whose samples there never came.
bool cut_after_movie(BlockReader* r, const IsoMovie* movie) {
    IsoBox box;
    int32_t result = 0;
    for (int64_t pos = movie->movie.end; pos < r->size; pos = box.end) {
        if (box_read(r, pos, r->size, &box, &result) == box_found) continue;
        return result == 0 && box_read(r, pos, INT64_MAX, &box, &result) == box_found;
    }
    return false;
}

}  // namespace

double iso_fragments_duration(BlockReader* reader, const IsoMovie* movie) {
    FragmentTake take = {nullptr, 0};
    uint32_t scale = movie->video.timescale;
    return fragments_take(reader, movie, &take) != 0 || scale == 0 ? 0 : static_cast<double>(take.ticks) / scale;
}

int32_t iso_samples_list(BlockReader* reader, const IsoMovie* movie, std::vector<IsoSample>* samples,
                         uint64_t* beyond) {
    samples->clear();
    SampleBounds bounds = {reader->size, cut_after_movie(reader, movie), 0};
    int32_t result = table_samples(reader, movie, samples, &bounds);
    *beyond = bounds.cut ? bounds.beyond : 0;
    FragmentTake take = {samples, 0};
    if (result == 0) result = fragments_take(reader, movie, &take);
    if (result == 0 && !std::is_sorted(samples->begin(), samples->end(), sample_before)) {
        std::sort(samples->begin(), samples->end(), sample_before);
    }
    return result;
}
