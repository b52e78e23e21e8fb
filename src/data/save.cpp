#include "data/save.h"
#include "data/connection.h"
#include "data/dataset.h"

void saveAll(Connection &conn, std::initializer_list<Dataset *> datasets, const std::function<void()> &work)
{
    saveAll(conn, datasets, work, {});
}

void saveAll(Connection &conn, std::initializer_list<Dataset *> datasets, const std::function<void()> &work,
             const std::function<void()> &prepare)
{
    try {
        Transaction tx(conn);
        if (prepare)
            prepare();
        for (Dataset *ds : datasets)
            ds->applyUpdates();
        if (work)
            work();
        tx.commit();
    } catch (...) {
        for (Dataset *ds : datasets)
            ds->releaseStatements();
        throw;
    }
    for (Dataset *ds : datasets)
        ds->commitUpdates();
}
