#pragma once
#include <QString>
#include <stdexcept>

// A failure of the data layer: a statement the engine refused, a value that
// does not fit its column, a save that found the row changed by someone else.
// The message is meant for the user (Chinese where we write it ourselves,
// the engine's own text otherwise).
class DataError : public std::runtime_error {
public:
    enum Kind { Engine, Conflict, Validation, Usage };
    explicit DataError(const QString &message, Kind kind = Engine)
        : std::runtime_error(message.toStdString()), m_message(message), m_kind(kind) {}
    QString message() const { return m_message; }
    Kind kind() const { return m_kind; }

private:
    QString m_message;
    Kind m_kind;
};
