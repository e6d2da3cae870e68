#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <QTimer>

// Answers every message box (and input dialog) that opens while it lives, and keeps what they
// said: a test can then drive a handler that asks or reports.
class BoxAnswerer {
public:
    // NoButton presses Enter at once (the default button); a button the box lacks rejects it.
    explicit BoxAnswerer(QMessageBox::StandardButton button = QMessageBox::Ok) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this, button] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *input = qobject_cast<QInputDialog *>(modal)) {
                ++inputs;
                input->reject();
                return;
            }
            auto *box = qobject_cast<QMessageBox *>(modal);
            if (!box)
                return;
            texts.append(box->text());
            if (button == QMessageBox::NoButton)
                QTest::keyClick(box, Qt::Key_Return);
            else if (QAbstractButton *answer = box->button(button))
                answer->click();
            else
                box->reject();
        });
        m_timer.start();
    }

    int count() const { return int(texts.size()); }
    QString text() const { return texts.isEmpty() ? QString() : texts.last(); }

    QStringList texts;
    int inputs = 0; // input dialogs, each cancelled

private:
    QTimer m_timer;
};
