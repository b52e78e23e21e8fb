#include "reports/engine/barcode.h"

#include <zint.h>

Code128Symbol encodeCode128B(const QString &data)
{
    Code128Symbol out;
    if (data.isEmpty()) {
        out.error = QStringLiteral("条码内容为空");
        return out;
    }
    // Subset B holds the printable ASCII characters only; anything else would
    // be smuggled in as extended bytes that a scanner reads back as garbage.
    for (QChar c : data)
        if (c.unicode() < 32 || c.unicode() > 126) {
            out.error = QStringLiteral("条码只能包含英文字母、数字和常用符号：%1").arg(data);
            return out;
        }
    zint_symbol *sym = ZBarcode_Create();
    if (!sym) {
        out.error = QStringLiteral("条码库内存不足");
        return out;
    }
    sym->symbology = BARCODE_CODE128B;
    sym->show_hrt = 0; // the engine prints the text itself, in the report's font
    sym->whitespace_width = 0;
    sym->border_width = 0;
    sym->scale = 1.0f;
    const QByteArray bytes = data.toUtf8();
    const int rc = ZBarcode_Encode_and_Buffer_Vector(sym, reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), 0);
    if (rc >= ZINT_ERROR || !sym->vector) {
        out.error = QString::fromUtf8(sym->errtxt);
        ZBarcode_Delete(sym);
        return out;
    }
    out.ok = true;
    out.text = QString::fromUtf8(reinterpret_cast<const char *>(sym->text));
    out.modules = sym->width;
    const zint_vector *v = sym->vector;
    // Vector units are modules times the scale; the bars span the symbol's height.
    const double unit = v->width > 0 && sym->width > 0 ? double(v->width) / sym->width : 1.0;
    double top = 1e9, bottom = -1e9;
    for (const zint_vector_rect *r = v->rectangles; r; r = r->next) {
        top = qMin(top, double(r->y));
        bottom = qMax(bottom, double(r->y + r->height));
    }
    const double h = bottom > top ? bottom - top : 1.0;
    for (const zint_vector_rect *r = v->rectangles; r; r = r->next) {
        if (r->colour > 0 && r->colour != 7) // drawn in a background colour: not a bar
            continue;
        out.bars.append(QRectF(r->x / unit, (r->y - top) / h, r->width / unit, r->height / h));
    }
    ZBarcode_Delete(sym);
    return out;
}
