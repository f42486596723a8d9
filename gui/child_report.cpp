#include "gui/child_report.h"

#include <algorithm>

namespace tarnfield {

namespace {

// Only a line's start decides what it is; longer pending text is not kept.
constexpr qsizetype kLineStartKept = 4096;

} // namespace

void ChildReport::Feed(QStringView text) {
    while (!text.isEmpty()) {
        const qsizetype end = text.indexOf(u'\n');
        if (end < 0) {
            if (pending_.size() < kLineStartKept)
                pending_.append(text.left(kLineStartKept - pending_.size()));
            return;
        }
        QStringView line = text.left(end);
        if (!pending_.isEmpty()) {
            pending_.append(line.left(std::max<qsizetype>(0, kLineStartKept - pending_.size())));
            CountLine(pending_);
            pending_.clear();
        } else {
            CountLine(line);
        }
        text = text.mid(end + 1);
    }
}

void ChildReport::CountLine(QStringView line) {
    if (line.endsWith(u'\r')) line.chop(1);
    // The progress line of a mail: "\"%s\" からファイルを抽出中です。<%s/%s>" or its English form.
    if (line.startsWith(u"Extracting files from \"") ||
        (line.startsWith(u'"') && line.contains(u"\" からファイルを抽出中です。<"))) {
        ++messages_;
        return;
    }
    // The line of a written file: "\t-> \"%s\"".
    if (line.startsWith(u"\t-> \"") && line.endsWith(u'"') && line.size() > 6) ++files_;
}

} // namespace tarnfield
