#include "printengine/PrintPreviewWidget.h"

#include "printengine/PrintEngine.h"

#include <QPainter>

namespace {
constexpr int Margin = 6; // grey border around the sheet
}

PrintPreviewWidget::PrintPreviewWidget(PrintEngine *engine, QWidget *parent)
    : QWidget(parent), m_engine(engine) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(engine, &PrintEngine::changed, this, qOverload<>(&QWidget::update));
    connect(engine, &PrintEngine::refreshRequested, this, qOverload<>(&QWidget::repaint));
}

int PrintPreviewWidget::heightForWidth(int width) const {
    const QSizeF paper = m_engine->pageSizeTwips();
    const double sheetWidth = qMax(1, width - 2 * Margin);
    return int(sheetWidth * paper.height() / paper.width() + 0.5) + 2 * Margin;
}

QSize PrintPreviewWidget::sizeHint() const {
    return {641, heightForWidth(641)};
}

void PrintPreviewWidget::fitWidth(int width) {
    resize(width, heightForWidth(width));
}

QRectF PrintPreviewWidget::pageRect() const {
    const QSizeF paper = m_engine->pageSizeTwips();
    const double w = qMax(1, width() - 2 * Margin);
    return {double(Margin), double(Margin), w, w * paper.height() / paper.width()};
}

void PrintPreviewWidget::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(128, 128, 128));
    const QRectF sheet = pageRect();
    painter.fillRect(sheet.translated(2, 2), QColor(64, 64, 64));
    painter.fillRect(sheet, Qt::white);

    const QSizeF paper = m_engine->pageSizeTwips();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.translate(sheet.topLeft());
    painter.scale(sheet.width() / paper.width(), sheet.height() / paper.height());
    painter.setClipRect(QRectF(QPointF(0, 0), paper));
    m_engine->renderPage(painter, m_engine->PreviewPage());
}

void PrintPreviewArea::resizeEvent(QResizeEvent *event) {
    QScrollArea::resizeEvent(event);
    if (auto *display = qobject_cast<PrintPreviewWidget *>(widget()))
        display->fitWidth(viewport()->width());
}
