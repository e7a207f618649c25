#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/data_file.h"

// Little-endian primitives of the data file: counts, the prefixed strings and
// fixed-size values, read from a bounded byte source and written to a buffer.
namespace plm::model {

class ArchiveReader {
  public:
    virtual ~ArchiveReader() = default;

    // Bytes not yet consumed. Every length or count read from the data is
    // checked against this before anything is sized from it.
    uint64_t bytesLeft() const { return total_ - consumed_; }
    uint64_t offset() const { return consumed_; }

    // The reads below take what the buffer holds in place and leave
    // anything that needs a refill, a long form or a check that can fail
    // to the out-of-line path, so a large file is not read one call a value.
    void read(void* out, size_t n) {
        if (n > buffered())
            return readAcross(out, n);
        if (n == 0)
            return;  // an empty array has no memory to copy to
        std::memcpy(out, pos_, n);
        advance(n);
    }
    uint8_t u8() {
        uint8_t v;
        read(&v, 1);
        return v;
    }
    uint16_t u16() { return value<uint16_t>(); }
    uint32_t u32() { return value<uint32_t>(); }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    double f64() { return value<double>(); }

    // uint16, or 0xFFFF followed by a uint32.
    uint32_t count();
    // A prefixed CP932 string; the wide (UTF-16LE) form is converted to CP932.
    std::string string() {
        const size_t length = bufferedShortString();
        if (length == kNotBuffered)
            return stringAcross();
        std::string s(reinterpret_cast<const char*>(pos_ + 1), length);
        advance(1 + length);
        return s;
    }
    // n bytes into out (resized after the bound check).
    void bytes(std::vector<uint8_t>& out, uint64_t n);

    // Passing over data that is not wanted: the same checks and the same
    // failures at the same offsets as reading it, without keeping anything.
    void skip(uint64_t n) {
        if (n > buffered())
            return skipAcross(n);
        advance(static_cast<size_t>(n));
    }
    void skipBytes(uint64_t n);  // as bytes()
    void skipString() {          // as string()
        const size_t length = bufferedShortString();
        if (length == kNotBuffered)
            return skip(checkedStringBytes());
        advance(1 + length);
    }

    // Reads again from the first byte.
    void rewind() {
        restart();
        consumed_ = 0;
    }

    // Throws ArchiveError unless `need` more bytes can follow.
    void require(uint64_t need, const char* what) const;
    // Throws ArchiveError when any byte follows `what`: a file that goes on
    // after its content is damaged, and a save would drop those bytes.
    void requireEnd(const char* what) const;

  protected:
    explicit ArchiveReader(uint64_t total) : total_(total) {}
    // Refills [pos_, end_) with the next bytes; returns false at the end.
    virtual bool refill() = 0;
    // Makes the next bytes those from the first one.
    virtual void restart() = 0;

    const uint8_t* pos_ = nullptr;
    const uint8_t* end_ = nullptr;

  private:
    static constexpr size_t kNotBuffered = SIZE_MAX;

    size_t buffered() const { return static_cast<size_t>(end_ - pos_); }
    void advance(size_t n) {
        pos_ += n;
        consumed_ += n;
    }
    template <class T>
    T value() {
        T v;
        read(&v, sizeof v);
        return v;
    }
    // The length of a string with a one-byte length that the buffer holds
    // whole and that passes string()'s check, else kNotBuffered.
    size_t bufferedShortString() const {
        if (pos_ == end_ || *pos_ == 0xFF)
            return kNotBuffered;
        const size_t length = *pos_;
        return length < buffered() && length < bytesLeft() ? length : kNotBuffered;
    }
    void readAcross(void* out, size_t n);
    void skipAcross(uint64_t n);
    std::string stringAcross();
    [[noreturn]] void endOfData() const;
    uint32_t stringLength(bool allowWide, bool& wide);
    // The bytes of the string that follows, with the check string() makes.
    uint64_t checkedStringBytes();

