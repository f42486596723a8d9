#pragma once
// The console program's command line as the front end builds it: one text, exactly as a person would
// type it, later split into arguments by the Windows quoting rules.

#include <QString>
#include <QStringList>

namespace tarnfield {

/// The longest command line a child may be given, in characters.
constexpr qsizetype kCommandLineLimit = 8191;

/// The option fragments kept by the check boxes; each is empty or holds its option with a blank before it.
struct OptionFragments {
    QString noSenderFolder; ///< " /NN"
    QString noDateFolder;   ///< " /ND"
    QString reverseFolders; ///< " /RF"
    QString noInline;       ///< " /NI"
    QString contentOnly;    ///< " /CO"
    QString fullWidth;      ///< " /CW"
    QString timestampMode;  ///< " /DM"
    QString forwardName;    ///< " /FW", or at run start " /FW "name""
    QString logFile;        ///< " /L"
    QString print;          ///< " /P"
};

/// Puts a value in double quotes so that SplitWindowsCommandLine gives it back unchanged; a plain path
/// comes out as "path".
QString QuoteArgument(const QString& value);
/// Splits a command line into arguments by the Windows rules: blanks separate outside quotes, 2n
/// backslashes before a quote give n and toggle quoting, 2n+1 give n and a literal quote, "" inside
/// quotes gives a quote, other backslashes are literal.
QStringList SplitWindowsCommandLine(const QString& line);
/// The forward name as the run uses it: trimmed, cut after its last "\" and its last "/".
/// Characters the forward name field takes (the console program keeps as many).
inline constexpr int kForwardNameLimit = 251;
QString CleanForwardName(QString name);
/// The base command: in timestamp mode "dornick.exe /DM" and the print fragment, otherwise every
/// fragment in its fixed order and /O with the output folder in quotes.
QString BuildBaseCommand(const OptionFragments& fragments, bool timestampMode, const QString& output);
/// The command line of one child: the base command, a blank and the file in quotes.
QString ChildCommandLine(const QString& baseCommand, const QString& entry);
/// The process limit that follows "/MP" in the front end's first argument, or 0 when the argument
/// is not "/MP..."; a missing, zero or negative number gives the default of 5.
int ParseMultiProcessArgument(const QString& argument);

} // namespace tarnfield
