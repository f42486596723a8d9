#include "test_support.h"

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

void WriteFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(content);
}

QString FakeConsoleFolder() { return QStringLiteral(TARNFIELD_FAKE_CONSOLE_DIR); }
QString RealConsoleFolder() { return QStringLiteral(TARNFIELD_REAL_CONSOLE_DIR); }

}  // namespace testing_support
