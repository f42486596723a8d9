#include "gui/path_routines.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>

namespace tarnfield {

void TrimQuotesAndBlanks(QString& text) {
    auto trimmable = [](QChar c) { return c == u'"' || c == u' ' || c == u'\t'; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && trimmable(text[begin]))
        ++begin;
    while (end > begin && trimmable(text[end - 1]))
        --end;
    text = text.mid(begin, end - begin);
}

QString FullPath(const QString& path) {
    if (path.isEmpty()) return QDir::currentPath();
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

bool PathExists(const QString& path, bool* isFolder) {
    const QByteArray native = QFile::encodeName(FullPath(path));
    struct stat info {};
    if (lstat(native.constData(), &info) != 0) return false;
    if (isFolder) {
        bool folder = S_ISDIR(info.st_mode);
        struct stat target {};
        if (S_ISLNK(info.st_mode) && stat(native.constData(), &target) == 0) folder = S_ISDIR(target.st_mode);
        *isFolder = folder;
    }
    return true;
}

void CutToParentFolder(QString& path) {
    const qsizetype cut = path.lastIndexOf(u'/');
    if (cut < 0) {
        // A bare name lies in the current folder.
        path = QStringLiteral(".");
        return;
    }
    path.truncate(cut);
    while (path.endsWith(u'/'))
        path.chop(1);
    if (path.isEmpty()) path = QStringLiteral("/");
}

void AppendSeparator(QString& path) {
    if (!path.isEmpty() && !path.endsWith(u'/')) path.append(u'/');
}

void NormalizeSeparators(QString& path) {
    QString result;
    result.reserve(path.size());
    for (QChar c : std::as_const(path)) {
        if (c == u'/' && result.endsWith(u'/')) continue;
        result.append(c);
    }
    if (result.size() > 1 && result.endsWith(u'/')) result.chop(1);
    path = result;
}

void MakeRelativePath(const QString& base, QString& path) {
    if (path == base) {
        path = QStringLiteral(".");
        return;
    }
    const QString below = base.endsWith(u'/') ? base : base + u'/';
    if (path.startsWith(below)) {
        path.remove(0, below.size());
        if (path.isEmpty()) path = QStringLiteral(".");
        return;
    }
    QString left = base;
    int cuts = 0;
    for (;;) {
        const qsizetype cut = left.lastIndexOf(u'/');
        if (cut < 0) return; // no common folder
        left.truncate(cut);
        ++cuts;
        if (path.startsWith(left + u'/')) break;
    }
    QString candidate;
    for (int i = 0; i < cuts; ++i)
        candidate += QStringLiteral("../");
    candidate += QStringView(path).mid(left.size() + 1);
    if (candidate.size() < path.size()) path = candidate;
}

} // namespace tarnfield
