#pragma once

#include "search/DataControl.h"

// The control showing the rows of query on source.
inline void show(DataControl &control, SearchSource *source, const QString &query) {
    control.setSource(source);
    control.setRecordSource(query);
    control.refresh();
}
