#pragma once
// A print scheduler's socket as the program under test sees it, with a
// count of what the program asks: every connection it opens and every IPP
// operation it sends, by connection. Operations it is told to refuse reach
// the scheduler as one it does not know, so the scheduler itself refuses
// them (as an older or locked-down CUPS would).
#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>

namespace zltest {

class IppProxy {
public:
    // scheduler: the Unix socket of the scheduler that answers.
    explicit IppProxy(const QString &scheduler, const QStringList &refused = {});
    ~IppProxy();
    IppProxy(const IppProxy &) = delete;
    IppProxy &operator=(const IppProxy &) = delete;

    // The socket to give the program as CUPS_SERVER.
    QString socket() const;
    // How often each operation was asked, by its IPP name ("Get-Jobs").
    QMap<QString, int> operations() const;
    // Connections that asked at least one of `names`.
    int connectionsAsking(const QStringList &names) const;

    struct State; // shared with the threads that pass the bytes on

private:
    std::shared_ptr<State> m_state;
};

} // namespace zltest
