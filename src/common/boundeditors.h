#pragma once
// QPointer<Dataset> below needs the whole class (clang will not cast to an incomplete type).
#include "data/dataset.h"

#include <QComboBox>
#include <QDate>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QVariant>
#include <functional>

class Dataset;
class QCalendarWidget;

// Ties one editor to one column of a dataset: the editor shows the column of
// the current row and writes what the user types into it as a pending change.
class FieldBinding : public QObject {
    Q_OBJECT
public:
    FieldBinding(Dataset *ds, const QString &field, QWidget *editor, std::function<void(const QVariant &)> show);
    Dataset *dataset() const { return m_ds; }
    QString field() const { return m_field; }
    // The column's width in characters (0: no limit).
    int width() const;
    bool isNumeric() const;
    // The value of the current row; invalid when there is none.
    QVariant value() const;
    // Writes into the current row; false (after a message) when the dataset refuses.
    bool write(const QVariant &v);
    // Shows the current row again.
    void refresh();
    bool isShowing() const { return m_showing; }

private:
    QPointer<Dataset> m_ds;
    QString m_field;
    QWidget *m_editor;
    std::function<void(const QVariant &)> m_show;
    bool m_showing = false;
    bool m_writing = false;
};

class BoundLineEdit : public QLineEdit {
    Q_OBJECT
public:
    BoundLineEdit(Dataset *ds, const QString &field, QWidget *parent = nullptr);
    FieldBinding *binding() const { return m_b; }

private:
    void commitText(bool finished);
    FieldBinding *m_b;
};

// An editable drop-down whose list is a suggestion (the stored value is the
// text), or, with `closedList`, a fixed choice.
class BoundComboBox : public QComboBox {
    Q_OBJECT
public:
    BoundComboBox(Dataset *ds, const QString &field, bool closedList = false, QWidget *parent = nullptr);
    FieldBinding *binding() const { return m_b; }
    void setChoices(const QStringList &items);

private:
    void showValue(const QVariant &v);
    FieldBinding *m_b;
    bool m_closed;
};

// A drop-down of names that stores the key of the chosen name (a department
// name that sets Dept_Id, a rights name that sets czqx).
class BoundKeyCombo : public QComboBox {
    Q_OBJECT
public:
    BoundKeyCombo(Dataset *ds, const QString &keyField, QWidget *parent = nullptr);
    FieldBinding *binding() const { return m_b; }
    void setChoices(const QList<QPair<QString, QVariant>> &items); // (shown name, stored key)

private:
    void showValue(const QVariant &v);
    FieldBinding *m_b;
};

class BoundMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    BoundMemo(Dataset *ds, const QString &field, QWidget *parent = nullptr);
    FieldBinding *binding() const { return m_b; }

private:
    FieldBinding *m_b;
    bool m_inChange = false;
};

// A date editor that may be empty. It reads the program's short date
// (yyyy/M/d) and yyyy-MM-dd, and offers a calendar.
class DateEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DateEdit(QWidget *parent = nullptr);
    // Invalid when the editor is empty or its text is not a date.
    QDate date() const;
    void setDate(const QDate &d); // invalid: empty
    bool isEmpty() const { return text().trimmed().isEmpty(); }
    bool hasValidText() const { return isEmpty() || parse(text()).isValid(); }
    static QDate parse(const QString &text);
    static QString format(const QDate &d);
    // The two dates of a date window ("…至…"): false, after the window's
    // message ("起始日期格式错误？" / "终止日期格式错误？"), when one does not read.
    static bool readWindow(const DateEdit *fromEdit, const DateEdit *toEdit, QWidget *owner, QDate &from, QDate &to);
    void showCalendar();
    QCalendarWidget *calendar() const { return m_calendar; }

signals:
    // The user typed or picked a date (invalid: emptied).
    void dateEdited(const QDate &d);

private:
    QCalendarWidget *m_calendar = nullptr;
    QWidget *m_popup = nullptr;
};

class BoundDateEdit : public DateEdit {
    Q_OBJECT
public:
    BoundDateEdit(Dataset *ds, const QString &field, QWidget *parent = nullptr);
    FieldBinding *binding() const { return m_b; }

private:
    FieldBinding *m_b;
};

// A tidy label for a form row: the text right-aligned beside its editor.
class QLabel;
QLabel *formLabel(const QString &text, QWidget *parent = nullptr);
