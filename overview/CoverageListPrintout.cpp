#include "overview/CoverageListPrintout.h"

#include "MDlib/Error.h"
#include "printengine/PrintEngine.h"
#include "printengine/PrintPreviewWidget.h"
#include "reports/ListColumns.h"

#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

using reports::ListCell;
using reports::ListColumn;
using reports::listColumn;

namespace overview {

namespace {

// Twips on A4 landscape (16838 × 11906).
constexpr int Left = 720;
constexpr int Right = 16838 - 720;
constexpr int Top = 600;
constexpr int HeadingTop = 1350; // two lines of column headings
constexpr int FirstRow = 1900;
constexpr int LastRowBottom = 10900;
constexpr int FooterTop = 11050;
constexpr int Gap = 140; // between columns
constexpr int DescriptionMax = 3200;
constexpr int CutFloor = 900; // the least a text cut to fit the page keeps
const QString Font = QStringLiteral("Times New Roman");

// Measures texts as the engine draws them: the font's pixel size in twips.
class Measure {
public:
    explicit Measure(int points, bool bold = false) {
        QFont font(Font);
        font.setPixelSize(points * 20);
        font.setBold(bold);
        m_metrics = std::make_unique<QFontMetricsF>(font);
    }
    double width(const QString &text) const { return m_metrics->horizontalAdvance(text); }
    QString elided(const QString &text, double width) const {
        return m_metrics->elidedText(text, Qt::ElideRight, width);
    }

private:
    std::unique_ptr<QFontMetricsF> m_metrics;
};

QString cellText(const ListCell &cell) {
    static const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
    switch (cell.kind) {
    case ListCell::Kind::Empty:
        return {};
    case ListCell::Kind::Text:
        return cell.text;
    case ListCell::Kind::Number:
        return cell.number == std::round(cell.number) && std::abs(cell.number) < 1e15
                   ? swedish.toString(qlonglong(cell.number))
                   : swedish.toString(cell.number, 'g', 15);
    }
    return {};
}

// The printout's columns: the window's.
constexpr int ColumnCount = reports::ShownColumnCount;

// The texts a row may show cut to their column's width, in the order they give up their room.
std::vector<int> cutOrder() {
    std::vector<int> columns;
    for (int c = 0; c < ColumnCount; ++c)
        if (listColumn(ListColumn(c)).cut > 0)
            columns.push_back(c);
    std::sort(columns.begin(), columns.end(), [](int a, int b) {
        return listColumn(ListColumn(a)).cut < listColumn(ListColumn(b)).cut;
    });
    return columns;
}

bool cuttable(int c) {
    return listColumn(ListColumn(c)).cut > 0;
}

bool rightAligned(int c) {
    return listColumn(ListColumn(c)).kind == reports::ListColumnInfo::Kind::Number;
}

// A heading on two lines, split at its last blank.
QStringList headingLines(int c) {
    const QString heading = QString::fromUtf8(listColumn(ListColumn(c)).heading);
    const qsizetype blank = heading.lastIndexOf(QLatin1Char(' '));
    if (blank < 0)
        return {QString(), heading};
    return {heading.left(blank), heading.mid(blank + 1)};
}

void text(PrintEngine &engine, int x, int y, const QString &s) {
    engine.TextLeft(x);
    engine.TextTop(y);
    engine.PrintText(s);
}

} // namespace

void printCoverageList(PrintEngine &engine, const std::vector<const reports::CoverageRow *> &rows,
                       const figures::Period &period, int targetWeeks,
                       const std::vector<int> &shownColumns, const QDate &today) {
    std::vector<int> columns;
    for (const int c : shownColumns)
        if (c >= 0 && c < ColumnCount)
            columns.push_back(c);
    if (columns.empty())
        for (int c = 0; c < ColumnCount; ++c)
            columns.push_back(c);
    const size_t n = columns.size();
    // Texts of every cell once; the column widths follow the widest, at 9 points or smaller
    // when the page would not hold them.
    int points = 9;
    std::vector<QString> cells(rows.size() * n);
    const auto cell = [&](size_t row, size_t k) -> QString & { return cells[row * n + k]; };
    const planning::OrderTotal toOrder = planning::orderTotal(rows, targetWeeks);
    const reports::ListContext context{period.date(), double(targetWeeks), today, true};
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t k = 0; k < n; ++k)
            cell(i, k) = cellText(reports::listCell(*rows[i], ListColumn(columns[k]), context));
    std::vector<double> widths(n);
    double total = 0;
    for (;;) {
        const Measure body(points);
        const Measure bold(points, true);
        for (size_t k = 0; k < n; ++k) {
            double w = 0;
            for (const QString &line : headingLines(columns[k]))
                w = std::max(w, bold.width(line));
            for (size_t i = 0; i < rows.size(); ++i)
                w = std::max(w, body.width(cell(i, k)));
            if (columns[k] == int(ListColumn::Description))
                w = std::min<double>(w, DescriptionMax);
            widths[k] = std::ceil(w);
        }
        total = 0;
        for (double w : widths)
            total += w + Gap;
        if (total <= Right - Left || points == 6)
            break;
        --points;
    }
    // Still too wide at the smallest size: the texts that may be cut give up what the page
    // lacks, the mark first and the description last, none below CutFloor.
    double excess = total - (Right - Left);
    for (const int c : cutOrder()) {
        const auto k = size_t(std::find(columns.begin(), columns.end(), c) - columns.begin());
        if (excess <= 0)
            break;
        if (k == n)
            continue;
        const double cut = std::min(excess, std::max(0.0, widths[k] - CutFloor));
        widths[k] -= cut;
        excess -= cut;
    }

