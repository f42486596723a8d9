#pragma once
// The log text: everything the children printed, shared by the worker that appends to it and the
// dialog that shows it. Children print UTF-16LE; a pipe read may end in the middle of a unit.

#include <QMutex>
#include <QString>

namespace tarnfield {

/// Turns a byte stream of UTF-16LE into units, keeping an odd last byte for the next piece.
class Utf16LeCollector {
  public:
    /// Appends the whole units of carry + bytes to out (NUL units are left out).
    void Feed(const char* bytes, qsizetype size, QString& out);
    bool HasCarry() const { return hasCarry_; }

  private:
    unsigned char carry_ = 0;
    bool hasCarry_ = false;
};

class LogText {
  public:
    void Append(QStringView text);
    void Clear();
    qsizetype Size() const;
    /// The text from position `from` on.
    QString Since(qsizetype from) const;
    QString All() const;

  private:
    mutable QMutex mutex_;
    QString text_;
};

} // namespace tarnfield
