#pragma once

#include <QDialog>

#include <functional>

class PrintEngine;
class PrintPreviewWidget;
class QLabel;
class QPushButton;
class QScrollArea;
class QScrollBar;

// The print preview window "Utskrift": shows the pages of the last printout one at a time,
// prints them all, or is put away. There is one shared instance; it is created and loaded on
// first use and afterwards only hidden, so the page chosen carries over between printouts.
// Positions are those of the original design in twips, at 15 twips per pixel.
class skriv : public QDialog {
    Q_OBJECT

public:
    // The shared instance; the first call creates it and runs Form_Load, without showing it.
    static skriv &instance();
    // Whether the shared instance exists yet.
    static bool loaded();

    // Event handlers, named after their control and event.
    void Form_Load();
    void scrpage_Change();
    void Utskrift_Click();
    void Avbryta_Click();

    // The print engine the printouts write to.
    PrintEngine *vsPrinter = nullptr;

    // Controls, by their design names.
    QScrollArea *vsViewPort1 = nullptr;
    PrintPreviewWidget *vsPrinterDisplay = nullptr; // the engine's display inside the port
    QLabel *Label1 = nullptr;
    QScrollBar *scrpage = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *Avbryta = nullptr;
    QPushButton *Utskrift = nullptr;
    QLabel *Operation = nullptr;
    QLabel *Zoomfaktor = nullptr;
    QLabel *Sidor = nullptr; // "Sida 3 av 17" under the page number

    // When the printer cannot be reached: asks the operator whether to save the printout as PDF
    // (the reason is the message to show) and returns the chosen file, or "" to leave it.
    // Replaceable, so that tests run without dialogs.
    std::function<QString(const QString &reason)> choosePdfFile;
    // Reports a failure to the operator.
    std::function<void(const QString &message)> reportError;

private:
    explicit skriv(QWidget *parent = nullptr);
    ~skriv() override;
    static void destroyInstance();

    QString askForPdfFile(const QString &reason);
    void showPageOf();
};
