#pragma once

#include <QString>

#include <optional>
#include <utility>

// The outcome of an operation that can fail with a message for the user (German).
// Errors travel as values; only windows turn them into message boxes.
template <typename T> class [[nodiscard]] Result final
{
public:
    Result(T value) : m_value(std::move(value)) {}
    static Result failure(QString message)
    {
        Result r;
        r.m_message = std::move(message);
        return r;
    }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return *m_value; }
    T& value() { return *m_value; }
    const T& operator*() const { return *m_value; }
    const T* operator->() const { return &*m_value; }
    const QString& message() const { return m_message; }

private:
    Result() = default;
    std::optional<T> m_value;
    QString m_message;
};

// Success or a failure message; for operations without a value.
class [[nodiscard]] Status final
{
public:
    Status() = default;
    static Status failure(QString message)
    {
        Status s;
        s.m_failed = true;
        s.m_message = std::move(message);
        return s;
    }
    template <typename T> static Status from(const Result<T>& r) { return r.ok() ? Status() : failure(r.message()); }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const QString& message() const { return m_message; }

private:
    bool m_failed = false;
    QString m_message;
};
