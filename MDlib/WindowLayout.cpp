#include "MDlib/WindowLayout.h"

#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
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
