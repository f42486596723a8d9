#pragma once
// One console child per mail file: started from the command-line text, followed through its pipe or
// waited for as the settings ask. Runs on the worker thread; touches no widget.

#include <sys/types.h>

#include <QString>
#include <QStringList>

#include "gui/log_text.h"

namespace tarnfield {

/// The file name of the console program.
inline constexpr char kConsoleProgramName[] = "dornick";

/// The folders the console program is looked for in: the front end's own folder, then the current one.
QStringList DefaultConsoleFolders();
/// The path of the first executable console program in folders, or an empty text.
QString LocateConsoleProgram(const QStringList& folders);
/// The folder against which the console program resolves relative paths: its own folder (links
/// resolved, as the program sees itself), or the current folder when there is no program.
QString ConsoleHomeFolder(const QStringList& folders);
/// Running processes named like the console program (ignoring case), whoever started them; ended
/// processes that nobody has waited for yet are left out.
unsigned CountConsoleProcesses();
/// Collects the ended children that were started without waiting, so none lingers as a zombie.
void ReapFinishedChildren();

struct ChildSettings {
    QStringList consoleFolders;
    QString workingFolder;      ///< the child's current folder, the base of the relative paths
    bool print = true;          ///< "No print log" not ticked
    bool timestampMode = false; ///< "Modify EML's timestamp" ticked
    bool multiProcess = false;
    int processLimit = 1;
    bool japanese = false;
};

struct ChildOutcome {
    bool started = false;
    bool waited = false;    ///< the child had ended when RunOneFile returned
    bool newOutput = false; ///< text was added to the log
    bool failed = false;    ///< not started, or ended by a signal or with a status other than 0
    quint64 messages = 0;   ///< mails the child reported (its progress lines)
    quint64 files = 0;      ///< files the child reported as written
};

/// Starts one child with the given command line and handles it: with printing its output is read
/// into log until it has ended and the pipe is drained; otherwise it is waited for or not by the
/// multi-process and timestamp rules. Failures are written into the log. Children that were waited
/// for tell by their exit status whether they failed; that is only counted, never shown on its own.
ChildOutcome RunOneFile(const ChildSettings& settings, const QString& commandLine, LogText& log);

} // namespace tarnfield
