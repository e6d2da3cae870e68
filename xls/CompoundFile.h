#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

namespace xls {

// Wraps one stream in a Compound File Binary container (version 3, 512-byte sectors), the
// container a .xls file is. Streams shorter than the 4096-byte mini-stream cutoff are padded to
// it, so that everything lives in regular sectors and no mini stream is needed.
QByteArray compoundFile(const QString &streamName, const QByteArray &stream);

// The same container written to out piece by piece: writeStream writes the stream's streamSize
// bytes to the device it is given, and the container goes around it without a copy of the stream.
// Raises lodvik::Error before writing anything when the stream is too large for the format.
void writeCompoundFile(QIODevice &out, const QString &streamName, qint64 streamSize,
                       const std::function<void(QIODevice &out)> &writeStream);

} // namespace xls
