#include "link/captured_file_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "link/transfer_decoder.h"
#include "settings/profile_file.h"
#include "support/cx_exception.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::link {
namespace {

using support::format;
using support::sj;

// Stored path -> absolute file-system path: a leading "." is the program
// folder, anything else still relative is taken from the working folder.
std::filesystem::path absoluteFsPath(const std::string& storedPath) {
    settings::ProfileFile profile;
    std::string stored =
        profile.MakeAbsolute(storedPath, support::fromFsPath(support::programFolder()));
    std::filesystem::path path = support::toFsPath(stored);
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    return (ec ? path : full).lexically_normal();
}

// A text editor on Windows may put a UTF-8 byte-order mark in front.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace

void CapturedFileSource::open(const std::string& storedPath, ProgressSink& progress,
                              const std::atomic<bool>* stop) {
    std::filesystem::path fsPath = absoluteFsPath(storedPath);
    fullPath_ = support::fromFsPath(fsPath.string());
    progress.progress(format(sj("ファイルオープン:%s").c_str(), fullPath_.c_str()));

    std::error_code ec;
    if (!std::filesystem::exists(fsPath, ec) && !ec) {
        throw CxException(format(sj("ファイルが存在しません:%s").c_str(), fullPath_.c_str()));
    }
    const std::string cannotOpen =
        format(sj("ファイルがオープン出来ません:%s").c_str(), fullPath_.c_str());
    // A FIFO would block the open and a device might never end: only
    // regular files hold a captured transfer.
    if (!std::filesystem::is_regular_file(fsPath, ec))
        throw CxException(cannotOpen);
    support::OpenOptions options;
    options.mode = support::OpenMode::Read;
    if (stop)
        options.keepWaiting = [stop] { return !stop->load(); };
    support::UniqueFd fd = support::openWithRetry(fsPath.string(), options);
    if (!fd)
        throw CxException(cannotOpen);
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw CxException(cannotOpen);
    if (static_cast<uint64_t>(st.st_size) > kMaxCapturedFileBytes)
        throw CxException(format(sj("ファイルが大きすぎます:%s").c_str(), fullPath_.c_str()));
    try {
        openText(support::readAll(fd.get()));
    } catch (const std::system_error&) {
        // A folder opens for reading but cannot be read.
        throw CxException(cannotOpen);
    }
}

void CapturedFileSource::openText(std::string text) {
    if (text.starts_with(kByteOrderMark))
        text.erase(0, kByteOrderMark.size());
    text_ = std::move(text);
    pos_ = 0;
    lineNo_ = 0;
}

bool CapturedFileSource::looksLikeCapturedText(std::string_view head, bool whole) {
    if (head.starts_with(kByteOrderMark))
        head.remove_prefix(kByteOrderMark.size());
    bool block = false;
    std::vector<uint8_t> buffer(head.size() / 2 + 1);
    while (!head.empty()) {
        size_t end = head.find('\n');
        if (end == std::string_view::npos && !whole)
            break;
        end = std::min(end, head.size());
        const std::string_view line = trimLineEnd(head.substr(0, end));
        head.remove_prefix(std::min(end + 1, head.size()));
        if (line.empty() || line.front() == ';')
            continue;
        if (parseHexLine(line, buffer) < 0)
            return false;
        block = true;
    }
    return block;
}

SourceDescription CapturedFileSource::description() const {
    return {sj("ファイル読み込み中..."), true, false};
}

int64_t CapturedFileSource::next(int64_t, std::span<uint8_t> buffer) {
    while (pos_ < text_.size()) {
        size_t end = text_.find('\n', pos_);
        if (end == std::string::npos)
            end = text_.size();
        std::string_view line = trimLineEnd(std::string_view(text_).substr(pos_, end - pos_));
        pos_ = end + 1;
        ++lineNo_;
        if (!line.empty() && line.front() == ';')
            continue;
        int64_t length = parseHexLine(line, buffer);
        if (length == -1) {
            throw CxException(format(sj("ファイルの%lld行目に16進数以外の文字があります").c_str(),
                                     static_cast<long long>(lineNo_)));
        }
        if (length < 0) {
            throw CxException(
                format(sj("ファイルの%lld行目が受信バッファ(%d)を超えています").c_str(),
                       static_cast<long long>(lineNo_), static_cast<int>(buffer.size())));
        }
        return length;
    }
    throw CxException(sj("ファイルの最後に達してしまった"));
}

}  // namespace plm::link
