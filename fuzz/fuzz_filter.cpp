// The dataset's text filter: parsed, compiled against a small table of every
// column type (nulls and empty texts included) and applied to its rows.
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/filter.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

namespace {
Connection *g_conn = nullptr;
Dataset *g_ds = nullptr;

void applyText(const QString &text)
{
    try {
        g_ds->setFilterText(text);
        g_ds->setFiltered(true);
        // Walk the visible rows the way a grid would.
        for (int r = 0; r < g_ds->recordCount(); ++r)
            (void)g_ds->valueAt(r, 0);
    } catch (const DataError &) {
        // A refused filter is a valid outcome; the dataset must stay usable.
    }
    g_ds->setFiltered(false);
    g_ds->setFilter(Filter());
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    g_conn = new Connection;
    g_conn->open(ConnectionParams::sqlite(dir.filePath(QStringLiteral("fuzz.db"))));
    g_conn->exec(QStringLiteral("CREATE TABLE T (Id INTEGER PRIMARY KEY, Parent_id VARCHAR(20), Name VARCHAR(40),"
                                " Type VARCHAR(10), State INTEGER, Price DOUBLE, Made DATETIME)"));
    const char *rows[] = {
        "INSERT INTO T VALUES (1, '0', '办公桌', '0001', 0, 120.5, '2024-01-02 00:00:00')",
        "INSERT INTO T VALUES (2, '0001', 'O''Brien 100%', '0002', 1, 0, '1999-12-31 23:59:59')",
        "INSERT INTO T VALUES (3, '', '', '', 2, -3.25, NULL)",
        "INSERT INTO T VALUES (4, NULL, NULL, NULL, NULL, NULL, NULL)",
        "INSERT INTO T VALUES (5, '0001', 'a\\b_c[d]', '00%', 3, 1e9, '2000-02-29 12:00:00')",
        // A long text, so like patterns with many runs have something to chew on.
        "INSERT INTO T VALUES (6, '00010001', 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab', '0001', 1, 2.5, '2024-02-29 00:00:00')",
    };
    for (const char *sql : rows)
        g_conn->exec(QString::fromUtf8(sql));
    g_ds = new Dataset(g_conn);
    g_ds->setTable(QStringLiteral("T"));
    g_ds->open();
    // First use of lazily built tables (regular expressions, codecs) before the
    // leak checker starts counting.
    applyText(QStringLiteral("Parent_id='0001' and Type like '00%' or not State<3"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        (void)Filter::parse(text);
    } catch (const DataError &) {
    }
    applyText(text);
    return 0;
}
