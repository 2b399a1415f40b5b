#pragma once
// Packing, the compression half: one file read and made ready for the
// archive, whole in memory when it is small, as a stream in chunks when it is
// large, with the CRC-32 of its bytes, the CRC-32 of its stored bytes and the
// per-block hashes of them.

#include "core/Status.h"
#include "extract/PackFormat.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct libdeflate_compressor;

namespace sga::pack {

// Files up to this size are read and compressed whole, by any worker; larger
// ones are streamed into the archive in chunks by the writer.
inline constexpr uint64_t kWholeUpTo = uint64_t{4} << 20;
// Files of this size or less are stored.
inline constexpr uint64_t kStoredUpTo = 100;

struct CompressSettings {
    PackStorage codec = PackStorage::Zlib;
    int level = 9;                                   // 1 to 12 (Brotli quality level - 1)
    PackVerification verification = PackVerification::None;
    uint32_t hashBlockSize = 32768;
};

// How a file of this name and size is kept when read whole: 0 stored,
// 1 or 3 a stream, 2 or 4 a buffer (text), by the codec's numbers.
uint8_t chooseStorage(std::string_view storedName, uint64_t size, PackStorage codec);

// Bytes a whole file's preparation holds at its peak (read, compressed,
// the Brotli encoder's tables), for the budget of files in flight.
uint64_t wholeCost(uint64_t size, const CompressSettings& settings);

struct PackedFile {
    std::vector<uint8_t> bytes;       // the stored bytes (whole files only)
    uint8_t storage = 0;
    uint64_t storedSize = 0;
    uint64_t size = 0;
    uint32_t crcOfBytes = 0;
    uint32_t storedCrc = 0;
    std::vector<uint8_t> hashes;      // per block of the stored bytes, when the kind has them
    std::string error;                // UTF-8; the run fails with it
};

// The zlib compressor a worker keeps for its whole files.
class WholeCompressor {
public:
    explicit WholeCompressor(int level);
    ~WholeCompressor();
    WholeCompressor(const WholeCompressor&) = delete;
    WholeCompressor& operator=(const WholeCompressor&) = delete;
    bool ok() const { return zlib_ != nullptr; }
    // Reads path (which must hold exactly expectedSize bytes) and fills out.
    void pack(const std::filesystem::path& path, std::string_view storedName, uint64_t expectedSize,
              const CompressSettings& settings, PackedFile& out);

private:
    ::libdeflate_compressor* zlib_ = nullptr;
};

// Writes stored bytes at an offset from the start of the file's data.
using StoredSink = std::function<Status(const uint8_t* data, size_t size, uint64_t at)>;

// Streams path into sink in chunks (a zlib or Brotli stream, or the bytes as
// they are when that is not smaller); out gets everything but bytes.
// stopRequested is asked between chunks.
Status packStreamed(const std::filesystem::path& path, uint64_t expectedSize, const CompressSettings& settings,
                    const StoredSink& sink, const std::function<bool()>& stopRequested, PackedFile& out);

} // namespace sga::pack
