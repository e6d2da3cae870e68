#pragma once

#include <QScrollArea>
#include <QWidget>

class PrintEngine;

// The engine's on-screen display: the page the engine's PreviewPage names, drawn as a sheet of
// paper as wide as the widget. It follows the engine: a changed document repaints when the event
// loop runs, Refresh repaints at once.
class PrintPreviewWidget : public QWidget {
    Q_OBJECT

public:
    explicit PrintPreviewWidget(PrintEngine *engine, QWidget *parent = nullptr);

    // Makes the widget `width` pixels wide and as high as a page of that width needs.
    void fitWidth(int width);
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

    // The sheet's rectangle inside the widget.
    QRectF pageRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PrintEngine *m_engine;
};

// A scroll area that keeps the PrintPreviewWidget inside it as wide as its visible part, so a
// whole page width is always in view and the pages scroll up and down.
class PrintPreviewArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

protected:
    void resizeEvent(QResizeEvent *event) override;
};
