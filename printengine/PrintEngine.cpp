#include "printengine/PrintEngine.h"

#include "MDlib/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>

using lodvik::Error;

namespace {

constexpr double TwipsPerInch = 1440.0;
constexpr int TwipsPerPoint = 20;

// Paints every page on a printer or PDF writer whose page layout is already set. Returns false
// when the device refused to start, to take a page or to finish.
bool paintDocument(const PrintEngine &engine, QPagedPaintDevice &device) {
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const double sx = device.logicalDpiX() / TwipsPerInch;
    const double sy = device.logicalDpiY() / TwipsPerInch;
    for (int page = 1; page <= engine.pageCount(); ++page) {
        if (page > 1 && !device.newPage()) {
            painter.end();
            return false;
        }
        painter.save();
        painter.scale(sx, sy);
        engine.renderPage(painter, page);
        painter.restore();
    }
    return painter.end();
}

} // namespace

PrintEngine::PrintEngine(QObject *parent) : QObject(parent) {}
PrintEngine::~PrintEngine() = default;

void PrintEngine::PrintSetup(int value) {
    m_printSetup = value;
}

void PrintEngine::DocAction(int action) {
    switch (action) {
    case StartDoc:
        m_pages = {PrintPage{}};
        m_open = true;
        m_textLeft = 0;
        m_textTop = 0;
        emit changed();
        return;
    case NewPage:
        if (!m_open)
            throw Error(QStringLiteral("Ingen utskrift är påbörjad."));
        m_pages.append(PrintPage{});
        m_textLeft = 0;
        m_textTop = 0;
        emit changed();
        return;
    case EndDoc:
        m_open = false;
        emit changed();
        return;
    case PrintDoc:
        printDocument();
        return;
    default:
        throw Error(QStringLiteral("Okänt utskriftskommando: %1.").arg(action));
    }
}

void PrintEngine::FontName(const QString &name) {
    if (name.trimmed().isEmpty())
        throw Error(QStringLiteral("Typsnittet saknar namn."));
    m_fontName = name;
}

void PrintEngine::FontSize(int points) {
    // The size in twips must stay a 16-bit position.
    if (points < 1 || points > 1638)
        throw Error(QStringLiteral("Ogiltig teckenstorlek: %1.").arg(points));
    m_fontSize = points;
}

void PrintEngine::FontBold(bool bold) {
    m_fontBold = bold;
}

void PrintEngine::TextLeft(int twips) {
    m_textLeft = twips;
}

void PrintEngine::TextTop(int twips) {
    m_textTop = twips;
}

PrintPage &PrintEngine::currentPage() {
    if (!m_open || m_pages.isEmpty())
        throw Error(QStringLiteral("Ingen utskrift är påbörjad."));
    return m_pages.last();
}

void PrintEngine::PrintText(const QString &text) {
    PrintPage &page = currentPage();
    if (text.isEmpty())
        return;
    page.items.append({m_textLeft, m_textTop, text, m_fontName, m_fontSize, m_fontBold});
    emit changed();
}

void PrintEngine::PreviewPage(int page) {
    m_previewPage = page;
    emit changed();
}

void PrintEngine::Refresh() {
    emit refreshRequested();
}

QSizeF PrintEngine::paperSizeTwips() {
    return QPageSize(QPageSize::A4).size(QPageSize::Inch) * TwipsPerInch;
}

void PrintEngine::setLandscape(bool landscape) {
    m_landscape = landscape;
    emit changed();
}

QSizeF PrintEngine::pageSizeTwips() const {
    return m_landscape ? paperSizeTwips().transposed() : paperSizeTwips();
}

void PrintEngine::renderPage(QPainter &painter, int page) const {
    if (page < 1 || page > pageCount())
        return;
    painter.save();
    painter.setPen(Qt::black);
    for (const PrintItem &item : m_pages.at(page - 1).items) {
        // The painter works in twips, so the size in twips is the font's pixel size there.
        QFont font(item.fontName);
        font.setPixelSize(item.fontSize * TwipsPerPoint);
        font.setBold(item.bold);
        painter.setFont(font);
        const QFontMetricsF metrics(font);
        painter.drawText(QPointF(item.x, item.y + metrics.ascent()), item.text);
    }
    painter.restore();
}

void PrintEngine::printOn(QPrinter &printer) const {
    printer.setDocName(QStringLiteral("LodvikProdSok"));
    printer.setFullPage(false); // positions count from the printable origin
    if (m_landscape)
        printer.setPageOrientation(QPageLayout::Landscape);
    if (!paintDocument(*this, printer) || printer.printerState() == QPrinter::Error)
        throw PrinterUnavailable(QStringLiteral("Utskriften kunde inte skickas till skrivaren %1.")
                                     .arg(printer.printerName()));
}

void PrintEngine::printDocument() {
    if (m_pages.isEmpty())
        throw Error(QStringLiteral("Det finns ingen utskrift att skriva ut."));
    QPrinterInfo info;
    if (!m_printerName.isEmpty()) {
        info = QPrinterInfo::printerInfo(m_printerName);
        if (info.isNull())
            throw PrinterUnavailable(
                QStringLiteral("Skrivaren %1 finns inte på den här datorn.").arg(m_printerName));
    } else {
        info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) {
            const QList<QPrinterInfo> all = QPrinterInfo::availablePrinters();
            if (all.isEmpty())
                throw PrinterUnavailable(
                    QStringLiteral("Det finns ingen skrivare installerad på den här datorn."));
            info = all.first();
        }
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printOn(printer);
}

void PrintEngine::writePdf(const QString &path) const {
    if (m_pages.isEmpty())
        throw Error(QStringLiteral("Det finns ingen utskrift att spara."));
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    // First: "rapporter/" names no file, yet its folder is there.
    if (target.isDir())
        throw Error(QStringLiteral("%1 är en mapp, inte en fil.").arg(path));
    if (target.fileName().isEmpty() || !QFileInfo(folder).isDir())
        throw Error(QStringLiteral("Mappen för PDF-filen %1 finns inte.").arg(path));

    lodvik::saveFile(path, QStringLiteral("PDF-filen %1").arg(QDir::toNativeSeparators(path)),
                     [&](QIODevice &device) {
                         QPdfWriter writer(&device);
                         writer.setResolution(1200);
                         writer.setCreator(QStringLiteral("LodvikProdSok"));
                         writer.setTitle(target.completeBaseName());
                         // A PDF page is printable to its edges.
                         writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                                          m_landscape ? QPageLayout::Landscape
                                                                      : QPageLayout::Portrait,
                                                          QMarginsF(0, 0, 0, 0)));
                         if (!paintDocument(*this, writer))
                             throw Error(QStringLiteral("Kunde inte skriva PDF-filen %1.")
                                             .arg(QDir::toNativeSeparators(path)));
                     });
}
