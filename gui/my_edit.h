#pragma once
// The dialog's own edit controls: the log view, and the two folder fields that take dropped items.

#include <QLineEdit>
#include <QPlainTextEdit>

#include "gui/log_text.h"

/// The log view: read-only; pressing its scroll bar pauses a run until released, Ctrl+A selects
/// everything, Escape drops the selection, a click brings the view up to date.
class CMyEdit : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit CMyEdit(QWidget* parent = nullptr);

    /// Lines of the view's text, wrapped lines counted.
    int LineCount() const;
    /// The first line in view.
    int FirstVisibleLine() const;
    /// True when the last line lies within `window` lines of the first one in view.
    bool EndInView(int window) const;
    /// Adds what the log text gained since the last call, the first visible line kept.
    void CatchUp(const tarnfield::LogText& log);
    /// Forgets what was shown, for a log text that was emptied.
    void Restart();

  signals:
    void scrollPressed();
    void scrollReleased();
    void clicked();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    qsizetype shown_ = 0; // characters of the log text already in the view
};

/// The target field: a dropped folder, or a dropped file's folder, becomes its text.
class CMyEdit2 : public QLineEdit {
    Q_OBJECT
  public:
    explicit CMyEdit2(QWidget* parent = nullptr);

    /// The folder a dropped local path stands for: the path itself when it is a folder (or cannot be
    /// examined), else the folder that holds it.
    static QString FolderOfDroppedPath(const QString& path);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

/// The output field: behaves as the target field.
class CMyEdit3 : public CMyEdit2 {
    Q_OBJECT
  public:
    using CMyEdit2::CMyEdit2;
};
