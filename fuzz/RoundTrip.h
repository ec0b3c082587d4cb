#pragma once
// What the fuzz targets with a round trip share: a record written and read back must be
// the record itself; when it is not, the written text and each differing field go to
// standard error and the run stops, so that libFuzzer keeps the input.

#include "exchange/Record.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

inline void requireSameRecord(const exchange::Record& record, const exchange::Record& reread, const QByteArray& written)
{
    if (reread == record)
        return;
    fprintf(stderr, "round trip differs:\n%s\n", written.constData());
    for (const QString& key : record.keys() + reread.keys())
        if (record.value(key) != reread.value(key))
            fprintf(stderr, "%s: [%s] -> [%s]\n", qPrintable(key), qPrintable(record.value(key).toString()),
                    qPrintable(reread.value(key).toString()));
    abort();
}
