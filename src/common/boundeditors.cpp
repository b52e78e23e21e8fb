#include "common/boundeditors.h"

#include "common/prompter.h"
#include "common/uilook.h"
#include "data/dataset.h"
#include "data/datasetmodel.h"
#include "data/errors.h"

#include <QAction>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <memory>

// ---- FieldBinding ----------------------------------------------------------

FieldBinding::FieldBinding(Dataset *ds, const QString &field, QWidget *editor, std::function<void(const QVariant &)> show)
    : QObject(editor), m_ds(ds), m_field(field), m_editor(editor), m_show(std::move(show))
{
    UiLook::applyEditorLook(editor);
    connect(ds, &Dataset::currentRowChanged, this, &FieldBinding::refresh);
    connect(ds, &Dataset::layoutReset, this, &FieldBinding::refresh);
    connect(ds, &Dataset::opened, this, &FieldBinding::refresh);
    connect(ds, &Dataset::valueChanged, this, [this](int row, int) {
        if (!m_writing && m_ds && row == m_ds->currentRow())
            refresh();
    });
    connect(ds, &Dataset::editStateChanged, this, [this] {
        if (!m_writing)
            refresh();
    });
}

int FieldBinding::width() const
{
    if (!m_ds)
        return 0;
    const int i = m_ds->fieldIndex(m_field);
    return i >= 0 && m_ds->field(i).type == FieldType::Text ? m_ds->field(i).width : 0;
}

bool FieldBinding::isNumeric() const
{
    if (!m_ds)
        return false;
    const int i = m_ds->fieldIndex(m_field);
    return i >= 0 && (m_ds->field(i).type == FieldType::Integer || m_ds->field(i).type == FieldType::Double);
}

QVariant FieldBinding::value() const
{
    if (!m_ds || !m_ds->isOpen() || m_ds->currentRow() < 0 || m_ds->fieldIndex(m_field) < 0)
        return QVariant();
    return m_ds->value(m_field);
}

bool FieldBinding::write(const QVariant &v)
{
    if (!m_ds || !m_ds->isOpen() || m_ds->currentRow() < 0 || m_showing)
        return false;
    const QVariant old = m_ds->value(m_field);
    if (old.isNull() == v.isNull() && (v.isNull() || old == v))
        return true;
    m_writing = true;
    bool ok = true;
    try {
        m_ds->setValue(m_field, v);
    } catch (const DataError &e) {
        ok = false;
        m_writing = false;
        Prompter::instance().information(e.message(), QString(), m_editor);
        refresh();
    }
    m_writing = false;
    return ok;
}

void FieldBinding::refresh()
{
    if (m_writing)
        return;
    m_showing = true;
    m_show(value());
    m_showing = false;
}

// ---- input longer than the column ---------------------------------------------

namespace {
// A line editor stops at the column's width, but a paste or a drop that does
// not fit would be cut to what fits without a word. Such an input is refused
// whole: the editor shows the field's value again and the user is told.
class LengthGuard : public QObject {
public:
    LengthGuard(QLineEdit *edit, FieldBinding *b) : QObject(edit), m_edit(edit), m_b(b)
    {
        connect(edit, &QLineEdit::inputRejected, this, [this] {
            if (m_rejected)
                return;
            m_rejected = true;
            // After the editor has finished its own change.
            QMetaObject::invokeMethod(this, &LengthGuard::refuse, Qt::QueuedConnection);
        });
    }
    // True between a refused input and its message: what the editor holds is cut.
    bool rejected() const { return m_rejected; }

private:
    void refuse()
    {
        m_rejected = false;
        m_b->refresh();
        QString label = m_b->field();
        if (Dataset *ds = m_b->dataset()) {
            const int i = ds->fieldIndex(m_b->field());
            if (i >= 0 && !ds->field(i).label.isEmpty())
                label = ds->field(i).label;
        }
        Prompter::instance().information(QStringLiteral("“%1”最多只能有 %2 个字符，输入的内容没有被接受。").arg(label).arg(m_b->width()),
                                         QString(), m_edit);
    }
    QLineEdit *m_edit;
    FieldBinding *m_b;
    bool m_rejected = false;
};
} // namespace

// ---- BoundLineEdit -----------------------------------------------------------

