#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace qt2xx {

// Why something could not be done: one lowercase sentence for the operator, without a full stop.
struct Failure {
    QString reason;
};

inline Failure Fail(QString reason) {
    return Failure{std::move(reason)};
}

// What can fail returns the value it made, or the reason it could not: one shape across the code.
//     Result<std::unique_ptr<RecordStore>> store = RecordStore::open(path);
//     if (!store)
//         return Fail(QStringLiteral("records cannot be kept in %1: %2").arg(path, store.error()));
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    // Empty while ok().
    QString error() const { return ok() ? QString() : std::get<1>(m_state).reason; }

private:
    std::variant<T, Failure> m_state;
};

// Done, or the reason it was not.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : m_failed(true), m_reason(std::move(failure.reason)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    QString error() const { return m_reason; }

private:
    bool m_failed = false;
    QString m_reason;
};

using Done = Result<void>;

} // namespace qt2xx
