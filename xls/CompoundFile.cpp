#include "xls/CompoundFile.h"

#include "MDlib/Error.h"

#include <QBuffer>
#include <QtEndian>

#include <algorithm>

#include <cstdint>
#include <vector>

namespace xls {

namespace {

constexpr int SectorSize = 512;
constexpr int EntriesPerSector = SectorSize / 4;
constexpr int HeaderDifatEntries = 109;
constexpr uint32_t FreeSect = 0xFFFFFFFF;
constexpr uint32_t EndOfChain = 0xFFFFFFFE;
constexpr uint32_t FatSect = 0xFFFFFFFD;
constexpr uint32_t DifSect = 0xFFFFFFFC;
constexpr uint32_t NoStream = 0xFFFFFFFF;
constexpr int MiniStreamCutoff = 4096;

void put16(QByteArray &b, int offset, uint16_t v) {
    qToLittleEndian(v, b.data() + offset);
}
void put32(QByteArray &b, int offset, uint32_t v) {
    qToLittleEndian(v, b.data() + offset);
}

// One 128-byte directory entry.
QByteArray directoryEntry(const QString &name, uint8_t type, uint32_t child, uint32_t start,
                          uint32_t size) {
    QByteArray e(128, '\0');
    if (!name.isEmpty()) {
        const int chars = int(name.size());
        for (int i = 0; i < chars; ++i)
            put16(e, 2 * i, name.at(i).unicode());
        put16(e, 64, uint16_t((chars + 1) * 2)); // with the terminating null
    }
    e[66] = char(type);
    e[67] = char(1); // black: a one-node tree is trivially balanced
    put32(e, 68, NoStream);
    put32(e, 72, NoStream);
    put32(e, 76, child);
    put32(e, 116, start);
    put32(e, 120, size);
    return e;
}

} // namespace

void writeCompoundFile(QIODevice &out, const QString &streamName, qint64 size,
                       const std::function<void(QIODevice &out)> &writeStream) {
    if (streamName.size() > 31)
        throw lodvik::Error(QStringLiteral("Strömnamnet %1 är för långt.").arg(streamName));
    // A stream below the cutoff is padded up to it, so that it lives in regular sectors.
    const qint64 streamSize = std::max<qint64>(size, MiniStreamCutoff);
    if (streamSize > 0x7FFF0000)
        throw lodvik::Error(QStringLiteral("Arbetsboken blir för stor för filformatet."));
    const int dataSectors = int((streamSize + SectorSize - 1) / SectorSize);

    // The FAT must map every sector, its own and the DIFAT's included: grow until it fits.
    const int dirSectors = 1;
    int fatSectors = 1;
    int difatSectors = 0;
    for (;;) {
        difatSectors =
            fatSectors > HeaderDifatEntries
                ? (fatSectors - HeaderDifatEntries + EntriesPerSector - 2) / (EntriesPerSector - 1)
                : 0;
        const int total = dataSectors + dirSectors + fatSectors + difatSectors;
        if (fatSectors * EntriesPerSector >= total)
            break;
        ++fatSectors;
    }

    // Layout: stream sectors, directory, FAT sectors, DIFAT sectors.
    const uint32_t dirStart = uint32_t(dataSectors);
    const uint32_t fatStart = dirStart + dirSectors;
    const uint32_t difatStart = fatStart + uint32_t(fatSectors);

    std::vector<uint32_t> fat(size_t(fatSectors) * EntriesPerSector, FreeSect);
    for (int i = 0; i < dataSectors; ++i)
        fat[size_t(i)] = i + 1 < dataSectors ? uint32_t(i + 1) : EndOfChain;
    fat[dirStart] = EndOfChain;
    for (int i = 0; i < fatSectors; ++i)
        fat[fatStart + uint32_t(i)] = FatSect;
    for (int i = 0; i < difatSectors; ++i)
        fat[difatStart + uint32_t(i)] = DifSect;

    QByteArray header(SectorSize, '\0');
    static const unsigned char signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    for (int i = 0; i < 8; ++i)
        header[i] = char(signature[i]);
    put16(header, 0x18, 0x003E); // minor version
    put16(header, 0x1A, 0x0003); // major version 3: 512-byte sectors
    put16(header, 0x1C, 0xFFFE); // little-endian
    put16(header, 0x1E, 9);      // sector shift
    put16(header, 0x20, 6);      // mini sector shift
    put32(header, 0x2C, uint32_t(fatSectors));
    put32(header, 0x30, dirStart);
    put32(header, 0x38, MiniStreamCutoff);
    put32(header, 0x3C, EndOfChain); // no mini FAT
    put32(header, 0x44, difatSectors > 0 ? difatStart : EndOfChain);
    put32(header, 0x48, uint32_t(difatSectors));
    for (int i = 0; i < HeaderDifatEntries; ++i)
        put32(header, 0x4C + 4 * i, i < fatSectors ? fatStart + uint32_t(i) : FreeSect);

    QByteArray directory;
    directory += directoryEntry(QStringLiteral("Root Entry"), 5, 1, EndOfChain, 0);
    directory += directoryEntry(streamName, 2, NoStream, 0, uint32_t(streamSize));
    directory += directoryEntry(QString(), 0, NoStream, 0, 0);
    directory += directoryEntry(QString(), 0, NoStream, 0, 0);
    // Unused entries must have no siblings or children either.
    for (int e = 2; e < 4; ++e) {
        put32(directory, e * 128 + 68, NoStream);
        put32(directory, e * 128 + 72, NoStream);
        put32(directory, e * 128 + 76, NoStream);
        directory[e * 128 + 67] = 0;
    }

    QByteArray fatBytes(fatSectors * SectorSize, '\0');
    for (size_t i = 0; i < fat.size(); ++i)
        put32(fatBytes, int(i) * 4, fat[i]);

    QByteArray difatBytes(difatSectors * SectorSize, '\0');
    for (int s = 0; s < difatSectors; ++s) {
        for (int i = 0; i < EntriesPerSector - 1; ++i) {
            const int fatIndex = HeaderDifatEntries + s * (EntriesPerSector - 1) + i;
            put32(difatBytes, s * SectorSize + 4 * i,
                  fatIndex < fatSectors ? fatStart + uint32_t(fatIndex) : FreeSect);
        }
        put32(difatBytes, s * SectorSize + SectorSize - 4,
              s + 1 < difatSectors ? difatStart + uint32_t(s + 1) : EndOfChain);
    }

    out.write(header);
    writeStream(out);
    out.write(QByteArray(qint64(dataSectors) * SectorSize - size, '\0'));
    out.write(directory);
    out.write(fatBytes);
    out.write(difatBytes);
}

QByteArray compoundFile(const QString &streamName, const QByteArray &stream) {
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    writeCompoundFile(buffer, streamName, stream.size(),
                      [&](QIODevice &out) { out.write(stream); });
    return file;
}

} // namespace xls