BoundLineEdit::BoundLineEdit(Dataset *ds, const QString &field, QWidget *parent) : QLineEdit(parent)
{
    m_b = new FieldBinding(ds, field, this, [this](const QVariant &v) {
        const int i = m_b->dataset()->fieldIndex(m_b->field());
        const bool dbl = i >= 0 && m_b->dataset()->field(i).type == FieldType::Double;
        setText(dbl ? DatasetModel::format(v, DatasetModel::Format::ZeroHash) : DatasetModel::format(v, DatasetModel::Format::Auto));
        setCursorPosition(0);
    });
    if (m_b->width() > 0)
        setMaxLength(m_b->width());
    auto *guard = new LengthGuard(this, m_b);
    connect(this, &QLineEdit::textEdited, this, [this, guard] {
        if (!guard->rejected())
            commitText(false);
    });
    connect(this, &QLineEdit::editingFinished, this, [this, guard] {
        if (!guard->rejected())
            commitText(true);
    });
    m_b->refresh();
}

void BoundLineEdit::commitText(bool finished)
{
    const QString t = text();
    if (!m_b->isNumeric()) {
        if (!finished)
            m_b->write(t.isEmpty() ? QVariant() : QVariant(t));
        return;
    }
    if (t.trimmed().isEmpty()) {
        m_b->write(QVariant());
        return;
    }
    bool ok = false;
    const double d = t.trimmed().toDouble(&ok);
    if (ok) {
        m_b->write(d);
    } else if (finished && isModified()) {
        setModified(false);
        Prompter::instance().information(QStringLiteral("“%1”不是有效的数字？").arg(t), QString(), this);
        m_b->refresh();
    }
}

// ---- BoundComboBox ---------------------------------------------------------------

BoundComboBox::BoundComboBox(Dataset *ds, const QString &field, bool closedList, QWidget *parent)
    : QComboBox(parent), m_closed(closedList)
{
    setEditable(!closedList);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    m_b = new FieldBinding(ds, field, this, [this](const QVariant &v) { showValue(v); });
    if (!closedList) {
        lineEdit()->setFont(UiLook::font(15));
        if (m_b->width() > 0)
            lineEdit()->setMaxLength(m_b->width());
        auto *guard = new LengthGuard(lineEdit(), m_b);
        connect(lineEdit(), &QLineEdit::textEdited, this, [this, guard](const QString &t) {
            if (!guard->rejected())
                m_b->write(t.isEmpty() ? QVariant() : QVariant(t));
        });
    }
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int i) {
        const QString t = itemText(i);
        m_b->write(t.isEmpty() ? QVariant() : QVariant(t));
    });
    m_b->refresh();
}

void BoundComboBox::setChoices(const QStringList &items)
{
    const bool wasShowing = m_b->isShowing();
    Q_UNUSED(wasShowing);
    blockSignals(true);
    clear();
    addItems(items);
    blockSignals(false);
    m_b->refresh();
}

void BoundComboBox::showValue(const QVariant &v)
{
    const QString t = v.isNull() ? QString() : v.toString();
    blockSignals(true);
    if (m_closed) {
        setCurrentIndex(findText(t));
    } else {
        const int i = findText(t);
        setCurrentIndex(i);
        setEditText(t);
        lineEdit()->setCursorPosition(0);
    }
    blockSignals(false);
}

// ---- BoundKeyCombo -------------------------------------------------------------------

BoundKeyCombo::BoundKeyCombo(Dataset *ds, const QString &keyField, QWidget *parent) : QComboBox(parent)
{
    setEditable(false);
    setMaxVisibleItems(16);
    m_b = new FieldBinding(ds, keyField, this, [this](const QVariant &v) { showValue(v); });
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int i) { m_b->write(itemData(i)); });
    m_b->refresh();
}

void BoundKeyCombo::setChoices(const QList<QPair<QString, QVariant>> &items)
{
    blockSignals(true);
    clear();
    for (const auto &it : items)
        addItem(it.first, it.second);
    blockSignals(false);
    m_b->refresh();
}

void BoundKeyCombo::showValue(const QVariant &v)
{
    int found = -1;
    if (!v.isNull() && v.isValid())
        for (int i = 0; i < count(); ++i)
            if (itemData(i).toString() == v.toString()) {
                found = i;
                break;
            }
    blockSignals(true);
    setCurrentIndex(found);
    blockSignals(false);
}

// ---- BoundMemo --------------------------------------------------------------------

BoundMemo::BoundMemo(Dataset *ds, const QString &field, QWidget *parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    m_b = new FieldBinding(ds, field, this, [this](const QVariant &v) {
        const QSignalBlocker block(this);
        setPlainText(v.isNull() ? QString() : v.toString());
    });
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (m_inChange || m_b->isShowing())
            return;
        const QString t = toPlainText();
        // Text longer than the column is refused whole by the dataset, with
        // its message, and the memo shows the value as it was: nothing is cut.
        if (!m_b->write(t.isEmpty() ? QVariant() : QVariant(t)))
            moveCursor(QTextCursor::End);
    });
    m_b->refresh();
}

