#include "gui/command_line.h"

#include "gui/path_routines.h"

namespace tarnfield {

namespace {
constexpr int kDefaultProcessLimit = 5;
}

QString QuoteArgument(const QString& value) {
    QString quoted;
    quoted.reserve(value.size() + 2);
    quoted.append(u'"');
    qsizetype backslashes = 0;
    for (QChar c : value) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            // Backslashes before a quote are escapes: double them and escape the quote itself.
            quoted.append(QString(backslashes * 2 + 1, u'\\'));
        } else {
            quoted.append(QString(backslashes, u'\\'));
        }
        backslashes = 0;
        quoted.append(c);
    }
    // Backslashes before the closing quote must not escape it.
    quoted.append(QString(backslashes * 2, u'\\'));
    quoted.append(u'"');
    return quoted;
}

QStringList SplitWindowsCommandLine(const QString& line) {
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    const qsizetype size = line.size();
    for (qsizetype i = 0; i < size;) {
        const QChar c = line[i];
        if (!quoted && (c == u' ' || c == u'\t')) {
            if (inArgument) arguments.append(current);
            current.clear();
            inArgument = false;
            ++i;
            continue;
        }
        inArgument = true;
        if (c == u'\\') {
            qsizetype run = 0;
            while (i + run < size && line[i + run] == u'\\')
                ++run;
            if (i + run < size && line[i + run] == u'"') {
                current.append(QString(run / 2, u'\\'));
                if (run % 2 == 1) {
                    current.append(u'"');
                    i += run + 1;
                } else {
                    i += run; // the quote is handled as a quote
                }
            } else {
                current.append(QString(run, u'\\'));
                i += run;
            }
            continue;
        }
        if (c == u'"') {
            if (quoted && i + 1 < size && line[i + 1] == u'"') {
                current.append(u'"');
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        current.append(c);
        ++i;
    }
    if (inArgument) arguments.append(current);
    return arguments;
}

QString CleanForwardName(QString name) {
    TrimQuotesAndBlanks(name);
    for (QChar separator : {QChar(u'\\'), QChar(u'/')}) {
        const qsizetype cut = name.lastIndexOf(separator);
        if (cut >= 0) name.remove(0, cut + 1);
    }
    return name;
}

QString BuildBaseCommand(const OptionFragments& f, bool timestampMode, const QString& output) {
    if (timestampMode) return QStringLiteral("dornick.exe /DM") + f.print;
    return QStringLiteral("dornick.exe") + f.noSenderFolder + f.noDateFolder + f.reverseFolders + f.noInline +
           f.contentOnly + f.fullWidth + f.logFile + f.print + f.forwardName + QStringLiteral(" /O ") +
           QuoteArgument(output);
}

QString ChildCommandLine(const QString& baseCommand, const QString& entry) {
    return baseCommand + u' ' + QuoteArgument(entry);
}

int ParseMultiProcessArgument(const QString& argument) {
    if (!argument.startsWith(QStringLiteral("/MP"), Qt::CaseInsensitive)) return 0;
    // Like the C library's number reading: leading blanks, a sign, digits; anything else ends it.
    QStringView rest = QStringView(argument).mid(3);
    qsizetype i = 0;
    while (i < rest.size() && (rest[i] == u' ' || rest[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < rest.size() && (rest[i] == u'+' || rest[i] == u'-')) negative = rest[i++] == u'-';
    long long value = 0;
    while (i < rest.size() && rest[i] >= u'0' && rest[i] <= u'9') {
        value = value * 10 + (rest[i++].unicode() - u'0');
        if (value > 1'000'000) value = 1'000'000;
    }
    if (negative || value == 0) return kDefaultProcessLimit;
    return static_cast<int>(value);
}

} // namespace tarnfield
