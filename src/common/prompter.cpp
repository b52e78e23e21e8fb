#include "common/prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {
std::unique_ptr<Prompter> &slot()
{
    static std::unique_ptr<Prompter> p;
    return p;
}
QString titleOr(const QString &t) { return t.isEmpty() ? QStringLiteral("Zentrav") : t; }
QWidget *parentOr(QWidget *w) { return w ? w : QApplication::activeWindow(); }
} // namespace

Prompter &Prompter::instance()
{
    if (!slot())
        slot() = std::make_unique<DialogPrompter>();
    return *slot();
}

void Prompter::install(std::unique_ptr<Prompter> p) { slot() = std::move(p); }

void DialogPrompter::information(const QString &text, const QString &title, QWidget *parent)
{
    QMessageBox::information(parentOr(parent), titleOr(title), text, QMessageBox::Ok);
}

Prompter::Answer DialogPrompter::question(const QString &text, const QString &title, QWidget *parent)
{
    const auto r = QMessageBox::question(parentOr(parent), titleOr(title), text,
                                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    return r == QMessageBox::Yes ? Yes : (r == QMessageBox::No ? No : Cancel);
}

Prompter::Answer DialogPrompter::confirm(const QString &text, const QString &title, QWidget *parent)
{
    const auto r = QMessageBox::question(parentOr(parent), titleOr(title), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return r == QMessageBox::Yes ? Yes : No;
}

QString DialogPrompter::openFile(const QString &caption, const QString &filter, QWidget *parent)
{
    return QFileDialog::getOpenFileName(parentOr(parent), caption, QString(), filter);
}

QString DialogPrompter::saveFile(const QString &caption, const QString &filter, const QString &suggested, QWidget *parent)
{
    return QFileDialog::getSaveFileName(parentOr(parent), caption, suggested, filter);
}

void ScriptedPrompter::information(const QString &text, const QString &title, QWidget *)
{
    shown.push_back({QStringLiteral("information"), text, title});
}

Prompter::Answer ScriptedPrompter::question(const QString &text, const QString &title, QWidget *)
{
    shown.push_back({QStringLiteral("question"), text, title});
    if (answers.empty())
        return Cancel;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

Prompter::Answer ScriptedPrompter::confirm(const QString &text, const QString &title, QWidget *)
{
    shown.push_back({QStringLiteral("confirm"), text, title});
    if (answers.empty())
        return No;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

QString ScriptedPrompter::openFile(const QString &caption, const QString &filter, QWidget *)
{
    shown.push_back({QStringLiteral("open"), caption, QString(), filter});
    if (files.empty())
        return QString();
    const QString f = files.front();
    files.pop_front();
    return f;
}

QString ScriptedPrompter::saveFile(const QString &caption, const QString &filter, const QString &, QWidget *)
{
    shown.push_back({QStringLiteral("save"), caption, QString(), filter});
    if (files.empty())
        return QString();
    const QString f = files.front();
    files.pop_front();
    return f;
}

QStringList ScriptedPrompter::texts() const
{
    QStringList out;
    for (const Shown &s : shown)
        out << s.text;
    return out;
}

ScopedScriptedPrompter::ScopedScriptedPrompter()
{
    auto p = std::make_unique<ScriptedPrompter>();
    m_p = p.get();
    Prompter::install(std::move(p));
}

ScopedScriptedPrompter::~ScopedScriptedPrompter() { Prompter::install(nullptr); }
