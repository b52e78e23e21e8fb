#include "queries/readonlyform.h"

#include "common/boundeditors.h"
#include "common/uilook.h"

#include "data/dataset.h"

#include <QGridLayout>
#include <QLabel>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

QWidget *readOnlyCard(Dataset *ds, const std::vector<std::vector<ReadOnlyField>> &rows, QWidget *parent, int columns)
{
    auto *w = new QWidget(parent);
    auto *g = new QGridLayout(w);
    g->setContentsMargins(6, 4, 6, 4);
    for (int r = 0; r < int(rows.size()); ++r) {
        int c = 0;
        for (const ReadOnlyField &f : rows[size_t(r)]) {
            g->addWidget(formLabel(QString::fromUtf8(f.label), w), r, c * 2);
            const QString field = QLatin1String(f.field);
            const bool date = field.endsWith(QLatin1String("Date"));
            QLineEdit *e = date ? static_cast<QLineEdit *>(new BoundDateEdit(ds, field, w)) : new BoundLineEdit(ds, field, w);
            e->setObjectName(field);
            e->setReadOnly(true);
            UiLook::applyEditorLook(e);
            g->addWidget(e, r, c * 2 + 1, 1, f.span * 2 - 1);
            c += f.span;
        }
    }
    for (int c = 0; c < columns; ++c)
        g->setColumnStretch(c * 2 + 1, 1);
    return w;
}

QGroupBox *readOnlyMemo(Dataset *ds, const QString &title, const QString &field, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    auto *memo = new BoundMemo(ds, field, box);
    memo->setObjectName(field);
    memo->setReadOnly(true);
    UiLook::applyEditorLook(memo);
    (new QVBoxLayout(box))->addWidget(memo);
    return box;
}

