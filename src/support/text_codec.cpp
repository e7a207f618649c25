#include "support/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace plm::support {
namespace {

class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of in; an undecodable sequence is skipped by skipBytes(in)
    // bytes and replaced by `replacement`.
    template <typename SkipFn>
    std::string run(std::string_view in, std::string_view replacement, SkipFn skipBytes) {
        std::string out;
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            return std::string(in);
        out.reserve(in.size() * 3 / 2 + 8);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buf[4096];
        while (srcLeft > 0) {
            char* dst = buf;
            size_t dstLeft = sizeof buf;
            size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, dst);
            if (rc != static_cast<size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            size_t skip = std::min(srcLeft, skipBytes(std::string_view(src, srcLeft)));
            src += skip;
            srcLeft -= skip;
            out.append(replacement);
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

  private:
    iconv_t cd_;
};

size_t utf8SequenceLength(std::string_view s) {
    unsigned char b = static_cast<unsigned char>(s[0]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
    size_t len = 1;
    while (len < n && len < s.size() && (static_cast<unsigned char>(s[len]) & 0xC0) == 0x80)
        ++len;
    return len;
}

size_t cp932SequenceLength(std::string_view s) {
    return isLeadByte(static_cast<unsigned char>(s[0])) && s.size() >= 2 ? 2 : 1;
}

}  // namespace

std::string toUtf8(std::string_view cp932) {
    thread_local Converter conv("UTF-8", "CP932");
    return conv.run(cp932, "\xEF\xBF\xBD", cp932SequenceLength);
}

std::string fromUtf8(std::string_view utf8) {
    thread_local Converter conv("CP932", "UTF-8");
    return conv.run(utf8, "?", utf8SequenceLength);
}

namespace {

// The code point of the UTF-8 sequence `s` (whole, as utf8SequenceLength
// measured it), or -1 when it is no well-formed UTF-8.
long decodeUtf8(std::string_view s) {
    const auto b = static_cast<unsigned char>(s[0]);
    if (b < 0x80)
        return s.size() == 1 ? b : -1;
    const size_t n = (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || s.size() != n)
        return -1;
    long cp = b & (0x7F >> n);
    for (size_t i = 1; i < n; ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    constexpr long kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kShortest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    return cp;
}

}  // namespace

std::optional<Unstorable> findUnstorable(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size();) {
        const std::string_view sequence = utf8.substr(i, utf8SequenceLength(utf8.substr(i)));
        const long cp = decodeUtf8(sequence);
        if (cp < 0) {
            return Unstorable{
                i, sequence.size(), {}, format("0x%02X", static_cast<unsigned char>(sequence[0]))};
        }
        // Only "?" itself may come back as "?": anything else had no form.
        if (cp == 0 || (cp != '?' && fromUtf8(sequence) == "?"))
            return Unstorable{i, sequence.size(), std::string(sequence), format("U+%04lX", cp)};
        i += sequence.size();
    }
    return std::nullopt;
}

std::string unstorableText(const Unstorable& found) {
    return format(sj("保存できない文字が含まれています\n%s").c_str(), found.code.c_str());
}

const std::string& sj(std::string_view utf8Literal) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<std::string>, std::less<>> cache;
    std::lock_guard guard(lock);
    auto it = cache.find(utf8Literal);
    if (it == cache.end()) {
        it = cache
                 .emplace(std::string(utf8Literal),
                          std::make_unique<std::string>(fromUtf8(utf8Literal)))
                 .first;
    }
    return *it->second;
}

size_t mbSafeLength(std::string_view s, size_t maxBytes) {
    size_t i = 0;
    while (i < s.size()) {
        size_t step = isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
        if (i + step > maxBytes)
            break;
        i += step;
    }
    return i;
}

namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

std::string trimMb(std::string_view s) {
    size_t begin = 0;
    while (begin < s.size() && isBlank(s[begin]))
        ++begin;
    // Walk forward so a trail byte that looks like a blank is never cut.
    size_t end = begin;
    size_t i = begin;
    while (i < s.size()) {
        if (isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
            i += 2;
            end = i;
        } else {
            if (!isBlank(s[i]))
                end = i + 1;
            ++i;
        }
    }
    return std::string(s.substr(begin, end - begin));
}

std::string lowerMb(std::string_view s) {
    std::string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(out[i]);
        if (isLeadByte(b) && i + 1 < out.size()) {
            ++i;
        } else if (b >= 'A' && b <= 'Z') {
            out[i] = static_cast<char>(b - 'A' + 'a');
        }
    }
    return out;
}

bool endsWithBackslash(std::string_view s) {
    bool last = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
            ++i;
            last = false;
        } else {
            last = s[i] == '\\';
        }
    }
    return last;
}

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(out.data(), out.size() + 1, fmt, args);
    va_end(args);
    return out;
}

}  // namespace plm::support
