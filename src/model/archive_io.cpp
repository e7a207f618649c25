#include "model/archive_io.h"

#include <unistd.h>

#include <bit>
#include <cerrno>
#include <system_error>

#include "support/text_codec.h"

namespace plm::model {
namespace {

// UTF-16LE code units -> UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(const std::vector<uint8_t>& bytes) {
    std::string out;
    size_t units = bytes.size() / 2;
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    };
    for (size_t i = 0; i < units; ++i) {
        uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

static_assert(std::endian::native == std::endian::little,
              "the data file is little-endian and read in place");

}  // namespace

void ArchiveReader::endOfData() const {
    throw ArchiveError(support::format("unexpected end of data at offset %llu",
                                       static_cast<unsigned long long>(consumed_)));
}

void ArchiveReader::require(uint64_t need, const char* what) const {
    if (need > bytesLeft()) {
        throw ArchiveError(support::format(
            "%s of %llu bytes exceeds the %llu bytes left at offset %llu", what,
            static_cast<unsigned long long>(need), static_cast<unsigned long long>(bytesLeft()),
            static_cast<unsigned long long>(consumed_)));
    }
}

void ArchiveReader::requireEnd(const char* what) const {
    if (bytesLeft() > 0) {
        throw ArchiveError(support::format("%llu bytes after %s at offset %llu",
                                           static_cast<unsigned long long>(bytesLeft()), what,
                                           static_cast<unsigned long long>(consumed_)));
    }
}

void ArchiveReader::readAcross(void* out, size_t n) {
    auto* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
        if (pos_ == end_ && !refill())
            endOfData();
        size_t chunk = std::min(n, static_cast<size_t>(end_ - pos_));
        std::memcpy(dst, pos_, chunk);
        pos_ += chunk;
        dst += chunk;
        n -= chunk;
        consumed_ += chunk;
    }
}

uint32_t ArchiveReader::count() {
    uint16_t small = u16();
    return small < 0xFFFF ? small : u32();
}

uint32_t ArchiveReader::stringLength(bool allowWide, bool& wide) {
    uint8_t b = u8();
    if (b < 0xFF)
        return b;
    uint16_t w = u16();
    if (w == 0xFFFE && allowWide) {
        wide = true;
        return stringLength(false, wide);
    }
    if (w < 0xFFFF)
        return w;
    return u32();
}

std::string ArchiveReader::stringAcross() {
    bool wide = false;
    uint32_t length = stringLength(true, wide);
    if (!wide) {
        require(length, "string");
        std::string s(length, '\0');
        read(s.data(), length);
        return s;
    }
    require(uint64_t{length} * 2, "wide string");
    std::vector<uint8_t> units;
    bytes(units, uint64_t{length} * 2);
    return support::fromUtf8(utf16ToUtf8(units));
}

uint64_t ArchiveReader::checkedStringBytes() {
    bool wide = false;
    uint64_t length = stringLength(true, wide);
    if (wide)
        length *= 2;
    require(length, wide ? "wide string" : "string");
    return length;
}

void ArchiveReader::bytes(std::vector<uint8_t>& out, uint64_t n) {
    require(n, "byte array");
    out.resize(n);
    read(out.data(), n);
}

void ArchiveReader::skipBytes(uint64_t n) {
    require(n, "byte array");
    skip(n);
}

void ArchiveReader::skipAcross(uint64_t n) {
    while (n > 0) {
        if (pos_ == end_ && !refill())
            endOfData();
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(n, end_ - pos_));
        pos_ += chunk;
        n -= chunk;
        consumed_ += chunk;
    }
}

MemoryReader::MemoryReader(std::string_view bytes) : ArchiveReader(bytes.size()), bytes_(bytes) {
    restart();
}

void MemoryReader::restart() {
    pos_ = reinterpret_cast<const uint8_t*>(bytes_.data());
    end_ = pos_ + bytes_.size();
}

void FdReader::restart() {
    if (::lseek(fd_, 0, SEEK_SET) != 0)
        throw std::system_error(errno, std::generic_category(), "lseek");
    pos_ = end_ = buffer_.data();
}

bool FdReader::refill() {
    if (progress_)
        progress_(offset());
    for (;;) {
        ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
        if (n > 0) {
            pos_ = buffer_.data();
            end_ = buffer_.data() + n;
            return true;
        }
        if (n == 0)
            return false;
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "read");
    }
}

void ArchiveWriter::u16(uint16_t v) {
    raw(&v, sizeof v);
}
void ArchiveWriter::u32(uint32_t v) {
    raw(&v, sizeof v);
}
void ArchiveWriter::f64(double v) {
    raw(&v, sizeof v);
}

void ArchiveWriter::count(uint64_t n) {
    if (n < 0xFFFF) {
        u16(static_cast<uint16_t>(n));
    } else {
        u16(0xFFFF);
        u32(static_cast<uint32_t>(n));
    }
}

void ArchiveWriter::string(std::string_view s) {
    size_t n = s.size();
    if (n < 0xFF) {
        u8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        u8(0xFF);
        u16(static_cast<uint16_t>(n));
    } else {
        u8(0xFF);
        u16(0xFFFF);
        u32(static_cast<uint32_t>(n));
    }
    raw(s.data(), n);
}

}  // namespace plm::model
