// The date editor's reader: whatever it accepts must be a valid date that the
// editor shows in a form it reads back as the same date.
#include "common/boundeditors.h"

#include <QApplication>
#include <QDate>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
DateEdit *g_edit = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    g_edit = new DateEdit;
    g_edit->setText(QStringLiteral("2024/1/2"));
    (void)g_edit->date();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QDate d = DateEdit::parse(text);
    if (d.isValid()) {
        const QString shown = DateEdit::format(d);
        if (DateEdit::parse(shown) != d) {
            std::fprintf(stderr, "date %s read from \"%s\" is shown as \"%s\", which does not read back\n",
                         qPrintable(d.toString(Qt::ISODate)), qPrintable(text), qPrintable(shown));
            std::abort();
        }
    }
    // The editor itself: its text, its date and whether it is valid agree.
    g_edit->setText(text);
    if (g_edit->hasValidText() != (g_edit->isEmpty() || g_edit->date().isValid()))
        std::abort();
    if (g_edit->date() != d)
        std::abort();
    g_edit->setDate(d);
    if (g_edit->date() != d)
        std::abort();
    return 0;
}