    uint64_t total_;
    uint64_t consumed_ = 0;
};

// Reads from bytes held in memory.
class MemoryReader : public ArchiveReader {
  public:
    explicit MemoryReader(std::string_view bytes);

  protected:
    bool refill() override { return false; }
    void restart() override;

  private:
    std::string_view bytes_;
};

// Reads from an open file through a buffer, 4096 bytes unless told.
class FdReader : public ArchiveReader {
  public:
    FdReader(int fd, uint64_t size, size_t bufferSize = 4096)
        : ArchiveReader(size), fd_(fd), buffer_(bufferSize) {}

    // Called with the bytes read so far whenever the buffer is refilled.
    void onRefill(std::function<void(uint64_t)> progress) { progress_ = std::move(progress); }

  protected:
    bool refill() override;
    void restart() override;

  private:
    int fd_;
    std::vector<uint8_t> buffer_;
    std::function<void(uint64_t)> progress_;
};

// Appends to a string, or with no string only counts the bytes (so the
// output can be sized once instead of growing by doubling). With a flush
// function the string is a buffer handed on whenever it holds 64 KiB.
class ArchiveWriter {
  public:
    using Flush = std::function<void(const char* data, size_t size)>;

    explicit ArchiveWriter(std::string* out, Flush flush = {})
        : out_(out), flush_(std::move(flush)) {}

    void raw(const void* data, size_t n) {
        size_ += n;
        if (!out_)
            return;
        out_->append(static_cast<const char*>(data), n);
        if (flush_ && out_->size() >= kChunk)
            finish();
    }
    // Hands on what the buffer still holds.
    void finish() {
        if (!flush_ || out_->empty())
            return;
        flush_(out_->data(), out_->size());
        out_->clear();
    }
    void u8(uint8_t v) { raw(&v, 1); }
    void u16(uint16_t v);
    void u32(uint32_t v);
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f64(double v);
    void count(uint64_t n);
    void string(std::string_view s);

    size_t size() const { return size_; }

  private:
    static constexpr size_t kChunk = 64 * 1024;
    std::string* out_;
    Flush flush_;
    size_t size_ = 0;
};

class NameJoins;

// The format itself, over the primitives above. Children of one parent that
// count as the same name are joined (see name_join.h) and noted in `joins`.
ReadStatus readDataFile(ArchiveReader& in, CustomerTree& tree, NameJoins& joins);
ReadStatus readDataFile(ArchiveReader& in, CustomerTree& tree);
void writeDataFile(const CustomerTree& tree, ArchiveWriter& out);

// Pieces of the format shared by the full read and the scan.
inline constexpr uint64_t kMinNamedBlock = 1 + 2;  // empty name, count 0
// The fewest bytes a record of this version takes.
uint64_t minRecordBytes(int32_t version);
// A count from the file, checked against the bytes left for that many blocks.
uint32_t checkedCount(ArchiveReader& in, uint64_t minBlock, const char* what);
// Which parts of a record readRecord keeps; the others are passed over
// (and stay as the record had them), checked as skipRecord checks them.
// The stored device type gives way to `devType`, the configured one.
enum class RecordParts { Whole, WithoutSamples, HeaderOnly };
void readRecord(ArchiveReader& in, int32_t version, MeasurementRecord& r, int32_t devType,
                RecordParts parts = RecordParts::Whole);
// readRecord in two steps, for a reader that wants the samples only of the
// records whose header and conditions it picks: the samples' count and bytes
// (into `samples`), then everything after them (the contacts left as they are).
void readRecordSamples(ArchiveReader& in, std::vector<uint8_t>& samples);
void readRecordAfterSamples(ArchiveReader& in, int32_t version, MeasurementRecord& r,
                            int32_t devType, RecordParts parts = RecordParts::Whole);
void skipRecord(ArchiveReader& in, int32_t version);
// The signature and version: Ok, or why the file is not read further.
ReadStatus readPreamble(ArchiveReader& in, int32_t& version);
void readLineSettings(ArchiveReader& in, LineSettings& line);

}  // namespace plm::model
