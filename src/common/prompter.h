#pragma once
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>

class QWidget;

// The one seam for every message, question and file dialog. Windows never
// call QMessageBox or QFileDialog themselves; tests install a ScriptedPrompter
// and read back exactly what the user would have been shown.
class Prompter {
public:
    enum Answer { Yes, No, Cancel, Ok };
    virtual ~Prompter() = default;

    // A message with an OK button; `title` empty means the program's name.
    virtual void information(const QString &text, const QString &title = QString(), QWidget *parent = nullptr) = 0;
    // Yes / No / Cancel.
    virtual Answer question(const QString &text, const QString &title, QWidget *parent = nullptr) = 0;
    // Yes / No.
    virtual Answer confirm(const QString &text, const QString &title, QWidget *parent = nullptr) = 0;
    // Empty when the user cancels.
    virtual QString openFile(const QString &caption, const QString &filter, QWidget *parent = nullptr) = 0;
    virtual QString saveFile(const QString &caption, const QString &filter, const QString &suggested = QString(),
                             QWidget *parent = nullptr) = 0;

    static Prompter &instance();
    // Installs a prompter (tests); nullptr puts back the dialog prompter.
    static void install(std::unique_ptr<Prompter> p);
};

// Real dialogs.
class DialogPrompter : public Prompter {
public:
    void information(const QString &text, const QString &title, QWidget *parent) override;
    Answer question(const QString &text, const QString &title, QWidget *parent) override;
    Answer confirm(const QString &text, const QString &title, QWidget *parent) override;
    QString openFile(const QString &caption, const QString &filter, QWidget *parent) override;
    QString saveFile(const QString &caption, const QString &filter, const QString &suggested, QWidget *parent) override;
};

// For tests: records every message and question, answers from a queue.
class ScriptedPrompter : public Prompter {
public:
    struct Shown {
        QString kind; // "information", "question", "confirm", "open", "save"
        QString text;
        QString title;
        QString filter; // file dialogs: the file-type filter offered
    };
    std::vector<Shown> shown;
    std::deque<Answer> answers;   // questions take from here; default Cancel (question) / No (confirm)
    std::deque<QString> files;    // open/save take from here; default empty

    void information(const QString &text, const QString &title, QWidget *parent) override;
    Answer question(const QString &text, const QString &title, QWidget *parent) override;
    Answer confirm(const QString &text, const QString &title, QWidget *parent) override;
    QString openFile(const QString &caption, const QString &filter, QWidget *parent) override;
    QString saveFile(const QString &caption, const QString &filter, const QString &suggested, QWidget *parent) override;

    QStringList texts() const;
    QString lastText() const { return shown.empty() ? QString() : shown.back().text; }
    void clear() { shown.clear(); }
};

// Installs a ScriptedPrompter for the life of the object and gives access to it.
class ScopedScriptedPrompter {
public:
    ScopedScriptedPrompter();
    ~ScopedScriptedPrompter();
    ScriptedPrompter *operator->() { return m_p; }
    ScriptedPrompter &get() { return *m_p; }

private:
    ScriptedPrompter *m_p;
};
