#pragma once

#include <QLabel>

class QFont;
class QString;
class QWidget;

// Centres a window on the whole primary screen by its outer size, frame included. A small screen
// gives a negative position, which is kept. A window that has not been shown has no frame yet;
// it is centred once more as soon as the window manager has framed it.
void centreOnScreen(QWidget *window);

// The font at which caption fits into room pixels: the control's own, or a little smaller (down
// to 6.5 points) where the fonts standing in for the design's are wider than the design's.
QFont fittedFont(const QWidget *control, const QString &caption, int room);

// A one-line label whose text, where it is wider than the label, is set smaller as fittedFont
// does and then cut in the middle with an ellipsis; its tooltip shows the whole text. For a title
// that also shows progress captions of any length.
class FittedLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QString shownText(QFont *font) const;
};

// A count with its noun in the right number: "1 produkt", "3 produkter".
QString countOf(qint64 n, const QString &one, const QString &many);

// Tells the operator where a file was written, in an information box that can also open the
// file or its folder with the desktop's programs.
void announceWrittenFile(QWidget *parent, const QString &title, const QString &text,
                         const QString &file);
