#pragma once
// The one error type of the program. A failure carries the description an
// operator reads (in Japanese where the screens are); handlers catch it and
// show it the way their screen reports errors.
#include <QString>
#include <exception>

namespace zl {

class Failure : public std::exception {
public:
    explicit Failure(QString description) : m_description(std::move(description)),
        m_utf8(m_description.toUtf8()) {}
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

// Work cut short because the operator cancelled it: not a failure to
// report, the run it belongs to ends as cancelled.
class Cancelled : public Failure {
public:
    using Failure::Failure;
};

} // namespace zl
