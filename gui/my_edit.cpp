#include "gui/my_edit.h"

#include <sys/stat.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QScrollBar>
#include <QTextCursor>
#include <QUrl>

#include "gui/path_routines.h"

CMyEdit::CMyEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->installEventFilter(this);
}

int CMyEdit::LineCount() const {
    // The scroll bar already knows the wrapped line count; asking the document would walk every
    // block of a long log on each tick.
    const QScrollBar* bar = verticalScrollBar();
    if (bar->maximum() > 0) return bar->maximum() + bar->pageStep();
    return document()->blockCount();
}

int CMyEdit::FirstVisibleLine() const {
    return verticalScrollBar()->value();
}

bool CMyEdit::EndInView(int window) const {
    const int lines = LineCount();
    const int first = FirstVisibleLine();
    return first + 1 <= lines && lines <= first + window;
}

void CMyEdit::CatchUp(const tarnfield::LogText& log) {
    QString added = log.Since(shown_);
    // A CR whose LF has not come yet, or half of a surrogate pair, waits for the next call.
    qsizetype usable = added.size();
    while (usable > 0 && (added[usable - 1] == u'\r' || added[usable - 1].isHighSurrogate()))
        --usable;
    if (usable == 0) return;
    shown_ += usable;
    added.truncate(usable);
    added.remove(u'\r');

    const int first = FirstVisibleLine();
    setUpdatesEnabled(false);
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(added);
    verticalScrollBar()->setValue(first);
    setUpdatesEnabled(true);
}

void CMyEdit::Restart() {
    shown_ = 0;
    clear();
}

void CMyEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_A && (event->modifiers() & Qt::ControlModifier)) {
        selectAll();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        QTextCursor cursor = textCursor();
        cursor.clearSelection();
        setTextCursor(cursor);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CMyEdit::mousePressEvent(QMouseEvent* event) {
    emit clicked();
    QPlainTextEdit::mousePressEvent(event);
}

bool CMyEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == verticalScrollBar()) {
        if (event->type() == QEvent::MouseButtonPress) emit scrollPressed();
        if (event->type() == QEvent::MouseButtonRelease) emit scrollReleased();
    }
    return QPlainTextEdit::eventFilter(watched, event);
}

CMyEdit2::CMyEdit2(QWidget* parent) : QLineEdit(parent) {
    setAcceptDrops(true);
}

QString CMyEdit2::FolderOfDroppedPath(const QString& path) {
    QString folder = tarnfield::FullPath(path);
    struct stat info {};
    // What cannot be examined counts as a folder, as the shell would have it.
    if (stat(QFile::encodeName(folder).constData(), &info) == 0 && !S_ISDIR(info.st_mode))
        tarnfield::CutToParentFolder(folder);
    return folder;
}

static bool HasLocalUrl(const QMimeData* data) {
    return data && data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile();
}

void CMyEdit2::dragEnterEvent(QDragEnterEvent* event) {
    if (HasLocalUrl(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CMyEdit2::dragMoveEvent(QDragMoveEvent* event) {
    if (HasLocalUrl(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CMyEdit2::dropEvent(QDropEvent* event) {
    if (!HasLocalUrl(event->mimeData())) {
        event->ignore();
        return;
    }
    // Only the first item counts.
    setText(FolderOfDroppedPath(event->mimeData()->urls().first().toLocalFile()));
    event->acceptProposedAction();
    window()->activateWindow();
    window()->raise();
    setFocus(Qt::OtherFocusReason);
    setCursorPosition(text().size());
}
