#include "extract/PackCompress.h"

#include "core/Cp1252.h"
#include "extract/PackTree.h"

#include <algorithm>
#include <brotli/encode.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

namespace sga::pack {
namespace {

constexpr size_t kChunk = size_t{1} << 20;

std::string systemError() { return std::strerror(errno); }

std::string extensionOf(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : lowerCp1252(std::string(name.substr(dot + 1)));
}

bool isText(std::string_view name) {
    static constexpr std::string_view kText[] = {
        "lua", "ucs", "txt", "ai", "scar", "events", "ship", "wepn", "subs", "resource", "madstate",
        "miss", "level", "xml", "ini", "cfg", "csv", "htm", "html", "json", "inf", "con"};
    const std::string ext = extensionOf(name);
    return std::find(std::begin(kText), std::end(kText), ext) != std::end(kText);
}

int brotliQuality(int level) { return std::clamp(level - 1, 0, 11); }
// The smallest window that holds the whole file (10 to 24 bits).
int brotliWindow(uint64_t size) {
    int bits = 10;
    while (bits < 24 && (uint64_t{1} << bits) - 16 < size) ++bits;
    return bits;
}

struct DigestDeleter {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

// CRC-32 and per-block hashes of stored bytes handed over in pieces.
class StoredHasher {
public:
    StoredHasher(PackVerification kind, uint32_t blockSize) : kind_(kind), blockSize_(blockSize) {}

    bool feed(const uint8_t* data, size_t size) {
        crc_ = static_cast<uint32_t>(libdeflate_crc32(crc_, data, size));
        if (hashBytes(kind_) == 0) return true;
        while (size > 0) {
            if (!open_ && !startBlock()) return false;
            const size_t n = std::min<size_t>(blockSize_ - filled_, size);
            if (kind_ == PackVerification::BlockCrc) blockCrc_ = static_cast<uint32_t>(libdeflate_crc32(blockCrc_, data, n));
            else if (EVP_DigestUpdate(digest_.get(), data, n) != 1) return false;
            filled_ += n;
            data += n;
            size -= n;
            if (filled_ == blockSize_ && !endBlock()) return false;
        }
        return true;
    }
    bool finish() { return !open_ || endBlock(); }
    uint32_t crc() const { return crc_; }
    std::vector<uint8_t>& hashes() { return hashes_; }

private:
    bool startBlock() {
        open_ = true;
        filled_ = 0;
        blockCrc_ = 0;
        if (kind_ == PackVerification::BlockCrc) return true;
        if (!digest_) digest_.reset(EVP_MD_CTX_new());
        const EVP_MD* md = kind_ == PackVerification::BlockMd5 ? EVP_md5() : EVP_sha1();
        return digest_ && EVP_DigestInit_ex(digest_.get(), md, nullptr) == 1;
    }
    bool endBlock() {
        open_ = false;
        if (kind_ == PackVerification::BlockCrc) {
            for (int i = 0; i < 4; ++i) hashes_.push_back(static_cast<uint8_t>(blockCrc_ >> (8 * i)));
            return true;
        }
        uint8_t digest[EVP_MAX_MD_SIZE] = {};
        unsigned length = 0;
        if (EVP_DigestFinal_ex(digest_.get(), digest, &length) != 1) return false;
        hashes_.insert(hashes_.end(), digest, digest + length);
        return true;
    }

    PackVerification kind_;
    size_t blockSize_;
    std::unique_ptr<EVP_MD_CTX, DigestDeleter> digest_;
    bool open_ = false;
    size_t filled_ = 0;
    uint32_t crc_ = 0;
    uint32_t blockCrc_ = 0;
    std::vector<uint8_t> hashes_;
};

class InputFile {
public:
    explicit InputFile(const std::filesystem::path& path) : path_(path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) error_ = cannotRead();
    }
    ~InputFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& error() const { return error_; }
    // Up to size bytes; 0 at the end; -1 on an error (then error()).
    ssize_t read(uint8_t* data, size_t size) {
        size_t got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd_, data + got, size - got);
            if (n < 0) {
                if (errno == EINTR) continue;
                error_ = cannotRead();
                return -1;
            }
            if (n == 0) break;
            got += static_cast<size_t>(n);
        }
        return static_cast<ssize_t>(got);
    }
    bool rewind() { return ::lseek(fd_, 0, SEEK_SET) == 0; }
    std::string changed() const { return "\"" + path_.string() + "\": it changed while being packed"; }

private:
    std::string cannotRead() const { return "\"" + path_.string() + "\": cannot read it: " + systemError(); }

    std::filesystem::path path_;
    int fd_ = -1;
    std::string error_;
};

struct BrotliDeleter {
    void operator()(BrotliEncoderState* s) const { BrotliEncoderDestroyInstance(s); }
};

