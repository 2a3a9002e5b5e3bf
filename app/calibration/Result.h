// What a store job or a request of the calibration session hands back: the
// value, or why there is none as a sentence for a person (the cause and what
// to do). An error never travels in the value.
#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace calib {

enum class TStoreError {
    None,
    NoDriver,       // Qt's SQLite driver is not installed
    CannotCreate,   // the folder cannot be made
    CannotOpen,     // the file cannot be opened as a database
    NewerSchema,    // written by a newer version of the tool
    MigrationFailed,
    WriteFailed,
    ReadFailed,
    NotFound,
    Finished,         // a finished record is not changed
    CertificateTaken, // another record has that certificate number
    Refused,          // not asked of the store: the request cannot be met now (no record, input that is no number)
    Unreachable,      // the records server cannot be reached, or the connection to it was lost
};
const char *StoreErrorText(TStoreError error);

template <class T>
class TResult
{
public:
    TResult(T value) : m_value(std::move(value)) {}
    static TResult Failed(TStoreError error, QString message)
    {
        TResult r;
        r.m_error = error == TStoreError::None ? TStoreError::WriteFailed : error;
        r.m_message = std::move(message);
        return r;
    }
    static TResult Refused(QString message) { return Failed(TStoreError::Refused, std::move(message)); }

    bool Ok() const { return m_value.has_value(); }
    const T &Value() const { return *m_value; }
    TStoreError Error() const { return m_error; }
    const QString &ErrorMessage() const { return m_message; }

private:
    TResult() = default;
    std::optional<T> m_value;
    TStoreError m_error = TStoreError::None;
    QString m_message;
};

// The store's jobs say it with the same type.
template <class T>
using TStoreResult = TResult<T>;

} // namespace calib
