#include "MDlib/SafeFile.h"

#include "MDlib/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace lodvik {

namespace {

// Hands the writer's bytes to the file and notes any short write: on a full disk an unbuffered
// write may store part of a block without an error, which only the count shows.
class CheckedWrites : public QIODevice {
public:
    explicit CheckedWrites(QSaveFile &file) : m_file(file) { open(QIODevice::WriteOnly); }
    bool failed() const { return m_failed; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override {
        if (m_failed)
            return -1;
        if (m_file.write(data, size) != size) {
            m_failed = true;
            return -1;
        }
        return size;
    }

private:
    QSaveFile &m_file;
    bool m_failed = false;
};

} // namespace

void saveFile(const QString &fileName, const QString &what,
              const std::function<void(QIODevice &)> &write) {
    const auto fail = [&](const QString &why) {
        throw Error(QStringLiteral("%1 kan inte sparas: %2").arg(what, why));
    };
    const QFileInfo info(fileName);
    const QDir folder = info.absoluteDir();
    if (!folder.exists())
        fail(QStringLiteral("mappen %1 finns inte.")
                 .arg(QDir::toNativeSeparators(folder.absolutePath())));
    if (info.isDir())
        fail(QStringLiteral("det finns en mapp med det namnet."));

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(file.errorString());
    CheckedWrites device(file);
    try {
        write(device);
    } catch (...) {
        file.cancelWriting();
        throw;
    }
    if (device.failed() || file.error() != QFileDevice::NoError) {
        const QString why = file.error() != QFileDevice::NoError
                                ? file.errorString()
                                : QStringLiteral("disken är full eller filen blev ofullständig");
        file.cancelWriting();
        fail(why);
    }
    if (!file.commit())
        fail(file.errorString());
}

} // namespace lodvik
