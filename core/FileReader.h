#pragma once
// A bounded, buffered reader over a file's bytes. Every read either delivers
// all the bytes asked for or fails: running past the end is an error, never a
// silent zero.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sga {

class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Opens a regular file for reading; on failure returns false and sets error().
    bool open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    int64_t size() const { return size_; }
    int64_t tell() const { return pos_; }
    int64_t remaining() const { return size_ - pos_; }
    bool atEnd() const { return pos_ >= size_; }
    bool seek(int64_t offset);

    // Reads exactly n bytes; false (nothing consumed) when fewer are left or
    // the system reports an error.
    bool read(void* out, size_t n);
    bool readByte(uint8_t& out);
    const std::string& error() const { return error_; }

private:
    bool fill();

    int fd_ = -1;
    int64_t size_ = 0;
    int64_t pos_ = 0;            // logical position
    std::vector<uint8_t> buffer_;
    int64_t bufferStart_ = 0;    // file offset of buffer_[0]
    size_t bufferLength_ = 0;
    std::string error_;
};

} // namespace sga