    const int lineHeight = points * 26; // 1.3 lines
    const int perPage = std::max(1, (LastRowBottom - FirstRow) / lineHeight);
    const int pages = std::max<int>(1, int((rows.size() + size_t(perPage) - 1) / size_t(perPage)));
    const Measure body(points);
    const QString heading = QStringLiteral("Täckningsöversikt");
    const QString subheading =
        QStringLiteral("Period %1   Mål %2 veckor   %3 produkter   Att beställa %4 förp. för %5 "
                       "produkter   Utskrivet %6")
            .arg(period.text())
            .arg(targetWeeks)
            .arg(rows.size())
            .arg(toOrder.packs)
            .arg(toOrder.products)
            .arg(today.toString(Qt::ISODate));

    engine.setLandscape(true);
    engine.DocAction(PrintEngine::StartDoc);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            engine.DocAction(PrintEngine::NewPage);
        engine.FontName(Font);
        engine.FontBold(true);
        engine.FontSize(14);
        text(engine, Left, Top, heading);
        engine.FontSize(10);
        engine.FontBold(false);
        text(engine, Left, Top + 380, subheading);

        engine.FontSize(points);
        engine.FontBold(true);
        const Measure bold(points, true);
        int x = Left;
        for (size_t k = 0; k < n; ++k) {
            const QStringList lines = headingLines(columns[k]);
            for (int l = 0; l < 2; ++l) {
                const double w = bold.width(lines[l]);
                const int at = rightAligned(columns[k]) ? x + int(widths[k] - w) : x;
                text(engine, at, HeadingTop + l * lineHeight, lines[l]);
            }
            x += int(widths[k]) + Gap;
        }

        engine.FontBold(false);
        const size_t first = size_t(page - 1) * size_t(perPage);
        const size_t last = std::min(rows.size(), first + size_t(perPage));
        for (size_t i = first; i < last; ++i) {
            const int y = FirstRow + int(i - first) * lineHeight;
            x = Left;
            for (size_t k = 0; k < n; ++k) {
                QString s = cell(i, k);
                const double w = widths[k];
                if (cuttable(columns[k]))
                    s = body.elided(s, w);
                const int at = rightAligned(columns[k]) ? x + int(w - body.width(s)) : x;
                text(engine, at, y, s);
                x += int(w) + Gap;
            }
        }

        engine.FontSize(9);
        const QString number = QStringLiteral("Sida %1 av %2").arg(page).arg(pages);
        text(engine, Right - int(Measure(9).width(number)), FooterTop, number);
    }
    engine.DocAction(PrintEngine::EndDoc);
}

// ---- CoverageListPreview ------------------------------------------------------------------

CoverageListPreview::CoverageListPreview(QWidget *parent)
    : QDialog(parent), m_engine(new PrintEngine(this)) {
    setWindowTitle(QStringLiteral("Täckningsöversikt – förhandsgranskning"));
    auto *layout = new QVBoxLayout(this);
    auto *area = new PrintPreviewArea(this);
    area->setWidgetResizable(false);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_display = new PrintPreviewWidget(m_engine, area);
    area->setWidget(m_display);
    layout->addWidget(area, 1);

    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Sida"), this));
    m_page = new QSpinBox(this);
    m_page->setRange(1, 1);
    row->addWidget(m_page);
    m_pages = new QLabel(this);
    row->addWidget(m_pages);
    row->addStretch(1);
    auto *print = new QPushButton(QStringLiteral("Skriv ut"), this);
    auto *pdf = new QPushButton(QStringLiteral("Spara som PDF..."), this);
    auto *close = new QPushButton(QStringLiteral("Stäng"), this);
    row->addWidget(print);
    row->addWidget(pdf);
    row->addWidget(close);
    layout->addLayout(row);

    connect(m_page, qOverload<int>(&QSpinBox::valueChanged), this, &CoverageListPreview::showPage);
    connect(print, &QPushButton::clicked, this, &CoverageListPreview::printAll);
    connect(pdf, &QPushButton::clicked, this, [this] { savePdf(QString()); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    choosePdfFile = [this](const QString &reason) {
        if (!reason.isEmpty() &&
            QMessageBox::question(this, windowTitle(),
                                  reason + QStringLiteral("\n\nVill du spara utskriften som PDF "
                                                          "i stället?")) != QMessageBox::Yes)
            return QString();
        return QFileDialog::getSaveFileName(
            this, QStringLiteral("Spara som PDF"),
            QDir::home().filePath(QStringLiteral("Tackningsoversikt.pdf")),
            QStringLiteral("PDF-filer (*.pdf)"));
    };
    resize(1000, 760);
}

void CoverageListPreview::showDocument() {
    const int pages = std::max(1, m_engine->pageCount());
    m_page->setRange(1, pages);
    m_pages->setText(QStringLiteral("av %1").arg(pages));
    m_page->setValue(1);
    showPage(1);
}

void CoverageListPreview::showPage(int page) {
    m_engine->PreviewPage(page);
    m_display->fitWidth(m_display->parentWidget() ? m_display->parentWidget()->width()
                                                  : m_display->width());
}

void CoverageListPreview::printAll() {
    try {
        m_engine->DocAction(PrintEngine::PrintDoc);
    } catch (const PrinterUnavailable &e) {
        savePdf(e.message());
    } catch (const lodvik::Error &e) {
        QMessageBox::warning(this, windowTitle(), e.message());
    }
}

void CoverageListPreview::savePdf(const QString &reason) {
    const QString file = choosePdfFile ? choosePdfFile(reason) : QString();
    if (file.isEmpty())
        return;
    try {
        m_engine->writePdf(file);
    } catch (const lodvik::Error &e) {
        QMessageBox::warning(this, windowTitle(), e.message());
    }
}

} // namespace overview
