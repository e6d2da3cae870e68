#include "ui/WindowLayout.h"

#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolTip>
#include <QUrl>
#include <QWidget>

namespace {

void moveToCentre(QWidget *window) {
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize outer = window->frameGeometry().size();
    const QRect area = screen->geometry();
    window->move(area.x() + (area.width() - outer.width()) / 2,
                 area.y() + (area.height() - outer.height()) / 2);
}

// Waits for the first event that shows the window framed (a frame larger than the window) and
// centres it once more by its real outer size. Without a window manager it never comes.
class CentreOnceFramed : public QObject {
public:
    explicit CentreOnceFramed(QWidget *window) : QObject(window) { setObjectName(name()); }
    static QString name() { return QStringLiteral("centreOnceFramed"); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Move || event->type() == QEvent::Paint) {
            auto *window = static_cast<QWidget *>(watched);
            if (window->frameGeometry().size() != window->size()) {
                window->removeEventFilter(this);
                deleteLater();
                moveToCentre(window);
            }
        }
        return false;
    }
};

} // namespace

void centreOnScreen(QWidget *window) {
    moveToCentre(window);
    if (!window->isVisible() &&
        !window->findChild<QObject *>(CentreOnceFramed::name(), Qt::FindDirectChildrenOnly))
        window->installEventFilter(new CentreOnceFramed(window));
}

QFont fittedFont(const QWidget *control, const QString &caption, int room) {
    QFont font = control->font();
    while (QFontMetrics(font).horizontalAdvance(caption) > room && font.pointSizeF() > 6.5)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    return font;
}

QString FittedLabel::shownText(QFont *font) const {
    // A little room beside the text: some letters' ink reaches past their advance.
    const int room = contentsRect().width() - 4;
    *font = fittedFont(this, text(), room);
    return QFontMetrics(*font).elidedText(text(), Qt::ElideMiddle, room);
}

void FittedLabel::paintEvent(QPaintEvent *) {
    QFont font;
    const QString shown = shownText(&font);
    QPainter painter(this);
    painter.setFont(font);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}

bool FittedLabel::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        QFont font;
        if (shownText(&font) != text()) {
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
            return true;
        }
    }
    return QLabel::event(event);
}

void announceWrittenFile(QWidget *parent, const QString &title, const QString &text,
                         const QString &file) {
    QMessageBox box(QMessageBox::Information, title,
                    QStringLiteral("%1\n%2").arg(text, QDir::toNativeSeparators(file)),
                    QMessageBox::Ok, parent);
    QPushButton *open = box.addButton(QStringLiteral("Öppna"), QMessageBox::ActionRole);
    QPushButton *folder = box.addButton(QStringLiteral("Visa i mappen"), QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    if (box.clickedButton() == open)
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    else if (box.clickedButton() == folder)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

QString countOf(qint64 n, const QString &one, const QString &many) {
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}
