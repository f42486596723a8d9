#include "test_support.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>

namespace testing_support {

void AnswerNextMessageBox(QMessageBox::StandardButton button, SeenBox* seen) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, seen] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible()) continue;
            if (seen) {
                seen->title = box->windowTitle();
                seen->text = box->text();
                seen->icon = box->icon();
                QAbstractButton* fallback = box->defaultButton();
                seen->defaultButton = fallback ? box->standardButton(fallback) : QMessageBox::NoButton;
                seen->answered = true;
            }
            poll->stop();
            poll->deleteLater();
            box->button(button)->click();
            return;
        }
    });
    poll->start();
}

QString FastTempTemplate() {
    const QFileInfo memory(QStringLiteral("/dev/shm"));
    const QString root = memory.isDir() && memory.isWritable() ? memory.filePath() : QDir::tempPath();
    return root + QStringLiteral("/tarnfield-test-XXXXXX");
}

void WriteFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(content);
}

unsigned CountOwnConsoleChildren() {
    unsigned count = 0;
    DIR* processes = opendir("/proc");
    if (!processes) return 0;
    while (const dirent* entry = readdir(processes)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(entry->d_name)));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        if (close < 0 ||
            !line.mid(line.indexOf('(') + 1, close - line.indexOf('(') - 1).startsWith("dornick"))
            continue;
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() < 2 || fields[0] == "Z" || fields[1].toLongLong() != getpid()) continue;
        ++count;
    }
    closedir(processes);
    return count;
}

QString FakeConsoleFolder() {
    return QStringLiteral(TARNFIELD_FAKE_CONSOLE_DIR);
}
QString RealConsoleFolder() {
    return QStringLiteral(TARNFIELD_REAL_CONSOLE_DIR);
}

} // namespace testing_support
