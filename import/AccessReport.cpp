#include "import/AccessReader.h"

// Apart from the reading: the import parses these lines, and should not need libmdb for that.
namespace accessimport {

QByteArray reportLine(const QByteArrayList &fields) {
    QByteArrayList encoded;
    for (const QByteArray &field : fields)
        encoded.append(field.toPercentEncoding());
    return encoded.join(' ') + '\n';
}

QByteArrayList reportFields(const QByteArray &line) {
    QByteArrayList fields = line.trimmed().split(' ');
    for (QByteArray &field : fields)
        field = QByteArray::fromPercentEncoding(field);
    return fields;
}

} // namespace accessimport
