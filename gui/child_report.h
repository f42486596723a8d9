#pragma once
// What a console child reports in its output, counted as the text comes: the progress line of each
// mail it takes files from, and the line of each file it writes. Lines may arrive in pieces.

#include <QString>
#include <QStringView>

namespace tarnfield {

class ChildReport {
  public:
    /// Takes the next piece of the child's text.
    void Feed(QStringView text);
    /// Mails the child reported (an archive reports one line per mail with files).
    quint64 Messages() const { return messages_; }
    /// Files the child reported as written.
    quint64 Files() const { return files_; }

  private:
    void CountLine(QStringView line);

    QString pending_; // the start of a line whose end has not come yet
    quint64 messages_ = 0;
    quint64 files_ = 0;
};

} // namespace tarnfield
