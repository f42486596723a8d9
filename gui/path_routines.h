#pragma once
// The small path routines of the front end, in their Linux form: "/" separates, the root "/" plays
// the part of a drive root, and comparisons are case-sensitive.

#include <QString>

namespace tarnfield {

/// Removes double quotes and blanks from both ends, repeatedly, until neither end holds one.
void TrimQuotesAndBlanks(QString& text);
/// A lexical absolute path against the current folder: "." and ".." resolved as text, runs of "/"
/// collapsed, no trailing "/" (the root stays "/"), no link followed, nothing required to exist.
QString FullPath(const QString& path);
/// True when the path names anything (a dangling link too); isFolder, when given, tells whether it
/// is a folder or a link to one.
bool PathExists(const QString& path, bool* isFolder = nullptr);
/// Cuts the last component; the root keeps its "/", and a bare name gives ".".
void CutToParentFolder(QString& path);
/// Appends "/" unless the text is empty or already ends with one.
void AppendSeparator(QString& path);
/// Collapses each run of "/" to one and removes a trailing "/" (the root stays "/").
void NormalizeSeparators(QString& path);
/// Makes path relative to base when that is shorter: "." for base itself, the rest for a path below
/// base, "../" once per component cut from base otherwise.
void MakeRelativePath(const QString& base, QString& path);

} // namespace tarnfield
