#pragma once
// Helpers shared by the front end's tests.

#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>

namespace testing_support {

/// What a message box said before it was answered.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool answered = false;
};

/// Answers the next message box that appears with the given button, from a timer, and records it.
void AnswerNextMessageBox(QMessageBox::StandardButton button, SeenBox* seen);
/// A template for QTemporaryDir in a memory file system when there is one: the tests that make
/// thousands of files would spend minutes on a slow disk.
QString FastTempTemplate();
/// Writes a file, making its folders.
void WriteFile(const QString& path, const QByteArray& content);
/// Running console processes that are children of this test (other people's runs left out).
unsigned CountOwnConsoleChildren();
/// The folder that holds the fake console program, and the one with the real one.
QString FakeConsoleFolder();
QString RealConsoleFolder();

} // namespace testing_support