// One compressor stream, fed in pieces; output goes to emit.
class StreamEncoder {
public:
    StreamEncoder(const CompressSettings& s, uint64_t size) : brotli_(s.codec == PackStorage::Brotli) {
        if (brotli_) {
            br_.reset(BrotliEncoderCreateInstance(nullptr, nullptr, nullptr));
            ok_ = br_ && BrotliEncoderSetParameter(br_.get(), BROTLI_PARAM_QUALITY, static_cast<uint32_t>(brotliQuality(s.level))) &&
                  BrotliEncoderSetParameter(br_.get(), BROTLI_PARAM_LGWIN, static_cast<uint32_t>(std::min(22, brotliWindow(size)))) &&
                  BrotliEncoderSetParameter(br_.get(), BROTLI_PARAM_SIZE_HINT,
                                            static_cast<uint32_t>(std::min<uint64_t>(size, 1u << 30)));
        } else {
            std::memset(&z_, 0, sizeof z_);
            ok_ = deflateInit(&z_, std::min(s.level, 9)) == Z_OK;
            zOpen_ = ok_;
        }
        out_.resize(kChunk);
    }
    ~StreamEncoder() {
        if (zOpen_) deflateEnd(&z_);
    }
    StreamEncoder(const StreamEncoder&) = delete;
    StreamEncoder& operator=(const StreamEncoder&) = delete;
    bool ok() const { return ok_; }

    // Feeds data (finishing the stream when last); false when the encoder fails
    // or emit does.
    template <class Emit>
    bool feed(const uint8_t* data, size_t size, bool last, Emit&& emit) {
        if (brotli_) {
            size_t availIn = size;
            const uint8_t* nextIn = data;
            const BrotliEncoderOperation op = last ? BROTLI_OPERATION_FINISH : BROTLI_OPERATION_PROCESS;
            while (true) {
                size_t availOut = out_.size();
                uint8_t* nextOut = out_.data();
                if (!BrotliEncoderCompressStream(br_.get(), op, &availIn, &nextIn, &availOut, &nextOut, nullptr))
                    return false;
                if (availOut != out_.size() && !emit(out_.data(), out_.size() - availOut)) return false;
                if (availIn == 0 && !BrotliEncoderHasMoreOutput(br_.get()) && (!last || BrotliEncoderIsFinished(br_.get())))
                    return true;
            }
        }
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = static_cast<uInt>(size);
        while (true) {
            z_.next_out = out_.data();
            z_.avail_out = static_cast<uInt>(out_.size());
            const int r = deflate(&z_, last ? Z_FINISH : Z_NO_FLUSH);
            if (r == Z_STREAM_ERROR) return false;
            const size_t n = out_.size() - z_.avail_out;
            if (n != 0 && !emit(out_.data(), n)) return false;
            if (last ? r == Z_STREAM_END : (z_.avail_in == 0 && z_.avail_out != 0)) return true;
        }
    }

private:
    bool brotli_;
    bool ok_ = false;
    bool zOpen_ = false;
    z_stream z_{};
    std::unique_ptr<BrotliEncoderState, BrotliDeleter> br_;
    std::vector<uint8_t> out_;
};

bool finishHashes(StoredHasher& hasher, PackedFile& out) {
    if (!hasher.finish()) return false;
    out.storedCrc = hasher.crc();
    out.hashes = std::move(hasher.hashes());
    return true;
}

} // namespace

uint8_t chooseStorage(std::string_view storedName, uint64_t size, PackStorage codec) {
    if (size <= kStoredUpTo) return 0;
    const uint8_t base = codec == PackStorage::Brotli ? 3 : 1;
    return static_cast<uint8_t>(base + (size <= kWholeUpTo && isText(storedName) ? 1 : 0));
}

uint64_t wholeCost(uint64_t size, const CompressSettings& settings) {
    // The bytes read and the compressed copy; Brotli's tables grow with the
    // window, which fits the file (up to 8 bytes per window byte at the
    // higher qualities).
    uint64_t cost = 2 * size;
    if (settings.codec == PackStorage::Brotli && size > kStoredUpTo)
        cost += (uint64_t{8} << brotliWindow(size)) + (uint64_t{1} << 20);
    return cost;
}

WholeCompressor::WholeCompressor(int level) : zlib_(libdeflate_alloc_compressor(std::clamp(level, 1, 12))) {}
WholeCompressor::~WholeCompressor() { libdeflate_free_compressor(zlib_); }

