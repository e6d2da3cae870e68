#pragma once

#include "MDlib/Error.h"

#include <QList>
#include <QObject>
#include <QSizeF>
#include <QString>

class QPainter;
class QPrinter;

// One text placed on a page. Positions are twips (1440 to the inch) from the page's printable
// origin; (x, y) is the left end of the text and the TOP of its line (not the baseline), on
// every device.
struct PrintItem {
    int x = 0;
    int y = 0;
    QString text;
    QString fontName;
    int fontSize = 10; // points
    bool bold = false;

    bool operator==(const PrintItem &) const = default;
};

struct PrintPage {
    QList<PrintItem> items;
};

// The print engine: keeps a document of pages of positioned texts and renders any page through
// one paint routine, on the preview display, on a printer and into PDF. The operations carry the
// names the printouts use: property stores become setters, property reads getters.
//
// Failures raise lodvik::Error; the layout routines drop them, the windows report them.
class PrintEngine : public QObject {
    Q_OBJECT

public:
    // DocAction commands.
    enum : int { StartDoc = 3, NewPage = 4, EndDoc = 6, PrintDoc = 11 };

    explicit PrintEngine(QObject *parent = nullptr);
    ~PrintEngine() override;

    // 1 prints on the system's default printer; the value is kept as given.
    void PrintSetup(int value);
    int PrintSetup() const { return m_printSetup; }

    // 3 begins a new document (replacing the kept one), 4 ends the page and starts the next,
    // 6 ends the document, 11 prints every kept page on the printer.
    void DocAction(int action);

    void FontName(const QString &name);
    QString FontName() const { return m_fontName; }
    void FontSize(int points);
    int FontSize() const { return m_fontSize; }
    void FontBold(bool bold);
    bool FontBold() const { return m_fontBold; }

    void TextLeft(int twips);
    int TextLeft() const { return m_textLeft; }
    void TextTop(int twips);
    int TextTop() const { return m_textTop; }

    // Places the text at (TextLeft, TextTop) in the current font on the current page. The
    // position does not move. An empty text leaves nothing on the page.
    void PrintText(const QString &text);

    // The page the display shows, from 1; a number outside the document shows a blank page.
    void PreviewPage(int page);
    int PreviewPage() const { return m_previewPage; }
    // Redraws the display at once.
    void Refresh();

    // The document.
    const QList<PrintPage> &pages() const { return m_pages; }
    int pageCount() const { return int(m_pages.size()); }
    bool documentOpen() const { return m_open; }

    // The paper the layout is made for (A4, portrait), in twips.
    static QSizeF paperSizeTwips();
    // Landscape turns the A4 sheet for every device (preview, printer, PDF); portrait unless a
    // printout asks. It holds across documents.
    void setLandscape(bool landscape);
    bool landscape() const { return m_landscape; }
    // The sheet as the pages are laid out on it, in twips: paperSizeTwips(), turned when
    // landscape.
    QSizeF pageSizeTwips() const;

    // The one paint routine: draws page `page` (from 1; nothing outside the document) with the
    // painter's coordinates in twips from the printable origin.
    void renderPage(QPainter &painter, int page) const;

    // Prints every page on the printer (DocAction 11 uses it with the chosen printer).
    void printOn(QPrinter &printer) const;
    // Writes every page into a PDF file at 1200 device units to the inch; an existing file at
    // path is replaced only when the new one is complete.
    void writePdf(const QString &path) const;

    // The printer DocAction 11 uses; empty means the system's default printer.
    void setPrinterName(const QString &name) { m_printerName = name; }
    QString printerName() const { return m_printerName; }

signals:
    // The document or the page shown changed; the display repaints when it can.
    void changed();
    // Refresh: the display repaints now.
    void refreshRequested();

private:
    PrintPage &currentPage();
    void printDocument();

    QList<PrintPage> m_pages;
    bool m_open = false;
    int m_printSetup = 0;
    QString m_fontName = QStringLiteral("Times New Roman");
    int m_fontSize = 10;
    bool m_fontBold = false;
    int m_textLeft = 0;
    int m_textTop = 0;
    int m_previewPage = 1;
    bool m_landscape = false;
    QString m_printerName;
};

// DocAction 11 could not reach a printer (none set up, or the one chosen is missing or failed).
// The document is still kept; the caller may offer a PDF instead.
class PrinterUnavailable : public lodvik::Error {
public:
    using lodvik::Error::Error;
};
