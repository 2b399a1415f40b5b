#pragma once
// First-generation RGD files built in code for the tests.

#include "preview/tests/ChunkyBuilder.h"

#include <cstring>
#include <vector>

namespace sga::test {

struct TestValue {
    uint64_t key;
    uint32_t type;
    std::vector<uint8_t> data;          // the value's bytes for leaves
    std::vector<TestValue> children;    // tables and lists
};

// Count, descriptors, then the data area holding each value (nested tables inline).
inline std::vector<uint8_t> tableBytes(const std::vector<TestValue>& entries, bool wide) {
    std::vector<uint8_t> head, area;
    appendLe32(head, static_cast<uint32_t>(entries.size()));
    for (const TestValue& e : entries) {
        appendLe32(head, static_cast<uint32_t>(e.key));
        if (wide) appendLe32(head, static_cast<uint32_t>(e.key >> 32));
        appendLe32(head, e.type);
        appendLe32(head, static_cast<uint32_t>(area.size()));
        const auto bytes = e.type == 100 || e.type == 101 ? tableBytes(e.children, wide) : e.data;
        area.insert(area.end(), bytes.begin(), bytes.end());
    }
    head.insert(head.end(), area.begin(), area.end());
    return head;
}

inline std::vector<uint8_t> firstGeneration(const std::vector<TestValue>& entries) {
    const auto table = tableBytes(entries, false);
    std::vector<uint8_t> payload;
    appendLe32(payload, 0x12345678);   // CRC, not checked
    appendLe32(payload, static_cast<uint32_t>(table.size()));
    payload.insert(payload.end(), table.begin(), table.end());
    return chunkyFile(1, {TestChunk{"FOLDAEGD", 1, "", {}, {TestChunk{"DATAAEGD", 1, "", payload, {}}}}});
}

inline std::vector<uint8_t> f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    std::vector<uint8_t> out;
    appendLe32(out, bits);
    return out;
}

} // namespace sga::test
