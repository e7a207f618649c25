#pragma once

#include <QProcess>
#include <QStringList>

#include <string>

// The text of one page of a PDF as pdftotext reads it (UTF-8), to check
// that what was painted is there whole; empty when pdftotext is missing.
namespace plm::test {

inline std::string pdfPageText(const std::string& path, int page) {
    QProcess tool;
    tool.start("pdftotext", {"-f", QString::number(page), "-l", QString::number(page),
                             QString::fromStdString(path), "-"});
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        return {};
    return tool.readAllStandardOutput().toStdString();
}

// The text (UTF-8) without its white space, the ideographic space too:
// wrapped lines read as one.
inline std::string joined(const std::string& text) {
    static const std::string ideographicSpace = "\u3000";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, ideographicSpace.size(), ideographicSpace) == 0) {
            i += ideographicSpace.size() - 1;
            continue;
        }
        const char c = text[i];
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t' && c != '\f')
            out += c;
    }
    return out;
}

}  // namespace plm::test
