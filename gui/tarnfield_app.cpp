#include "gui/tarnfield_app.h"

#include <clocale>

#include <QLibraryInfo>
#include <QLocale>

#include "gui/tarnfield_dlg.h"

CTarnfieldApp::CTarnfieldApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("tarnfield"));
    // The taskbar matches the window to its desktop entry by this name.
    setDesktopFileName(QStringLiteral("tarnfield"));
}

bool CTarnfieldApp::IsJapaneseUserInterface() {
    const QStringList languages = QLocale::system().uiLanguages();
    return !languages.isEmpty() && QLocale(languages.first()).language() == QLocale::Japanese;
}

bool CTarnfieldApp::LoadJapaneseQtTexts(QCoreApplication& app, QTranslator& translator) {
    if (!translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return app.installTranslator(&translator);
}

int CTarnfieldApp::InitInstance() {
    std::setlocale(LC_ALL, "");
    const bool japanese = IsJapaneseUserInterface();
    if (japanese) LoadJapaneseQtTexts(*this, qtTexts_);
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty()) arguments.removeFirst();
    CTarnfieldDlg dialog(arguments, japanese);
    dialog.exec();
    return 0;
}
