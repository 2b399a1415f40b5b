#include "preview/RgdReader.h"

#include "core/Cp1252.h"
#include "preview/ByteReader.h"
#include "preview/ChunkyReader.h"

#include <cstring>
#include <unordered_set>

namespace sga {

uint32_t rgdHash(std::string_view name) {
    const auto* k = reinterpret_cast<const uint8_t*>(name.data());
    uint32_t a = 0x9e3779b9, b = 0x9e3779b9, c = 0;
    auto mix = [&] {
        a -= b; a -= c; a ^= (c >> 13);
        b -= c; b -= a; b ^= (a << 8);
        c -= a; c -= b; c ^= (b >> 13);
        a -= b; a -= c; a ^= (c >> 12);
        b -= c; b -= a; b ^= (a << 16);
        c -= a; c -= b; c ^= (b >> 5);
        a -= b; a -= c; a ^= (c >> 3);
        b -= c; b -= a; b ^= (a << 10);
        c -= a; c -= b; c ^= (b >> 15);
    };
    size_t left = name.size();
    while (left >= 12) {
        a += readLe32(k);
        b += readLe32(k + 4);
        c += readLe32(k + 8);
        mix();
        k += 12;
        left -= 12;
    }
    c += static_cast<uint32_t>(name.size());
    // The tail: c's lowest byte holds the length, so its bytes start one higher.
    switch (left) {
    case 11: c += static_cast<uint32_t>(k[10]) << 24; [[fallthrough]];
    case 10: c += static_cast<uint32_t>(k[9]) << 16; [[fallthrough]];
    case 9: c += static_cast<uint32_t>(k[8]) << 8; [[fallthrough]];
    case 8: b += static_cast<uint32_t>(k[7]) << 24; [[fallthrough]];
    case 7: b += static_cast<uint32_t>(k[6]) << 16; [[fallthrough]];
    case 6: b += static_cast<uint32_t>(k[5]) << 8; [[fallthrough]];
    case 5: b += k[4]; [[fallthrough]];
    case 4: a += static_cast<uint32_t>(k[3]) << 24; [[fallthrough]];
    case 3: a += static_cast<uint32_t>(k[2]) << 16; [[fallthrough]];
    case 2: a += static_cast<uint32_t>(k[1]) << 8; [[fallthrough]];
    case 1: a += k[0]; [[fallthrough]];
    default: break;
    }
    mix();
    return c;
}

namespace {

std::string utf16ToUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit = bytes[i] | (bytes[i + 1] << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = bytes[i + 2] | (bytes[i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
    return out;
}

class TableReader {
public:
    // bytes: the whole file; secondGeneration: 16-byte descriptors.
    TableReader(std::span<const uint8_t> bytes, bool secondGeneration)
        : bytes_(bytes), wide_(secondGeneration), entryBudget_(bytes.size() / 4 + 1024) {}

    // Reads the table at start whose bytes end at end (file offsets).
    Status read(uint64_t start, uint64_t end, int depth, std::vector<RgdEntry>& out, RgdValue* table = nullptr) {
        if (depth > kMaxRgdDepth)
            return error(ErrorCode::BadField, "tables nested deeper than " + std::to_string(kMaxRgdDepth) + " levels",
                         start);
        if (end - start < 4) return error(ErrorCode::Truncated, "table entry count runs past the end", start);
        const uint32_t count = readLe32(bytes_.data() + start);
        const uint64_t descriptor = wide_ ? 16 : 12;
        if (count > (end - start - 4) / descriptor)
            return error(ErrorCode::Truncated,
                         "table of " + std::to_string(count) + " entries runs past the end", start);
        if (count > entryBudget_)
            return error(ErrorCode::BadField, "more table entries than the file can hold (tables shared too often)",
                         start);
        entryBudget_ -= count;
        const uint64_t dataArea = start + 4 + count * descriptor;
        if (table) {
            table->offset = start;
            table->size = dataArea - start;
        }
        out.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* d = bytes_.data() + start + 4 + i * descriptor;
            RgdEntry entry;
            entry.key = wide_ ? (static_cast<uint64_t>(readLe32(d + 4)) << 32 | readLe32(d)) : readLe32(d);
            const uint32_t type = readLe32(d + (wide_ ? 8 : 4));
            const uint64_t at = dataArea + readLe32(d + (wide_ ? 12 : 8));
            entry.value.type = type;
            if (Status s = readValue(entry.value, at, end, depth, start + 4 + i * descriptor); !s) return s;
            out.push_back(std::move(entry));
        }
        return {};
    }

private:
    Status error(ErrorCode code, const std::string& what, uint64_t offset) const {
        return Status::error(code, "RGD: " + what + " at offset " + std::to_string(offset));
    }

    Status readValue(RgdValue& value, uint64_t at, uint64_t end, int depth, uint64_t descriptorAt) {
        const auto need = [&](uint64_t size, const char* what) -> Status {
            if (at > end || size > end - at)
                return error(ErrorCode::Truncated,
                             std::string(what) + " value at offset " + std::to_string(at) + " runs past its table,",
                             descriptorAt);
            return {};
        };
        switch (static_cast<RgdType>(value.type)) {
        case RgdType::Float:
            if (Status s = need(4, "float"); !s) return s;
            {
                const uint32_t bits = readLe32(bytes_.data() + at);
                std::memcpy(&value.number, &bits, 4);
            }
            value.offset = at;
            value.size = 4;
            return {};
        case RgdType::Integer:
            if (Status s = need(4, "integer"); !s) return s;
            value.integer = static_cast<int32_t>(readLe32(bytes_.data() + at));
            value.offset = at;
            value.size = 4;
            return {};
        case RgdType::Boolean:
            if (Status s = need(1, "boolean"); !s) return s;
            value.boolean = bytes_[at] != 0;
            value.offset = at;
            value.size = 1;
            return {};
        case RgdType::String: {
            if (Status s = need(1, "string"); !s) return s;
            const uint8_t* begin = bytes_.data() + at;
            const void* nul = std::memchr(begin, 0, end - at);
            if (!nul) return error(ErrorCode::Truncated, "string without its NUL", at);
            const std::string_view raw(reinterpret_cast<const char*>(begin), static_cast<const uint8_t*>(nul) - begin);
            value.text = wide_ ? std::string(raw) : cp1252ToUtf8(raw);
            value.offset = at;
            value.size = raw.size() + 1;
            return {};
        }
        case RgdType::WideString: {
            if (Status s = need(2, "wide string"); !s) return s;
            uint64_t stop = at;
            while (stop + 1 < end && (bytes_[stop] | bytes_[stop + 1]) != 0) stop += 2;
            if (stop + 1 >= end) return error(ErrorCode::Truncated, "wide string without its NUL", at);
            value.text = utf16ToUtf8(bytes_.subspan(at, stop - at));
            value.offset = at;
            value.size = stop - at + 2;
            return {};
        }
        case RgdType::Table:
        case RgdType::List:
            if (Status s = need(4, "table"); !s) return s;
            return read(at, end, depth + 1, value.entries, &value);
        default:
            return {};   // no data, or a type shown by its number
        }
    }

    std::span<const uint8_t> bytes_;
    bool wide_;
    uint64_t entryBudget_;
};

Status readKeys(std::span<const uint8_t> file, const ChunkyChunk& chunk, RgdFile& out) {
    ByteReader r(chunkData(file, chunk), "RGD: DATAKEYS at offset " + std::to_string(chunk.offset));
    uint32_t count = 0;
    if (!r.u32(count, "key count")) return r.error();
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t key = 0;
        uint32_t length = 0;
        std::span<const uint8_t> name;
        if (!r.u64(key, "key") || !r.u32(length, "name length") || !r.bytes(name, length, "name")) return r.error();
        out.keyNames.emplace(key, std::string(name.begin(), name.end()));   // the first name wins
    }
    return {};
}

} // namespace

Expected<RgdFile> readRgd(std::span<const uint8_t> bytes) {
    auto chunky = readChunky(bytes);
    if (!chunky) return Status::error(chunky.status().code(), "RGD: " + chunky.message());
    RgdFile file;
    const auto keys = findChunks(chunky->chunks, "DATAKEYS");
    file.secondGeneration = !keys.empty();
    for (const ChunkyChunk* chunk : keys)
        if (Status s = readKeys(bytes, *chunk, file); !s) return s;
    const auto tables = findChunks(chunky->chunks, "DATAAEGD");
    if (tables.empty()) return Status::error(ErrorCode::BadField, "RGD: no DATAAEGD chunk");
    TableReader reader(bytes, file.secondGeneration);
    for (const ChunkyChunk* chunk : tables) {
        uint64_t start = chunk->dataOffset;
        uint64_t end = chunk->dataOffset + chunk->size;
        if (file.secondGeneration) {
            start += 4;   // a u32 of unknown meaning
        } else {
            if (chunk->size < 8)
                return Status::error(ErrorCode::Truncated, "RGD: DATAAEGD at offset " + std::to_string(chunk->offset) +
                                                               " is too short for its CRC and table size");
            const uint32_t size = readLe32(bytes.data() + start + 4);
            start += 8;
            if (size > end - start)
                return Status::error(ErrorCode::Truncated, "RGD: table size " + std::to_string(size) + " at offset " +
                                                               std::to_string(start - 4) + " runs past its chunk");
            end = start + size;
        }
        if (start > end)
            return Status::error(ErrorCode::Truncated,
                                 "RGD: DATAAEGD at offset " + std::to_string(chunk->offset) + " is too short");
        if (Status s = reader.read(start, end, 1, file.entries); !s) return s;
    }
    return file;
}

} // namespace sga