void WholeCompressor::pack(const std::filesystem::path& path, std::string_view storedName, uint64_t expectedSize,
                           const CompressSettings& settings, PackedFile& out) {
    out = PackedFile{};
    InputFile in(path);
    if (!in.error().empty()) {
        out.error = in.error();
        return;
    }
    // One byte more than expected shows a file that grew since the scan.
    std::vector<uint8_t> raw(static_cast<size_t>(expectedSize) + 1);
    const ssize_t got = in.read(raw.data(), raw.size());
    if (got < 0) {
        out.error = in.error();
        return;
    }
    if (static_cast<uint64_t>(got) != expectedSize) {
        out.error = in.changed();
        return;
    }
    raw.resize(static_cast<size_t>(got));
    out.size = raw.size();
    out.crcOfBytes = static_cast<uint32_t>(libdeflate_crc32(0, raw.data(), raw.size()));
    out.storage = chooseStorage(storedName, raw.size(), settings.codec);
    if (out.storage != 0) {
        // Room for one byte less than the file: what does not shrink it is stored.
        out.bytes.resize(raw.size() - 1);
        size_t n = 0;
        if (settings.codec == PackStorage::Brotli) {
            n = out.bytes.size();
            if (!BrotliEncoderCompress(brotliQuality(settings.level), brotliWindow(raw.size()), BROTLI_MODE_GENERIC,
                                       raw.size(), raw.data(), &n, out.bytes.data()))
                n = 0;
        } else {
            n = libdeflate_zlib_compress(zlib_, raw.data(), raw.size(), out.bytes.data(), out.bytes.size());
        }
        if (n != 0) {
            out.bytes.resize(n);
            out.bytes.shrink_to_fit();
        } else {
            out.storage = 0;
        }
    }
    if (out.storage == 0) out.bytes.swap(raw);
    out.storedSize = out.bytes.size();
    StoredHasher hasher(settings.verification, settings.hashBlockSize);
    if (!hasher.feed(out.bytes.data(), out.bytes.size()) || !finishHashes(hasher, out))
        out.error = "cannot compute a block hash";
}

Status packStreamed(const std::filesystem::path& path, uint64_t expectedSize, const CompressSettings& settings,
                    const StoredSink& sink, const std::function<bool()>& stopRequested, PackedFile& out) {
    out = PackedFile{};
    out.size = expectedSize;
    InputFile in(path);
    if (!in.error().empty()) return Status::error(ErrorCode::CannotOpen, in.error());
    std::vector<uint8_t> chunk(kChunk);
    StoredHasher hasher(settings.verification, settings.hashBlockSize);
    Status failed;
    uint64_t written = 0;
    auto emit = [&](const uint8_t* data, size_t size) {
        // A stream that reaches the file's size is dropped for the bytes as they are.
        if (written + size >= expectedSize) {
            written += size;
            return false;
        }
        if (!hasher.feed(data, size)) {
            failed = Status::error("cannot compute a block hash");
            return false;
        }
        failed = sink(data, size, written);
        written += size;
        return failed.ok();
    };
    const auto stopped = [] { return Status::error("stopped before all files were packed"); };

    uint64_t read = 0;
    uint32_t crc = 0;
    bool compressed = true;
    {
        StreamEncoder encoder(settings, expectedSize);
        if (!encoder.ok()) return Status::error(ErrorCode::NoMemory, "not enough memory for the compressor");
        while (true) {
            if (stopRequested()) return stopped();
            const ssize_t n = in.read(chunk.data(), chunk.size());
            if (n < 0) return Status::error(ErrorCode::CannotOpen, in.error());
            read += static_cast<uint64_t>(n);
            if (read > expectedSize) return Status::error(ErrorCode::Failed, in.changed());
            crc = static_cast<uint32_t>(libdeflate_crc32(crc, chunk.data(), static_cast<size_t>(n)));
            const bool last = read == expectedSize || n == 0;
            if (!encoder.feed(chunk.data(), static_cast<size_t>(n), last, emit)) {
                if (!failed.ok()) return failed;
                if (written < expectedSize) return Status::error(ErrorCode::NoMemory, "the compressor failed");
                compressed = false;
                break;
            }
            if (last) break;
        }
        if (compressed && read != expectedSize) return Status::error(ErrorCode::Failed, in.changed());
    }
    out.crcOfBytes = crc;
    if (compressed) {
        out.storage = settings.codec == PackStorage::Brotli ? 3 : 1;
        out.storedSize = written;
        if (!finishHashes(hasher, out)) return Status::error("cannot compute a block hash");
        return {};
    }

    // The bytes as they are, read again.
    if (!in.rewind()) return Status::error(ErrorCode::CannotOpen, "\"" + path.string() + "\": cannot read it again");
    StoredHasher plain(settings.verification, settings.hashBlockSize);
    uint64_t at = 0;
    uint32_t again = 0;
    while (at < expectedSize) {
        if (stopRequested()) return stopped();
        const ssize_t n = in.read(chunk.data(), static_cast<size_t>(std::min<uint64_t>(chunk.size(), expectedSize - at)));
        if (n < 0) return Status::error(ErrorCode::CannotOpen, in.error());
        if (n == 0) return Status::error(ErrorCode::Failed, in.changed());
        again = static_cast<uint32_t>(libdeflate_crc32(again, chunk.data(), static_cast<size_t>(n)));
        if (!plain.feed(chunk.data(), static_cast<size_t>(n))) return Status::error("cannot compute a block hash");
        if (Status s = sink(chunk.data(), static_cast<size_t>(n), at); !s.ok()) return s;
        at += static_cast<uint64_t>(n);
    }
    if (again != crc) return Status::error(ErrorCode::Failed, in.changed());
    out.storage = 0;
    out.storedSize = expectedSize;
    if (!finishHashes(plain, out)) return Status::error("cannot compute a block hash");
    return {};
}

} // namespace sga::pack
