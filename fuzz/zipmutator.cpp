// Mutations inside a workbook's parts. Changing the zip bytes themselves mostly breaks a
// checksum, so the XML behind it would hardly be reached; most mutations here unpack the
// package, let libFuzzer change one part and pack it again.

#include <QByteArray>
#include <QString>
#include <cstring>
#include <random>
#include <vector>
#include <zip.h>

extern "C" size_t LLVMFuzzerMutate(unsigned char* data, size_t size, size_t maxSize);

namespace {

struct Part {
    QByteArray name;
    QByteArray data;
};

bool unpack(const unsigned char* data, size_t size, std::vector<Part>& parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* src = zip_source_buffer_create(data, size, 0, &error);
    if (!src)
        return false;
    zip_t* z = zip_open_from_source(src, ZIP_RDONLY, &error);
    if (!z) {
        zip_source_free(src);
        return false;
    }
    bool ok = true;
    const zip_int64_t n = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; ok && i < n && i < 64; ++i) {
        zip_stat_t st;
        if (zip_stat_index(z, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
            st.size > (1u << 22)) {
            ok = false;
            break;
        }
        Part part{QByteArray(st.name), QByteArray(qsizetype(st.size), '\0')};
        zip_file_t* f = zip_fopen_index(z, zip_uint64_t(i), 0);
        ok = f && zip_fread(f, part.data.data(), st.size) == zip_int64_t(st.size);
        if (f)
            zip_fclose(f);
        parts.push_back(std::move(part));
    }
    zip_discard(z);
    return ok && !parts.empty();
}

// The package in memory; parts stored uncompressed, which keeps packing cheap.
QByteArray pack(const std::vector<Part>& parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!out)
        return {};
    zip_t* z = zip_open_from_source(out, ZIP_TRUNCATE, &error);
    if (!z) {
        zip_source_free(out);
        return {};
    }
    zip_source_keep(out);
    for (const Part& p : parts) {
        zip_source_t* s = zip_source_buffer(z, p.data.constData(), zip_uint64_t(p.data.size()), 0);
        const zip_int64_t index = s ? zip_file_add(z, p.name.constData(), s, ZIP_FL_OVERWRITE) : -1;
        if (index < 0) {
            zip_source_free(s);
            continue;
        }
        zip_set_file_compression(z, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    QByteArray packed;
    if (zip_close(z) != 0) {
        zip_discard(z);
    } else if (zip_source_open(out) == 0) {
        char buffer[65536];
        zip_int64_t n;
        while ((n = zip_source_read(out, buffer, sizeof buffer)) > 0)
            packed.append(buffer, qsizetype(n));
        zip_source_close(out);
    }
    zip_source_free(out);
    return packed;
}

} // namespace

extern "C" size_t LLVMFuzzerCustomMutator(unsigned char* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
    std::minstd_rand random(seed);
    std::vector<Part> parts;
    // One time in five the raw bytes, as a damaged file would be.
    if (random() % 5 == 0 || !unpack(data, size, parts))
        return LLVMFuzzerMutate(data, size, maxSize);
    Part& part = parts[random() % parts.size()];
    const size_t room = size_t(part.data.size()) + 256;
    part.data.resize(qsizetype(room));
    const size_t newSize =
        LLVMFuzzerMutate(reinterpret_cast<unsigned char*>(part.data.data()), room - 256, room);
    part.data.resize(qsizetype(newSize));
    const QByteArray packed = pack(parts);
    if (packed.isEmpty() || size_t(packed.size()) > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, packed.constData(), size_t(packed.size()));
    return size_t(packed.size());
}
