#pragma once

#include <QByteArray>
#include <QString>

namespace xls {

// Wraps one stream in a Compound File Binary container (version 3, 512-byte sectors), the
// container a .xls file is. Streams shorter than the 4096-byte mini-stream cutoff are padded to
// it, so that everything lives in regular sectors and no mini stream is needed.
QByteArray compoundFile(const QString &streamName, const QByteArray &stream);

} // namespace xls
