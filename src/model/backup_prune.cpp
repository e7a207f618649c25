#include "model/backup_prune.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <tuple>

#include "support/text_codec.h"

namespace plm::model {
namespace {

const char* prefixOf(BackupKind kind) {
    return kind == BackupKind::DataFile ? "QBX_" : "LIMITS_";
}
const char* suffixOf(BackupKind kind) {
    return kind == BackupKind::DataFile ? ".DAT" : ".INI";
}

bool allDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

int number(const std::string& text, size_t from, size_t length) {
    return std::stoi(text.substr(from, length));
}

// Days since 1970-01-01 of a calendar date (proleptic Gregorian).
int64_t dayNumber(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool validStamp(const BackupName& n) {
    if (n.month < 1 || n.month > 12 || n.day < 1 || n.hour > 23 || n.minute > 59 || n.second > 59)
        return false;
    const int64_t day = dayNumber(n.year, n.month, n.day);
    const int64_t first = dayNumber(n.year, n.month, 1);
    const int64_t next =
        n.month == 12 ? dayNumber(n.year + 1, 1, 1) : dayNumber(n.year, n.month + 1, 1);
    return day >= first && day < next && n.sequence >= 1;
}

// The kept ones of one kind, newest first.
std::vector<const BackupEntry*> keptOfKind(std::vector<const BackupEntry*> ofKind,
                                           const CalendarDay& today, const PruneRule& rule) {
    std::sort(ofKind.begin(), ofKind.end(),
              [](const BackupEntry* a, const BackupEntry* b) { return newer(a->name, b->name); });
    const size_t last = static_cast<size_t>(std::max(rule.keepLast, 0));
    const int64_t todayNumber = dayNumber(today.year, today.month, today.day);
    const int todayMonth = today.year * 12 + today.month - 1;
    std::set<int64_t> days;
    std::set<int> months;
    std::set<int> years;
    std::vector<const BackupEntry*> kept;
    for (size_t i = 0; i < ofKind.size(); ++i) {
        const BackupName& n = ofKind[i]->name;
        const int64_t day = dayNumber(n.year, n.month, n.day);
        const int month = n.year * 12 + n.month - 1;
        // Each rule keeps the first (newest) of its periods; insert() tells
        // whether the period was still open.
        bool keep = i < last;
        if (!keep && todayNumber - day < rule.keepDays && days.insert(day).second)
            keep = true;
        if (i >= last && todayMonth - month < rule.keepMonths && months.insert(month).second)
            keep = true;
        if (i >= last && years.insert(n.year).second)
            keep = true;
        if (keep)
            kept.push_back(ofKind[i]);
    }
    return kept;
}

}  // namespace

std::string BackupName::stamp() const {
    std::string text =
        support::format("%04d%02d%02d_%02d%02d%02d", year, month, day, hour, minute, second);
    if (sequence > 1)
        text += support::format("_%d", sequence);
    return text;
}

std::string BackupName::fileName() const {
    return prefixOf(kind) + stamp() + suffixOf(kind);
}

bool newer(const BackupName& a, const BackupName& b) {
    return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second, a.sequence) >
           std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second, b.sequence);
}

std::optional<BackupName> parseBackupName(const std::string& fileName) {
    for (const BackupKind kind : {BackupKind::DataFile, BackupKind::Limits}) {
        const std::string prefix = prefixOf(kind);
        const std::string suffix = suffixOf(kind);
        if (fileName.size() < prefix.size() + suffix.size() + 15 ||
            fileName.rfind(prefix, 0) != 0 || !fileName.ends_with(suffix)) {
            continue;
        }
        const std::string stamp =
            fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
        if (stamp[8] != '_' || !allDigits(stamp.substr(0, 8)) || !allDigits(stamp.substr(9, 6)))
            return std::nullopt;
        BackupName name;
        name.kind = kind;
        if (stamp.size() > 15) {
            const std::string rest = stamp.substr(15);
            // "_1" is never written, and "_02" would be a second name of "_2".
            if (rest.size() < 2 || rest[0] != '_' || !allDigits(rest.substr(1)) || rest[1] == '0' ||
                rest.size() > 6 || rest == "_1") {
                return std::nullopt;
            }
            name.sequence = std::stoi(rest.substr(1));
        }
        name.year = number(stamp, 0, 4);
        name.month = number(stamp, 4, 2);
        name.day = number(stamp, 6, 2);
        name.hour = number(stamp, 9, 2);
        name.minute = number(stamp, 11, 2);
        name.second = number(stamp, 13, 2);
        if (!validStamp(name))
            return std::nullopt;
        return name;
    }
    return std::nullopt;
}

std::vector<std::string> backupsToRemove(const std::vector<BackupEntry>& backups,
                                         const CalendarDay& today, const PruneRule& rule) {
    std::vector<const BackupEntry*> kept;
    std::set<const BackupEntry*> newest;
    for (const BackupKind kind : {BackupKind::DataFile, BackupKind::Limits}) {
        std::vector<const BackupEntry*> ofKind;
        for (const BackupEntry& b : backups) {
            if (b.name.kind == kind)
                ofKind.push_back(&b);
        }
        const std::vector<const BackupEntry*> keep = keptOfKind(ofKind, today, rule);
        if (!keep.empty())
            newest.insert(keep.front());
        kept.insert(kept.end(), keep.begin(), keep.end());
    }
    std::sort(kept.begin(), kept.end(),
              [](const BackupEntry* a, const BackupEntry* b) { return newer(b->name, a->name); });
    int64_t total = 0;
    for (const BackupEntry* b : kept)
        total += b->size;
    std::set<const BackupEntry*> dropped;
    for (const BackupEntry* b : kept) {
        if (rule.maxBytes <= 0 || total <= rule.maxBytes)
            break;
        if (newest.count(b))
            continue;
        dropped.insert(b);
        total -= b->size;
    }
    const std::set<const BackupEntry*> keptSet(kept.begin(), kept.end());
    std::vector<const BackupEntry*> removed;
    for (const BackupEntry& b : backups) {
        if (!keptSet.count(&b) || dropped.count(&b))
            removed.push_back(&b);
    }
    std::sort(removed.begin(), removed.end(),
              [](const BackupEntry* a, const BackupEntry* b) { return newer(b->name, a->name); });
    std::vector<std::string> names;
    for (const BackupEntry* b : removed)
        names.push_back(b->name.fileName());
    return names;
}

}  // namespace plm::model
