#pragma once
// The application: chooses the language, loads Qt's own Japanese texts, and shows the main dialog
// modally until the user quits.

#include <QApplication>
#include <QTranslator>

class CTarnfieldApp : public QApplication {
    Q_OBJECT
  public:
    CTarnfieldApp(int& argc, char** argv);

    /// Shows the dialog and returns when it has closed; the program then ends.
    int InitInstance();

    /// True when the first language of the user's interface is Japanese.
    static bool IsJapaneseUserInterface();
    /// Loads Qt's own Japanese texts (buttons, the folder picker) into app; false when they are missing.
    static bool LoadJapaneseQtTexts(QCoreApplication& app, QTranslator& translator);

  private:
    QTranslator qtTexts_;
};
