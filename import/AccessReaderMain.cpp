// lodvik-accessreader ACCESSFILE WORKFILE: the child process of the import (see AccessReader.h).
// The import starts it with limits on its time and memory; it is not meant to be run by hand.

#include "import/AccessReader.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fputs("Användning: lodvik-accessreader ACCESSFIL ARBETSFIL\n", stderr);
        return 2;
    }
    return accessimport::readAccessFile(QFile::decodeName(argv[1]), QFile::decodeName(argv[2]),
                                        stdout);
}