// ---- DateEdit ---------------------------------------------------------------------

DateEdit::DateEdit(QWidget *parent) : QLineEdit(parent)
{
    setPlaceholderText(QString());
    QAction *pick = addAction(style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
    pick->setToolTip(QStringLiteral("选择日期"));
    connect(pick, &QAction::triggered, this, &DateEdit::showCalendar);
    connect(this, &QLineEdit::textEdited, this, [this](const QString &t) {
        if (t.trimmed().isEmpty())
            emit dateEdited(QDate());
        else if (parse(t).isValid())
            emit dateEdited(parse(t));
    });
}

bool DateEdit::readWindow(const DateEdit *fromEdit, const DateEdit *toEdit, QWidget *owner, QDate &from, QDate &to)
{
    from = parse(fromEdit->text());
    if (!from.isValid()) {
        Prompter::instance().information(QStringLiteral("起始日期格式错误？"), QString(), owner);
        return false;
    }
    to = parse(toEdit->text());
    if (!to.isValid()) {
        Prompter::instance().information(QStringLiteral("终止日期格式错误？"), QString(), owner);
        return false;
    }
    return true;
}

QDate DateEdit::parse(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QDate();
    for (const char *f : {"yyyy/M/d", "yyyy-M-d", "yyyy.M.d", "yyyyMMdd"}) {
        const QDate d = QDate::fromString(t, QString::fromLatin1(f));
        // Qt reads "-0001" as a year before Christ; no date of ours is.
        if (d.isValid())
            return d.year() >= 1 ? d : QDate();
    }
    return QDate();
}

QString DateEdit::format(const QDate &d)
{
    return DatasetModel::shortDate(d);
}

QDate DateEdit::date() const
{
    return parse(text());
}

void DateEdit::setDate(const QDate &d)
{
    setText(d.isValid() ? format(d) : QString());
}

void DateEdit::showCalendar()
{
    if (!isEnabled() || isReadOnly())
        return;
    if (!m_popup) {
        m_popup = new QWidget(this, Qt::Popup);
        auto *lay = new QVBoxLayout(m_popup);
        lay->setContentsMargins(1, 1, 1, 1);
        m_calendar = new QCalendarWidget(m_popup);
        m_calendar->setLocale(QLocale(QLocale::Chinese, QLocale::China));
        m_calendar->setGridVisible(true);
        lay->addWidget(m_calendar);
        connect(m_calendar, &QCalendarWidget::clicked, this, [this](QDate d) {
            setDate(d);
            m_popup->hide();
            emit dateEdited(d);
        });
        connect(m_calendar, &QCalendarWidget::activated, this, [this](QDate d) {
            setDate(d);
            m_popup->hide();
            emit dateEdited(d);
        });
    }
    m_calendar->setSelectedDate(date().isValid() ? date() : QDate::currentDate());
    m_popup->adjustSize();
    m_popup->move(mapToGlobal(QPoint(0, height())));
    m_popup->show();
    m_calendar->setFocus();
}

BoundDateEdit::BoundDateEdit(Dataset *ds, const QString &field, QWidget *parent) : DateEdit(parent)
{
    // The value the field had before the user began typing: typing
    // "2024-02-30" passes through "2024-02-3", a date of its own, which is
    // written on the way and must not stay when the whole is refused.
    auto before = std::make_shared<QVariant>();
    m_b = new FieldBinding(ds, field, this, [this, before](const QVariant &v) {
        *before = v;
        setDate(v.isNull() || !v.isValid() ? QDate() : v.toDateTime().date());
    });
    connect(this, &DateEdit::dateEdited, this, [this](const QDate &d) {
        m_b->write(d.isValid() ? QVariant(QDateTime(d, QTime(0, 0))) : QVariant());
    });
    connect(this, &QLineEdit::editingFinished, this, [this, before] {
        if (hasValidText() || !isModified()) {
            *before = m_b->value();
            return;
        }
        setModified(false);
        Prompter::instance().information(QStringLiteral("“%1”不是有效的日期？").arg(text()), QString(), this);
        const QVariant now = m_b->value();
        if (now.isNull() != before->isNull() || now != *before)
            m_b->write(*before);
        m_b->refresh();
    });
    m_b->refresh();
}

QLabel *formLabel(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setFont(UiLook::font(15));
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}
